#include "EditorTestUtil.h"
#include "FakeAudioOutput.h"
#include "FakeMprisPlayer.h"
#include "MprisClient.h"
#include "TSpinEdit.h"
#include "UnitOptionsForm.h"
#include "UnitSpecialFolder.h"
#include "UnitTheme.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

class PreviewTest : public EditorTest {
protected:
    TFormMain& ShowWithPlayers(MprisClient* client = nullptr) {
        Show();
        window->AttachPlayers(
            output, [this] { return ChoosePreviewFolder({files.File("previews")}, files.path()); },
            client);
        return *window;
    }
    QToolButton* Button(const char* name) { return Get<QToolButton>(name); }
    bool CaptionsYellow() {
        const QColor yellow =
            ThemedColour(FixedColour::Yellow, window->palette(), QPalette::Button);
        return Button("BitBtnWinAmpGetTrimBegin")->palette().color(QPalette::ButtonText) ==
                   yellow &&
               Button("BitBtnWinAmpGetTrimEnd")->palette().color(QPalette::ButtonText) == yellow;
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), key, modifiers);
    }

    FakeAudioOutput output;
    PrivateBus bus;
    std::unique_ptr<MprisClient> client;
};

// A 70-second tone at 44.1 kHz.
void MakeMinute(const std::string& path) {
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, {}, 70.0, 440.0, 4000);
    EncodeWithLame(pcm, {}, "-b 128", path);
}

} // namespace

TEST_F(PreviewTest, ButtonsAndKeysStickStopEachOtherAndFallBackToTheShell) {
    WriteFile(files.File("quiet.mp3"), QuietFrames(600));
    ShowWithPlayers();
    Open(files.File("quiet.mp3"));
    QToolButton* begin = Button("BitBtnTestBegin");
    QToolButton* end = Button("BitBtnTestEnd");

    begin->click();
    ASSERT_EQ(output.played.size(), 1u);
    EXPECT_TRUE(begin->isChecked()) << "sticky while the clip plays";
    output.ReportEndOfLast();
    EXPECT_FALSE(begin->isChecked()) << "pops up when the clip ends";

    Key(Qt::Key_BracketLeft);
    Key(Qt::Key_BracketRight);
    ASSERT_EQ(output.played.size(), 3u);
    EXPECT_FALSE(begin->isChecked());
    EXPECT_TRUE(end->isChecked());
    EXPECT_EQ(output.stops, 1) << "the end button stopped the begin clip";
    output.ReportEnd(1); // a late end of the stopped clip
    EXPECT_TRUE(end->isChecked());
    Key(Qt::Key_BracketRight);
    EXPECT_FALSE(end->isChecked());
    EXPECT_FALSE(output.Playing());

    // An empty begin field: no clip, the button goes up.
    Get<TSpinEdit>("SpinEditBeginF")->clear();
    begin->click();
    EXPECT_FALSE(begin->isChecked());
    EXPECT_EQ(output.played.size(), 3u);
    Get<TSpinEdit>("SpinEditBeginF")->setValue(0);

    // No sound: the question, then Yes hands the two alternating files to the shell.
    output.startFails = true;
    begin->click();
    begin->click();
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_FALSE(settings.RadioGroupPreviewMode) << "switched to the external player";
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0].fileName(), QStringLiteral("Velmora.preview.mp3"));
    EXPECT_EQ(shell.opened[1].fileName(), QStringLiteral("Velmora.preview.alt.mp3"));
    EXPECT_FALSE(begin->isChecked());
    for (const QUrl& url : shell.opened)
        EXPECT_TRUE(QFile::exists(url.toLocalFile()));
    Menu("MenuClose")->trigger();
    for (const QUrl& url : shell.opened)
        EXPECT_FALSE(QFile::exists(url.toLocalFile())) << "deleted at Close";

    Open(files.File("quiet.mp3"));
    Button("BitBtnTestEnd")->click();
    ASSERT_EQ(shell.opened.size(), 3u);
    ASSERT_TRUE(QFile::exists(shell.opened[2].toLocalFile()));
    bool optionsShown = false;
    QTimer::singleShot(0, window.get(), [this, &optionsShown] {
        optionsShown = true;
        EXPECT_FALSE(QFile::exists(shell.opened[2].toLocalFile())) << "deleted before Options";
        Find<QPushButton>(window->Options(), "ButtonCancel")->click();
    });
    Key(Qt::Key_F10);
    EXPECT_TRUE(optionsShown);

    Button("BitBtnTestBegin")->click();
    ASSERT_EQ(shell.opened.size(), 4u);
    ASSERT_TRUE(QFile::exists(shell.opened[3].toLocalFile()));
    window.reset();
    EXPECT_FALSE(QFile::exists(shell.opened[3].toLocalFile())) << "deleted at exit";
}

TEST_F(PreviewTest, AnalysisAndCloseStopTheClipAndPutTheButtonUp) {
    WriteFile(files.File("quiet.mp3"), QuietFrames(600));
    ShowWithPlayers();
    Open(files.File("quiet.mp3"));
    QToolButton* begin = Button("BitBtnTestBegin");
    const std::pair<const char*, std::function<void()>> stops[] = {
        {"volume analysis", [this] { Get<QPushButton>("ButtonAutoVolume")->click(); }},
        {"Close", [this] { Menu("MenuClose")->trigger(); }}};
    for (const auto& [what, stop] : stops) {
        begin->click();
        ASSERT_TRUE(begin->isChecked()) << what;
        stop();
        EXPECT_FALSE(output.Playing()) << what;
        EXPECT_FALSE(begin->isChecked()) << what;
    }
}

