#include "EditorTestUtil.h"

#include "Fixtures.h"
#include "TSpinEdit.h"
#include "UnitAdvancedInfo.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;

namespace {

std::vector<QString> Items(QListWidget* list) {
    std::vector<QString> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(list->item(i)->text());
    return out;
}

// `count` frames of which `bad` are spread through the stream at 160 kbit/s: with smart CBR on,
// each of those is a missing header.
std::vector<std::uint8_t> FramesWithOddBitrates(int count, int bad) {
    std::vector<std::uint8_t> out;
    const FrameSpec plain = AudibleFrameSpec();
    FrameSpec odd = plain;
    odd.bitrateIndex = 10;
    for (int i = 0; i < count; ++i)
        AppendFrames(out, (i % 150 == 75 && i / 150 < bad) ? odd : plain, 1);
    return out;
}

} // namespace

TEST_F(EditorTest, OpenShowsTheInformationAndTheTagToggle) {
    const std::string path = files.File("tagged.mp3");
    std::vector<std::uint8_t> bytes = Id3v2Tag(1024);
    const std::vector<std::uint8_t> frames = QuietFrames(300);
    bytes.insert(bytes.end(), frames.begin(), frames.end());
    const std::vector<std::uint8_t> v1 = Id3v1("Title One");
    bytes.insert(bytes.end(), v1.begin(), v1.end());
    WriteFile(path, bytes);
    settings.CheckBoxFileOpenInCurrentDirectory = true;
    Show();
    Open(path);
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].title, QStringLiteral("Open an MP3 file"));
    EXPECT_EQ(dialogs.openRequests[0].filters.size(), 5);
    EXPECT_FALSE(dialogs.openRequests[0].folder.isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Text("EditType"), QStringLiteral("MPEG 1 layer III 44100Hz - joint-stereo"));
    EXPECT_EQ(Text("EditLength"), QStringLiteral("0:07"));
    EXPECT_EQ(Text("EditCRC"), QStringLiteral("no"));
    EXPECT_EQ(Text("EditBitrate"), QStringLiteral("CBR 128Kbps"));
    EXPECT_EQ(Text("EditEnding"), QStringLiteral("natural"));
    EXPECT_EQ(Get<QLineEdit>("EditEnding")->palette().color(QPalette::Text), QColor(Qt::black));
    auto* advanced = window->AdvancedInfo();
    EXPECT_EQ(Find<QLineEdit>(advanced, "EditTitleID3v1")->text(), QStringLiteral("Title One"));

    const char* const flips[] = {"1&2", "no", "1&2"};
    EXPECT_EQ(Text("EditID3"), QString::fromLatin1(flips[0]));
    for (int i = 1; i < 3; ++i) {
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        EXPECT_EQ(Text("EditID3"), QString::fromLatin1(flips[i]));
        // The tag pages show the tags whatever the toggle says.
        EXPECT_TRUE(Find<QLineEdit>(advanced, "EditTitleID3v1")->isEnabled());
        EXPECT_TRUE(Find<QLineEdit>(advanced, "EditTitleID3v2")->isEnabled());
    }
}

TEST_F(EditorTest, AdvancedPagesShowBadCrcsAndMissingHeaders) {
    const std::string crcPath = files.File("crc.mp3");
    std::vector<std::uint8_t> crc;
    FrameSpec good, bad;
    good.crc = bad.crc = true;
    bad.badCrc = true;
    for (int i = 0; i < 200; ++i)
        AppendFrames(crc, (i == 10 || i == 50 || i == 150) ? bad : good, 1);
    WriteFile(crcPath, crc);
    const std::string missingPath = files.File("missing.mp3");
    WriteFile(missingPath, FramesWithOddBitrates(2000, 10));

    Show();
    Open(crcPath);
    EXPECT_EQ(Text("EditCRC"), QStringLiteral("bad"));
    Menu("MenuClose")->trigger();
    Open(missingPath);
    auto* advanced = window->AdvancedInfo();
    EXPECT_EQ(Find<QLabel>(advanced, "LabelNumberMissingFH")->text(), QStringLiteral("10"));
    const std::vector<QString> places = Items(Find<QListWidget>(advanced, "ListBoxMissingFH"));
    ASSERT_EQ(places.size(), 11u);
    EXPECT_EQ(places.front(), QStringLiteral("0:01.95"));
    EXPECT_EQ(places.back(), QStringLiteral("..."));
    EXPECT_EQ(Items(Find<QListWidget>(advanced, "ListBoxInconsistent")),
              std::vector<QString>{QStringLiteral("- none -")});

    // The button shows the pages modally; its Close button ends them.
    QTimer::singleShot(0, window.get(), [&] {
        EXPECT_TRUE(WaitUntil([&] { return window->AdvancedInfo()->isVisible(); }));
        Find<QPushButton>(window->AdvancedInfo(), "ButtonOk")->click();
    });
    Get<QPushButton>("ButtonAdvancedInfo")->click();
    EXPECT_FALSE(window->AdvancedInfo()->isVisible());
}

