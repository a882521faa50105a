#include "EditorTestUtil.h"

#include "Fixtures.h"
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

// The effective user becomes nobody for the object's life, so file modes count.
class AsNobody {
public:
    AsNobody() { m_dropped = ::seteuid(65534) == 0; }
    ~AsNobody() {
        if (m_dropped && ::seteuid(0) != 0)
            std::abort();
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;

private:
    bool m_dropped = false;
};

class SaveTest : public EditorTest {
protected:
    // Three seconds of a tone encoded by lame, or quiet frames when lame is missing.
    std::string SourceFile(const char* name, int quietFrames = 0) {
        const std::string path = files.File(name);
        if (quietFrames > 0 || !HaveProgram("lame")) {
            WriteFile(path, QuietFrames(quietFrames > 0 ? quietFrames : 115));
            return path;
        }
        PcmSpec spec;
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, spec, 3.0, 440.0, 12000);
        EncodeWithLame(pcm, spec, "-b 128", path);
        return path;
    }
    void SaveAs(const std::string& path, int pickFilter = -1) {
        dialogs.savePaths.push_back({QString::fromStdString(path), pickFilter});
        Menu("MenuSaveAs")->trigger();
    }
    TSpinEdit* Frames(const char* name) { return Get<TSpinEdit>(name); }
    std::vector<QString> Errors() const { return dialogs.Texts(IDialogs::Kind::Error); }
};

} // namespace

TEST_F(SaveTest, SaveAsSuggestsTheNamesAndWritesWhatPeersRead) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "lame, mpg123 or ffprobe missing";
    const std::string source = SourceFile("Song.mp3");
    const struct {
        bool withTime;
        bool overwriteAsk;
        int pickFilter;
        const char* suggested;
        const char* renamed; // after the type change, or nothing
        const char* target;
    } cases[] = {
        {true, false, -1, "Song (0m 02s).mp3", nullptr, "a.mp3"},
        {false, true, -1, "Song (trimmed).mp3", nullptr, "b.mp3"},
        {true, false, 1, "Song (0m 02s).mp3", "Song (0m 02s).wav", "c.wav"},
    };
    Show();
    for (const auto& c : cases) {
        settings.CheckBoxSaveAs_WithTime = c.withTime;
        settings.CheckBoxOverwriteAsk = c.overwriteAsk;
        settings.CheckBoxCloseAfterSave = false;
        dialogs.saveRequests.clear();
        dialogs.renamedTo.clear();
        if (!window->FileIsOpen())
            Open(source);
        Frames("SpinEditBeginF")->setValue(10);
        Frames("SpinEditEndF")->setValue(10);
        const std::string target = files.File(c.target);
        SaveAs(target, c.pickFilter);
        EXPECT_TRUE(Errors().empty()) << Errors().front().toStdString();
        ASSERT_EQ(dialogs.saveRequests.size(), 1u);
        const IDialogs::FileRequest& request = dialogs.saveRequests[0];
        EXPECT_EQ(request.selected, QString::fromLatin1(c.suggested));
        EXPECT_EQ(request.filters, (QStringList{QStringLiteral("MP3 files (*.mp3)"),
                                                QStringLiteral("WAV embedded MP3 files (*.wav)")}));
        EXPECT_EQ(request.selectedFilter, 0);
        EXPECT_EQ(request.overwritePrompt, c.overwriteAsk);
        EXPECT_TRUE(window->FileIsOpen()) << "Save As keeps the source open";
        EXPECT_TRUE(Menu("MenuSave")->isEnabled());
        if (c.renamed) {
            ASSERT_EQ(dialogs.renamedTo.size(), 1u);
            EXPECT_EQ(dialogs.renamedTo[0], QString::fromLatin1(c.renamed));
            const std::vector<std::uint8_t> bytes = ReadFile(target);
            ASSERT_GE(bytes.size(), 4u);
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
            std::string out;
            EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_name -show_entries "
                                 "format=format_name -of default=nw=1 '" +
                                     target + "'",
                                 &out),
                      0);
            EXPECT_NE(out.find("codec_name=mp3"), std::string::npos) << out;
            EXPECT_NE(out.find("format_name=wav"), std::string::npos) << out;
            // The plan is back to the default type once the run is over.
            EXPECT_EQ(window->Model()->riffHeaderSize, 0);
        } else {
            const Mpg123Report r = RunMpg123(target);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.complaints, "");
            EXPECT_EQ(r.frames, window->Model()->frameCount - 20);
        }
    }
}

TEST_F(SaveTest, SaveAsOntoTheSourceIsRefused) {
    const std::string source = SourceFile("source.mp3", 200);
    const std::vector<std::uint8_t> original = ReadFile(source);
    Show();
    Open(source);
    Frames("SpinEditBeginF")->setValue(10);
    SaveAs(source);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(
        Errors()[0],
        QStringLiteral("'Save As' cannot overwrite to the source file - use 'Save' instead."));
    EXPECT_EQ(ReadFile(source), original);
    EXPECT_TRUE(window->FileIsOpen());
}

