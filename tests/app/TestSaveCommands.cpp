#include "EditorTestUtil.h"

#include "TSpinEdit.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class SaveTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        settings.CheckBoxCloseAfterSave = false;
        settings.CheckBoxExactCut = false; // the frame counts of the frame cut
        Show();
    }
    // Opens `frames` quiet frames (0: three seconds of a lame tone) and trims `begin` frames.
    std::string OpenSource(const std::string& name, int frames, int begin = 10) {
        const std::string path = files.File(name);
        if (frames > 0)
            WriteFile(path, QuietFrames(frames));
        else
            LameTone(path, 12000);
        Open(path);
        EXPECT_TRUE(window->FileIsOpen()) << name;
        Get<TSpinEdit>("SpinEditBeginF")->setValue(begin);
        return path;
    }
    void SaveAs(const std::string& path, int pickFilter = -1) {
        dialogs.savePaths.push_back({QString::fromStdString(path), pickFilter});
        Menu("MenuSaveAs")->trigger();
    }
    std::vector<QString> Errors() const { return dialogs.Texts(IDialogs::Kind::Error); }
};

} // namespace

TEST_F(SaveTest, SaveAsSuggestsNamesAndWritesWhatPeersRead) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "lame, mpg123 or ffprobe missing";
    const std::string source = OpenSource("Song.mp3", 0);
    const struct {
        bool withTime;
        int pickFilter;
        const char* suggested;
        const char* target;
    } cases[] = {{true, -1, "Song (0m 02s).mp3", "a.mp3"},
                 {false, -1, "Song (trimmed).mp3", "b.mp3"},
                 {true, 1, "Song (0m 02s).mp3", "c.wav"}};
    for (const auto& c : cases) {
        settings.CheckBoxSaveAs_WithTime = c.withTime;
        settings.CheckBoxOverwriteAsk = !c.withTime;
        dialogs.saveRequests.clear();
        const std::string target = files.File(c.target);
        SaveAs(target, c.pickFilter);
        EXPECT_TRUE(Errors().empty());
        ASSERT_EQ(dialogs.saveRequests.size(), 1u);
        const IDialogs::FileRequest& request = dialogs.saveRequests[0];
        EXPECT_EQ(request.selected, QString::fromLatin1(c.suggested));
        EXPECT_EQ(request.filters,
                  (QStringList{"MP3 files (*.mp3)", "WAV embedded MP3 files (*.wav)"}));
        EXPECT_EQ(request.selectedFilter, 0);
        EXPECT_EQ(request.overwritePrompt, settings.CheckBoxOverwriteAsk);
        EXPECT_TRUE(window->FileIsOpen() && Menu("MenuSave")->isEnabled());
        std::string out;
        if (c.pickFilter == 1) {
            EXPECT_EQ(dialogs.renamedTo, std::vector<QString>{"Song (0m 02s).wav"});
            EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_name -show_entries "
                                 "format=format_name -of default=nw=1 '" +
                                     target + "'",
                                 &out),
                      0);
            EXPECT_NE(out.find("codec_name=mp3\nformat_name=wav"), std::string::npos) << out;
        } else {
            const Mpg123Report r = RunMpg123(target);
            EXPECT_EQ(r.complaints, "");
            EXPECT_EQ(r.frames, window->Model()->frameCount - 10);
        }
    }
    // Onto the source: the error, and nothing written.
    const std::vector<std::uint8_t> original = ReadFile(source);
    SaveAs(source);
    EXPECT_EQ(Errors(), std::vector<QString>{
                            "'Save As' cannot overwrite to the source file - use 'Save' instead."});
    EXPECT_EQ(ReadFile(source), original);
}

TEST_F(SaveTest, SaveInPlaceKeepsTheFileOpenWithTheNewLength) {
    const std::string source = OpenSource("stays.mp3", 1000, 100);
    Get<TSpinEdit>("SpinEditEndF")->setValue(50);
    Menu("MenuSave")->trigger();
    EXPECT_TRUE(Errors().empty());
    ASSERT_TRUE(window->FileIsOpen());
    EXPECT_EQ(window->Model()->frameCount, 850);
    EXPECT_EQ(window->Model()->sourceSize, std::int64_t(ReadFile(source).size()));
    EXPECT_EQ(Get<TSpinEdit>("SpinEditEndP")->value(), 850);
    EXPECT_EQ(Text("EditLength"), QStringLiteral("0:22"));
    EXPECT_TRUE(Menu("MenuSave")->isEnabled() && Menu("MenuClose")->isEnabled());
}

