#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "UnitStatusLine.h"

#include <QDir>
#include <QTest>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

class StatusLineTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Show();
    }
    QString Status() { return Get<TStatusLine>("StatusLine")->FullText(); }
    QString Folder(const std::string& path) {
        return QDir::toNativeSeparators(QString::fromStdString(fs::path(path).parent_path()));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), key, modifiers);
    }
};

} // namespace

// Save As, Save, Ctrl+G and Ctrl+U each say what they wrote and where, in the window's language;
// the next command takes the line away.
TEST_F(StatusLineTest, EachCommandThatWritesSaysWhatAndWhereUntilTheNextCommand) {
    const std::string source = files.File("a.mp3");
    WriteFile(source, QuietFrames(1000));
    settings.CheckBoxCloseAfterSave = false;
    Open(source);
    ASSERT_TRUE(window->FileIsOpen());
    EXPECT_EQ(Status(), QString());
    Get<TSpinEdit>("SpinEditBeginF")->setValue(10);

    dialogs.savePaths.push_back({QString::fromStdString(files.File("copy.mp3")), -1});
    Menu("MenuSaveAs")->trigger();
    EXPECT_EQ(Status(), "Saved copy.mp3 in " + Folder(source));
    EXPECT_TRUE(fs::exists(files.File("copy.mp3")));

    Menu("MenuSave")->trigger();
    EXPECT_EQ(Status(), "Saved a.mp3 in " + Folder(source));
    // A command that writes nothing ends the line.
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(Status(), QString());

    const std::string german =
        std::string(VELMORA_TEST_DATA_DIR) + "/../../languages/German.Velmora.ini";
    window->LoadLanguageFile(german);
    Get<TSpinEdit>("SpinEditEndF")->setValue(5);
    Menu("MenuSave")->trigger();
    EXPECT_EQ(Status(), "a.mp3 in " + Folder(source) + " gespeichert");
    EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Error).empty());
}

TEST_F(StatusLineTest, TheCueKeysNameTheSheetAndTheTracksFolder) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    fs::create_directories(files.File("show"));
    const std::string mp3 = files.File("show/show.mp3");
    MakeThreeTracks(mp3);
    settings.SpinEditMinimumCueTrackLength = 5;
    Open(mp3);
    Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(Status(), "Wrote the CUE sheet show.cue in " + Folder(mp3));
    Key(Qt::Key_U, Qt::ControlModifier);
    const QString line = Status();
    EXPECT_TRUE(line.startsWith("Wrote 3 track(s) in " + Folder(mp3) + "/")) << line.toStdString();
    EXPECT_TRUE(dialogs.messages.empty());
    // The window keeps its width whatever the line says: long lines are shortened in the middle.
    const int width = window->width();
    Get<TStatusLine>("StatusLine")
        ->ShowWritten(TStatusLine::Written::Saved, QString(500, u'x'), QStringLiteral("/tmp"));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), width);
    EXPECT_LT(Get<TStatusLine>("StatusLine")->text().size(), 500);
}