TEST_F(SaveTest, SaveInPlaceKeepsTheFileOpenOrClosesItByOption) {
    for (const bool closeAfterSave : {false, true}) {
        settings.CheckBoxCloseAfterSave = closeAfterSave;
        const std::string source = SourceFile(closeAfterSave ? "closes.mp3" : "stays.mp3", 1000);
        if (!window)
            Show();
        Open(source);
        Frames("SpinEditBeginF")->setValue(100);
        Frames("SpinEditEndF")->setValue(50);
        Menu("MenuSave")->trigger();
        EXPECT_TRUE(Errors().empty());
        EXPECT_EQ(window->FileIsOpen(), !closeAfterSave);
        if (!closeAfterSave) {
            ASSERT_NE(window->Model(), nullptr);
            EXPECT_EQ(window->Model()->frameCount, 850);
            EXPECT_EQ(Frames("SpinEditEndP")->value(), 850);
            EXPECT_EQ(Text("EditLength"), QStringLiteral("0:22"));
            EXPECT_TRUE(Menu("MenuSave")->isEnabled());
            EXPECT_TRUE(Menu("MenuClose")->isEnabled());
            EXPECT_EQ(window->Model()->sourceSize, std::int64_t(ReadFile(source).size()));
            Menu("MenuClose")->trigger();
        }
        EXPECT_LT(ReadFile(source).size(), QuietFrames(1000).size());
    }
}

// While a save writes, nothing that changes what it writes gets through; Escape closes the window
// once the file is written.
TEST_F(SaveTest, ALongSaveRefusesCommandsAndEscapeClosesAfterIt) {
    settings.CheckBoxCloseAfterSave = false;
    const std::string source = SourceFile("long.mp3", 6000);
    const std::string target = files.File("out.mp3");
    Show();
    Open(source);
    Frames("SpinEditBeginF")->setValue(100);
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        ran = true;
        EXPECT_TRUE(window->WriteRunning());
        EXPECT_FALSE(Menu("MenuSave")->isEnabled());
        EXPECT_FALSE(Menu("MenuSaveAs")->isEnabled());
        EXPECT_FALSE(Menu("MenuClose")->isEnabled());
        const StreamInfo* model = window->Model();
        Menu("MenuOptions")->trigger();
        Get<QPushButton>("ButtonAutoVolume")->click();
        Get<QPushButton>("ButtonTrimSilence")->click();
        QLineEdit* begin = Frames("SpinEditBeginF")->lineEdit();
        QTest::keyClicks(begin, QStringLiteral("5"));
        QTest::keyClick(window.get(), Qt::Key_F5);
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        EXPECT_EQ(Frames("SpinEditBeginF")->value(), 100);
        EXPECT_EQ(Frames("SpinEditEndF")->value(), 0);
        EXPECT_EQ(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("?dB"));
        EXPECT_EQ(shell.beeps, 2);
        EXPECT_EQ(window->Model(), model);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << "the window waits for the write";
    });
    SaveAs(target);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(ReadFile(target).size(), QuietFrames(5900).size());
}

// A source gone or write-protected since the open, a target folder without write permission, a
// full disk: an error box, the source as it was, and the file still open.
TEST_F(SaveTest, FailedSavesLeaveTheSourceAndTheWindowUsable) {
    settings.CheckBoxCloseAfterSave = false;
    Show();
    const bool root = ::geteuid() == 0;
    SmallFilesystem full(files.File("full"));
    const struct {
        const char* name;
        bool asNobody;
        bool vanish;
        const char* saveAsFolder; // Save As into it; nullptr: Save
        const char* error;
    } cases[] = {
        {"vanished", false, true, nullptr, "No such file or directory"},
        {"read-only", true, false, nullptr, "Permission denied"},
        {"locked-folder", true, false, "locked", "Permission denied"},
        {"full-disk", false, false, "full", "No space left on device"},
    };
    ::mkdir(files.File("locked").c_str(), 0755);
    ::chmod(files.path().c_str(), 0755);
    for (const auto& c : cases) {
        if (c.asNobody && !root)
            continue; // the owner may write whatever the mode says: needs root to drop to nobody
        if (std::string_view(c.name) == "full-disk" && !full.mounted())
            continue; // no right to mount a small filesystem
        dialogs.messages.clear();
        const std::string source = SourceFile((std::string(c.name) + ".mp3").c_str(), 3000);
        const std::vector<std::uint8_t> original = ReadFile(source);
        Open(source);
        ASSERT_TRUE(window->FileIsOpen()) << c.name;
        Frames("SpinEditBeginF")->setValue(10);
        if (c.vanish)
            ::unlink(source.c_str());
        {
            std::optional<AsNobody> nobody;
            if (c.asNobody)
                nobody.emplace();
            if (c.saveAsFolder)
                SaveAs(files.File(std::string(c.saveAsFolder) + "/out.mp3"));
            else
                Menu("MenuSave")->trigger();
        }
        const std::vector<QString> errors = Errors();
        ASSERT_EQ(errors.size(), 1u) << c.name;
        EXPECT_TRUE(errors[0].contains(QString::fromLatin1(c.error))) << errors[0].toStdString();
        if (!c.vanish) {
            EXPECT_EQ(ReadFile(source), original) << c.name;
        }
        EXPECT_TRUE(window->FileIsOpen()) << c.name;
        EXPECT_TRUE(Menu("MenuSave")->isEnabled()) << c.name;
        EXPECT_FALSE(window->WriteRunning());
        Menu("MenuClose")->trigger();
    }
}
