#include "UnitLanguage.h"

#include "FrameBuilder.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace velmora {
namespace {

using Items = std::vector<std::string>;

TEST(CommaText, ReadsItemsByTheQuotingRules) {
    const struct {
        const char* text;
        Items items;
    } cases[] = {
        {"", {}},
        {"a,,c", {"a", "", "c"}},
        {"a,", {"a", ""}},
        {"a b", {"a", "b"}},
        {"  a ,  b  ", {"a", "b"}},
        {R"("x y","say ""hi""",z)", {"x y", R"(say "hi")", "z"}},
        {R"("")", {""}},
        {R"("never closed, at all)", {"never closed, at all"}},
        {"\"a\"b", {"a", "b"}},
        {"\xc3\xa4,\xd0\x96", {"\xc3\xa4", "\xd0\x96"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadCommaText(c.text), c.items) << c.text;
}

TEST(CommaText, WritesWhatItReadsBack) {
    const struct {
        Items items;
        const char* text;
    } cases[] = {
        {{""}, R"("")"},
        {{"a", "", "c"}, "a,,c"},
        {{"Save each track fully", "Limit each track to 30 seconds, centered"},
         R"("Save each track fully","Limit each track to 30 seconds, centered")"},
        {{R"(say "hi")", "tab\there"}, "\"say \"\"hi\"\"\",\"tab\there\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WriteCommaText(c.items), c.text);
        EXPECT_EQ(ReadCommaText(WriteCommaText(c.items)), c.items);
        EXPECT_EQ(ReadCommaText(IniReadValue(QuotedCommaText(c.items))), c.items);
    }
}

TEST(LanguageMessages, MessageStringsListAndIndexedKeys) {
    const struct {
        const char* file;
        std::string entry0, entry1, entry2;
    } cases[] = {
        {"[FormMain]\nMessageStrings=a,,c\n", "a", "- done -", "c"},
        {"[FormMain]\nMessageStrings=a,,c\nMessageStrings2=C2\n", "a", "- done -", "C2"},
        {"[formmain]\nmessagestrings0=\n", "", "- done -", "- no tag found -"},
        {"[Other]\nMessageStrings0=x\n", "- no file opened -", "- done -", "- no tag found -"},
    };
    for (const auto& c : cases) {
        MessageTable t = MessageTable::English();
        ReadMessageTable(IniFile::Parse(c.file), t);
        EXPECT_EQ(t.MessageStrings[0], c.entry0) << c.file;
        EXPECT_EQ(t.MessageStrings[1], c.entry1) << c.file;
        EXPECT_EQ(t.MessageStrings[2], c.entry2) << c.file;
        EXPECT_EQ(t.MessageStrings.size(), 17u);
    }
}

TEST(LanguageMessages, DialogListKeepsTheEmptyMiddleItem) {
    MessageTable t = MessageTable::English();
    ReadMessageTable(IniFile::Parse("[FormMain]\nMessageDlgErrorMissingFH=x,,y\n"), t);
    EXPECT_EQ(MessageTable::Join(t.MessageDlgErrorMissingFH), "x\n\ny");
    EXPECT_EQ(t.MessageDlgUpdateWarning, MessageTable::English().MessageDlgUpdateWarning);
}

TEST(LanguageMessages, WrittenTableReadsBackUnchanged) {
    IniFile ini;
    WriteMessageTable(MessageTable::English(), ini);
    EXPECT_EQ(*ini.GetRaw("FormMain", "MessageDlgErrorMissingFH"),
              R"(""This file appears to be seriously corrupted.","Make sure to check the result )"
              R"((using 'save as') before committing any changes."")");
    EXPECT_EQ(*ini.GetRaw("FormMain", "MessageStrings16"), "Do you want to exit Velmora?");
    MessageTable empty;
    empty.MessageStrings.assign(17, "?");
    ReadMessageTable(IniFile::Parse(ini.Render()), empty);
    const MessageTable english = MessageTable::English();
    EXPECT_EQ(empty.MessageStrings, english.MessageStrings);
    EXPECT_EQ(empty.MessageDlg_mp3PROwarning, english.MessageDlg_mp3PROwarning);
    EXPECT_EQ(empty.MessageDlgProcessingErrorAbortIgnore,
              english.MessageDlgProcessingErrorAbortIgnore);
}

TEST(LanguageFiles, LanguageNameFromThePath) {
    EXPECT_EQ(LanguageFromPath("/x/Italian.Velmora.ini"), "Italian");
    EXPECT_EQ(LanguageFromPath("C:Spanish.Velmora3.ini"), "Spanish");
    EXPECT_EQ(LanguageFromPath("German.Velmora3.ini"), "German");
    EXPECT_THROW(LanguageFromPath("/x/French.ini"), VelmoraError);
}

TEST(LanguageFiles, FontSizeIsClampedAndBadValuesKeepTheCurrentFont) {
    const LanguageFont current{"DejaVu Sans", 9};
    const struct {
        const char* file;
        const char* name;
        int size;
    } cases[] = {
        {"[Global]\nFontName=Tahoma\nFontSize=11\n", "Tahoma", 11},
        {"[Global]\nFontSize=0\n", "DejaVu Sans", kMinFontSize},
        {"[Global]\nFontSize=1000000000\n", "DejaVu Sans", kMaxFontSize},
        {"[Global]\nFontSize=big\nFontName=\n", "DejaVu Sans", 9},
    };
    for (const auto& c : cases) {
        const LanguageFont font = ReadLanguageFont(IniFile::Parse(c.file), current);
        EXPECT_EQ(font.name, c.name) << c.file;
        EXPECT_EQ(font.pointSize, c.size) << c.file;
    }
}

TEST(LanguageFiles, DiscoveryOrderAndFolders) {
    test::TempDir current, program;
    for (const auto& [dir, name] :
         {std::pair{&current, "German.Velmora3.ini"}, std::pair{&program, "French.Velmora.ini"},
          std::pair{&program, "Velmora.ini"}, std::pair{&current, "notes.txt"}})
        std::ofstream(dir->File(name)) << "[Global]\n";
    const std::vector<std::string> found =
        LanguageCandidates({current.path() + "/", program.path(), "/no/such/folder/"});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], current.File("German.Velmora3.ini"));
    EXPECT_EQ(found[1], program.File("French.Velmora.ini"));

    EXPECT_EQ(InstalledLanguageFolder("/usr/bin/"), "/usr/share/velmora/languages/");
    EXPECT_EQ(LanguageFolders("/w", "/usr/bin/", "/h/.config/Velmora"),
              (Items{"/w/", "/usr/bin/", "/h/.config/Velmora/"}));
    EXPECT_EQ(LanguageFolders("/usr/bin", "/usr/bin/", "/c").size(), 2u);
    EXPECT_EQ(WritableProgramFolder(program.path(), "/store"), program.path() + "/");
    if (::geteuid() != 0) {
        EXPECT_EQ(WritableProgramFolder("/usr/bin/", "/store"), "/store/");
    }
}

} // namespace
} // namespace velmora