// mpv paused at one minute: yellow captions and 2296 frames; once it has gone, black captions
// and a click changes nothing.
TEST_F(PreviewTest, RealPlayerGivesTheBeginPointThenGoes) {
    const QString mpv = QStandardPaths::findExecutable("mpv");
    QString plugin = "/usr/lib/mpv-mpris/mpris.so";
    if (!QFile::exists(plugin))
        plugin = "/etc/mpv/scripts/mpris.so";
    if (mpv.isEmpty() || !QFile::exists(plugin) || !HaveProgram("lame") || !bus.Running())
        GTEST_SKIP() << "mpv, mpv-mpris, lame and dbus-daemon are needed";
    MakeMinute(files.File("minute.mp3"));
    client = std::make_unique<MprisClient>(bus.Connect("editor"), nullptr);
    ShowWithPlayers(client.get());
    Open(files.File("minute.mp3"));
    EXPECT_FALSE(CaptionsYellow());

    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    env.insert("HOME", QString::fromStdString(files.path()));
    player.setProcessEnvironment(env);
    player.setStandardOutputFile(QProcess::nullDevice());
    player.start(mpv,
                 {"--no-config", "--script=" + plugin, "--no-video", "--ao=null", "--pause",
                  "--start=60", "--no-terminal", QString::fromStdString(files.File("minute.mp3"))});
    ASSERT_TRUE(player.waitForStarted(5000));
    EXPECT_TRUE(WaitUntil([&] { return CaptionsYellow(); }, 20000));
    auto* beginField = Get<TSpinEdit>("SpinEditBeginF");
    // The plugin may announce itself before mpv has seeked to the start position.
    EXPECT_TRUE(WaitUntil(
        [&] {
            Button("BitBtnWinAmpGetTrimBegin")->click();
            return WaitUntil([&] { return beginField->value() == 2296; }, 300);
        },
        10000));
    EXPECT_EQ(beginField->value(), 2296);

    player.terminate();
    ASSERT_TRUE(player.waitForFinished(5000));
    EXPECT_TRUE(WaitUntil([&] { return !CaptionsYellow(); }, 5000));
    beginField->setValue(5);
    Button("BitBtnWinAmpGetTrimBegin")->click();
    Button("BitBtnWinAmpGetTrimEnd")->click();
    QTest::qWait(400);
    EXPECT_EQ(beginField->value(), 5);
    EXPECT_EQ(Get<TSpinEdit>("SpinEditEndF")->value(), 0);
}

TEST_F(PreviewTest, HungPlayerLeavesTheWindowResponsiveAndTheFieldsAlone) {
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is needed";
    WriteFile(files.File("quiet.mp3"), QuietFrames(600));
    FakePlayer fake(bus, "fake", "Paused", qlonglong{2'000'000});
    client = std::make_unique<MprisClient>(bus.Connect("editor"), nullptr);
    ShowWithPlayers(client.get());
    Open(files.File("quiet.mp3"));
    ASSERT_TRUE(WaitUntil([&] { return CaptionsYellow(); }));
    Button("BitBtnWinAmpGetTrimEnd")->click();
    ASSERT_TRUE(WaitUntil([&] { return Get<TSpinEdit>("SpinEditEndF")->value() == 600 - 76; }));

    fake.Set("Playing", qlonglong{4'000'000}, true);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    Button("BitBtnWinAmpGetTrimBegin")->click();
    EXPECT_LT(clock.elapsed(), 100) << "the click does not wait for the player";
    QTest::qWait(1200);
    EXPECT_GE(ticks, 50) << "the event loop ran while the player hung";
    EXPECT_EQ(Get<TSpinEdit>("SpinEditBeginF")->value(), 0);
}

TEST_F(PreviewTest, CtrlGWritesTheSheetAndCtrlUSplitsByIt) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    fs::create_directories(files.File("show"));
    const std::string mp3 = files.File("show/show.mp3");
    MakeThreeTracks(mp3);
    settings.SpinEditMinimumCueTrackLength = 5;
    ShowWithPlayers();
    Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(shell.beeps, 1) << "refused with no file open";
    Open(mp3);
    ASSERT_FALSE(window->VolumeAnalysisDone());
    Key(Qt::Key_G, Qt::ControlModifier);
    const std::string sheet = files.File("show/show.cue");
    ASSERT_TRUE(fs::exists(sheet));
    EXPECT_TRUE(window->VolumeAnalysisDone()) << "the analysis ran first";

    Key(Qt::Key_U, Qt::ControlModifier);
    int tracks = 0;
    for (const auto& entry : fs::recursive_directory_iterator(files.File("show")))
        tracks += entry.path().extension() == ".mp3" && entry.path() != mp3;
    EXPECT_EQ(tracks, 3);
    EXPECT_EQ(shell.beeps, 1);

    fs::remove(sheet);
    Key(Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(shell.beeps, 2) << "no sheet";
    EXPECT_TRUE(dialogs.messages.empty());
}
