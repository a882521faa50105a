#include "EditorTestUtil.h"
#include "Id3v2Builder.h"
#include "UnitAdvancedInfo.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

TEST_F(EditorTest, UnicodeTagsAndChaptersShowAndCtrlUSplitsAtTheChapters) {
    // 300 frames of 26.1 ms: 7.8 s, in chapters of 0-3 s and 3-7.8 s, the second with a bad
    // UTF-16 title; a UTF-16 title for the file.
    const std::string title = "J\xC3\xB3ga \xE6\x97\xA5";
    const std::string utf16("\xFF\xFE"
                            "J\0\xF3\0g\0a\0 \0\xE5\x65",
                            14);
    const TagBytes tag = Id3Tag(
        3,
        Concat({Id3Frame(3, "TIT2", EncodedText(1, utf16)),
                Id3Frame(3, "CHAP",
                         ChapData("a", 0, 3000, Id3Frame(3, "TIT2", EncodedText(0, "First")))),
                Id3Frame(3, "CHAP",
                         ChapData("b", 3000, 7800,
                                  Id3Frame(3, "TIT2",
                                           EncodedText(1, "\xFF\xFE"
                                                          "x"))))}),
        100);
    const std::string path = files.File("book.mp3");
    WriteFile(path, Concat({tag, QuietFrames(300)}));
    Show();
    Open(path);
    auto* advanced = window->AdvancedInfo();
    EXPECT_EQ(Find<QLineEdit>(advanced, "EditTitleID3v2")->text(), QString::fromUtf8(title));
    auto* chapters = Find<QTreeWidget>(advanced, "ListViewChapters");
    ASSERT_EQ(chapters->topLevelItemCount(), 2);
    const QStringList first = {chapters->topLevelItem(0)->text(0),
                               chapters->topLevelItem(0)->text(1),
                               chapters->topLevelItem(0)->text(2)};
    EXPECT_EQ(first, (QStringList{"First", "0:00.000", "0:03.000"}));
    EXPECT_EQ(chapters->topLevelItem(1)->text(0), QString());
    auto* notes = Find<QListWidget>(advanced, "ListBoxTagNotes");
    ASSERT_EQ(notes->count(), 1);
    EXPECT_EQ(notes->item(0)->text(),
              QStringLiteral("ID3v2 CHAP \"b\" TIT2: odd-length UTF-16; ignored"));

    // No CUE sheet: Ctrl+U splits at the chapters into a folder named after the tag's title.
    QTest::keyClick(window.get(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(shell.beeps, 0);
    EXPECT_TRUE(dialogs.messages.empty());
    const std::string folder = files.File(title);
    EXPECT_TRUE(fs::exists(folder + "/01 First.mp3"));
    EXPECT_TRUE(fs::exists(folder + "/02 Chapter 02.mp3"));
}
