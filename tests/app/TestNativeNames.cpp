#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "UnitReadableName.h"

#include <QLabel>
#include <QPushButton>

using namespace velmora;
using namespace velmora::test;

TEST(ReadableName, UtfEightAsItIsOtherBytesAsLatinOne) {
    const struct {
        std::string path;
        QString name;
    } cases[] = {
        {"/music/caf\xe9.mp3", QStringLiteral(u"café.mp3")},
        {"/music/caf\xc3\xa9.mp3", QStringLiteral(u"café.mp3")},
        {"plain.mp3", QStringLiteral("plain.mp3")},
        {"/m\xe9/x\xff.mp3", QStringLiteral(u"xÿ.mp3")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadableFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ReadablePath("/m\xe9/a.mp3"), QStringLiteral(u"/mé/a.mp3"));
}

// A name in Latin-1 bytes (not UTF-8) through the commands that reach the file again by its path.
TEST_F(EditorTest, ALatinOneNameOpensAnalysesSavesAsAndSaves) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    const std::string latin1 = files.File("caf\xe9.mp3");
    LameTone(latin1, 17380);
    const auto original = ReadFile(latin1);
    settings.CheckBoxCloseAfterSave = false;
    Show();
    window->OpenNativePath(latin1);
    ASSERT_TRUE(window->FileIsOpen());
    EXPECT_EQ(Text("EditName"), QStringLiteral(u"café.mp3"));

    Get<QPushButton>("ButtonAutoVolume")->click();
    EXPECT_TRUE(window->VolumeAnalysisDone());
    EXPECT_NE(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("?dB"));

    Get<TSpinEdit>("SpinEditBeginF")->setValue(10);
    const std::string copy = files.File("caf\xc3\xa9 trimmed.mp3");
    dialogs.savePaths.push_back({QString::fromUtf8(copy.c_str()), -1});
    Menu("MenuSaveAs")->trigger();
    ASSERT_TRUE(dialogs.Texts(IDialogs::Kind::Error).empty())
        << dialogs.Texts(IDialogs::Kind::Error).front().toStdString();
    EXPECT_LT(ReadFile(copy).size(), original.size());
    EXPECT_EQ(ReadFile(latin1), original);

    Menu("MenuSave")->trigger();
    EXPECT_TRUE(dialogs.Texts(IDialogs::Kind::Error).empty());
    EXPECT_EQ(ReadFile(latin1), ReadFile(copy)); // the same edit, in place
    EXPECT_TRUE(window->FileIsOpen());
    EXPECT_EQ(Text("EditName"), QStringLiteral(u"café.mp3"));
}