// While a save writes, nothing that changes what it writes gets through; Escape closes the window
// once the file is written.
TEST_F(SaveTest, ALongSaveRefusesCommandsAndEscapeClosesAfterIt) {
    OpenSource("long.mp3", 6000, 100);
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        ran = true;
        EXPECT_TRUE(window->WriteRunning());
        EXPECT_FALSE(Menu("MenuSave")->isEnabled() || Menu("MenuSaveAs")->isEnabled() ||
                     Menu("MenuClose")->isEnabled());
        const StreamInfo* model = window->Model();
        Menu("MenuOptions")->trigger();
        Get<QPushButton>("ButtonAutoVolume")->click();
        Get<QPushButton>("ButtonTrimSilence")->click();
        QTest::keyClicks(Get<TSpinEdit>("SpinEditBeginF")->lineEdit(), QStringLiteral("5"));
        QTest::keyClick(window.get(), Qt::Key_F5);
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        EXPECT_EQ(Get<TSpinEdit>("SpinEditBeginF")->value(), 100);
        EXPECT_EQ(Get<TSpinEdit>("SpinEditEndF")->value(), 0);
        EXPECT_EQ(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("?dB"));
        EXPECT_EQ(shell.beeps, 3); // Options, F5 and Ctrl+T
        EXPECT_EQ(window->Model(), model);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << "the window waits for the write";
    });
    SaveAs(files.File("out.mp3"));
    EXPECT_TRUE(ran && Errors().empty());
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(ReadFile(files.File("out.mp3")).size(), QuietFrames(5900).size());
}

// A source gone or write-protected since the open, a target folder without write permission, a
// full disk: the error box, the source as it was, and the file still open.
TEST_F(SaveTest, FailedSavesLeaveTheSourceAndTheWindowUsable) {
    settings.CheckBoxCloseAfterSave = true;
    SmallFilesystem full(files.File("full"));
    ::mkdir(files.File("locked").c_str(), 0755);
    ::chmod(files.path().c_str(), 0755);
    const struct {
        const char* name;
        bool asNobody, vanish;
        const char* saveAsFolder; // nullptr: Save
        const char* error;
        bool runs;
    } cases[] = {
        {"vanished", false, true, nullptr, "No such file or directory", true},
        {"read-only", true, false, nullptr, "Permission denied", ::geteuid() == 0},
        {"locked", true, false, "locked", "Permission denied", ::geteuid() == 0},
        {"full-disk", false, false, "full", "No space left on device", full.mounted()},
    };
    for (const auto& c : cases) {
        if (!c.runs)
            continue; // needs root, to drop to nobody or to mount a small filesystem
        dialogs.messages.clear();
        const std::string source = OpenSource(c.name + std::string(".mp3"), 3000);
        const std::vector<std::uint8_t> original = ReadFile(source);
        if (c.vanish)
            ::unlink(source.c_str());
        // As nobody the file modes count: a save cannot write where the owner root forbids it.
        if (c.asNobody) {
            ASSERT_EQ(::seteuid(65534), 0);
        }
        if (c.saveAsFolder)
            SaveAs(files.File(std::string(c.saveAsFolder) + "/out.mp3"));
        else
            Menu("MenuSave")->trigger();
        if (c.asNobody) {
            ASSERT_EQ(::seteuid(0), 0);
        }
        ASSERT_EQ(Errors().size(), 1u) << c.name;
        EXPECT_TRUE(Errors()[0].contains(c.error)) << Errors()[0].toStdString();
        EXPECT_EQ(c.vanish ? original : ReadFile(source), original) << c.name;
        EXPECT_TRUE(window->FileIsOpen() && Menu("MenuSave")->isEnabled()) << c.name;
        Menu("MenuClose")->trigger();
    }
}

TEST_F(SaveTest, AnExactCutThatFallsBackSaysWhy) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    settings.CheckBoxExactCut = true;
    OpenSource("Song.mp3", 0);
    settings.ComboBoxAddSilenceBeginning = 10; // the open resets it
    SaveAs(files.File("a.mp3"));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Warning),
              std::vector<QString>{"exact cut not possible with added silence; cut on frame "
                                   "boundaries"});
    dialogs.messages.clear();
    settings.ComboBoxAddSilenceBeginning = 0;
    SaveAs(files.File("b.mp3"));
    EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Warning).empty());
}