TEST_F(EditorTest, MissingHeaderWarningsTakeTurns) {
    const struct {
        int missing;
        bool warnOption;
        const char* expected; // first line of the warning, or nothing
    } cases[] = {
        {12, false, "This file appears to be seriously corrupted."},
        {12, true, nullptr},
        {5, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        const std::string path = files.File("m.mp3");
        WriteFile(path, FramesWithOddBitrates(2000, c.missing));
        settings.CheckBoxWarnWhenMissingFH = c.warnOption;
        dialogs.messages.clear();
        Show();
        Open(path);
        ASSERT_TRUE(window->FileIsOpen());
        const std::vector<QString> warnings = dialogs.Texts(IDialogs::Kind::Warning);
        const MessageTable english = MessageTable::English();
        if (c.expected && !*c.expected) {
            EXPECT_TRUE(warnings.empty());
        } else {
            ASSERT_EQ(warnings.size(), 1u);
            const std::string want =
                MessageTable::Join(c.expected ? english.MessageDlgErrorMissingFH
                                              : english.MessageDlgWarnWhenMissingFH);
            EXPECT_EQ(warnings[0].toStdString(), want);
        }
    }
}

TEST_F(EditorTest, AutoDetectSilenceSetsTheTrimCounts) {
    // Lame's own frames: coded audio between digital silence at both ends.
    std::vector<std::int16_t> pcm;
    const PcmSpec spec;
    AppendSilence(pcm, spec, 2.0);
    AppendTone(pcm, spec, 2.0, 440, 12000);
    AppendSilence(pcm, spec, 2.0);
    const std::string path = files.File("tone.mp3");
    EncodeWithLame(pcm, spec, "-b 128", path);
    settings.CheckBoxAutoDetectSilence = true;
    Show();
    Open(path);
    ASSERT_TRUE(window->FileIsOpen());
    EXPECT_GT(Get<TSpinEdit>("SpinEditBeginF")->value(), 30);
    EXPECT_GT(Get<TSpinEdit>("SpinEditEndF")->value(), 30);
    EXPECT_FALSE(Get<QLabel>("LabelBeginTime")->text().isEmpty());
}

TEST_F(EditorTest, EscapeDuringAnOpenStopsIt) {
    const std::string path = files.File("long.mp3");
    WriteFile(path, QuietFrames(20000));
    Show();
    QTimer::singleShot(0, window.get(), [&] { QTest::keyClick(window.get(), Qt::Key_Escape); });
    Open(path);
    EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Error),
              std::vector<QString>{QStringLiteral("Stopped at user request.")});
    EXPECT_FALSE(window->FileIsOpen());
    EXPECT_FALSE(window->OperationBusy());
    EXPECT_TRUE(Menu("MenuOpen")->isEnabled());
    EXPECT_EQ(Text("EditName"), QStringLiteral("- no file opened -"));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(EditorTest, BadFilesGiveAnErrorAndNoFile) {
    WriteFile(files.File("empty.mp3"), {});
    const std::string text = "This is a letter, not a recording.\n";
    WriteFile(files.File("text.mp3"), std::vector<std::uint8_t>(text.begin(), text.end()));
    const struct {
        std::string path;
        const char* error; // the start of the error text
    } cases[] = {
        {files.File("text.mp3"), "Failed to find a valid MPEG header - this is not an MP3 file!"},
        {files.File("empty.mp3"), ""},
        {files.File("absent.mp3"), ""},
        {files.path(), ""},
    };
    Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        dialogs.messages.clear();
        Open(c.path);
        const std::vector<QString> errors = dialogs.Texts(IDialogs::Kind::Error);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_TRUE(errors[0].startsWith(QString::fromLatin1(c.error))) << errors[0].toStdString();
        for (const auto& m : dialogs.messages)
            EXPECT_EQ(m.title, QStringLiteral("Velmora"));
        EXPECT_FALSE(window->FileIsOpen());
        EXPECT_TRUE(Menu("MenuOpen")->isEnabled());
        EXPECT_EQ(Text("EditName"), QStringLiteral("- no file opened -"));
        EXPECT_EQ(window->Model(), nullptr);
    }
}

TEST_F(EditorTest, AnUnreadableFileGivesAnError) {
    if (geteuid() != 0)
        GTEST_SKIP() << "runs as root and drops to nobody for the open";
    if (!HaveProgram("setpriv"))
        GTEST_SKIP() << "setpriv missing";
    const std::string path = files.File("locked.mp3");
    WriteFile(path, QuietFrames(100));
    chmod(path.c_str(), 0600);
    chmod(files.path().c_str(), 0755);
    std::string output;
    const int status = RunCommand("QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR=" + config.path() +
                                      " setpriv --reuid=nobody --regid=nogroup --clear-groups " +
                                      VELMORA_EDITOR_PATH " --quit-when-idle " + path,
                                  &output);
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("Permission denied"), std::string::npos) << output;
}
