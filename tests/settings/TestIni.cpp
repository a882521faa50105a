#include "FrameBuilder.h"
#include "UnitIni.h"
#include "VelmoraError.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;

TEST(IniRead, ValueRulesTrimUnquoteAndCut) {
    const std::string long3000(3000, 'v');
    const struct {
        std::string raw;
        std::string expected;
    } cases[] = {
        {"  padded\t ", "padded"},
        {"\"double\"", "double"},
        {"'single'", "single"},
        {" \" kept blanks \" ", " kept blanks "},
        {"\"\"twice\"\"", "\"twice\""}, // only one pair goes
        {"\"mixed'", "\"mixed'"},       // quotes must match
        {"\"", "\""},                   // a lone quote is no pair
        {"''", ""},
        {"a,b;c\\d", "a,b;c\\d"}, // nothing is an escape
        {"x=y", "x=y"},
        {long3000, std::string(2047, 'v')},
        {"\"" + long3000 + "\"", std::string(2047, 'v')},
    };
    for (const auto& c : cases) {
        const IniFile ini = IniFile::Parse("[S]\nKey=" + c.raw + "\n");
        EXPECT_EQ(ini.Get("S", "Key"), c.expected) << c.raw.substr(0, 40);
        EXPECT_EQ(ini.GetRaw("S", "Key"), c.raw);
    }
}

TEST(IniFile, NamesMatchRegardlessOfCase) {
    const IniFile ini = IniFile::Parse("[Global]\r\nFontName = Arial \r\n[FORMMAIN]\r\nx=1\r\n");
    EXPECT_EQ(ini.Get("global", "FONTNAME"), "Arial");
    EXPECT_EQ(ini.Get("FormMain", "X"), "1");
    EXPECT_EQ(ini.Get("Global", "FontSize"), std::nullopt);
    EXPECT_EQ(ini.Get("Missing", "x", "fallback"), "fallback");
    EXPECT_EQ(ini.Get("Global", "FontName", "fallback"), "Arial");

    IniFile w = ini;
    w.Set("GLOBAL", "fontname", "Sans");
    EXPECT_EQ(w.Render(), "[Global]\nFontName=Sans\n[FORMMAIN]\nx=1\n"); // spelling kept
}

TEST(IniFile, WritingKeepsValuesVerbatimAndReadsThemBack) {
    IniFile ini;
    const std::string items = "\"\"Save each track fully\",\"Limit, centered\"\"";
    ini.Set("FormOptions", "RadioGroupCueSplitItems", items);
    ini.Set("FormOptions", "Path", "a;b\\c,d");
    ini.Set("Global", "Broken", "one\ntwo");
    EXPECT_EQ(ini.Render(), "[FormOptions]\nRadioGroupCueSplitItems=" + items +
                                "\nPath=a;b\\c,d\n\n[Global]\nBroken=one two\n");
    const IniFile back = IniFile::Parse(ini.Render());
    EXPECT_EQ(back.GetRaw("FormOptions", "RadioGroupCueSplitItems"), items);
    // One enclosing pair goes on reading, so the comma text inside survives whole.
    EXPECT_EQ(back.Get("FormOptions", "RadioGroupCueSplitItems"),
              "\"Save each track fully\",\"Limit, centered\"");
    EXPECT_EQ(back.Get("FormOptions", "Path"), "a;b\\c,d");
}

TEST(IniFile, ChangingAValueKeepsEverythingElse) {
    const std::string text = "; made by hand\n"
                             "[Velmora]\n"
                             "CheckBoxCleanup=0\n"
                             "not an entry\n"
                             "\n"
                             "[Other]\n"
                             "Key=kept , as is \n"
                             "Key=second is ignored\n";
    IniFile ini = IniFile::Parse(text);
    EXPECT_EQ(ini.Render(), text);
    EXPECT_EQ(ini.Get("Other", "Key"), "kept , as is");
    EXPECT_EQ(ini.Keys("Other"), std::vector<std::string>{"Key"});
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Velmora", "Other"}));

    ini.Set("Velmora", "CheckBoxCleanup", "-1");
    ini.Set("Velmora", "CheckBoxSaveWAV", "0");
    ini.Set("New", "A", "1");
    EXPECT_TRUE(ini.Erase("Other", "key"));
    EXPECT_EQ(ini.Render(), "; made by hand\n"
                            "[Velmora]\n"
                            "CheckBoxCleanup=-1\n"
                            "not an entry\n"
                            "CheckBoxSaveWAV=0\n"
                            "\n"
                            "[Other]\n"
                            "Key=second is ignored\n"
                            "\n"
                            "[New]\n"
                            "A=1\n");
}

TEST(IniFile, JunkNeverBreaksReading) {
    const char raw[] = "[S]\n=no key\n\0\xff\xfe=\x01\n[unclosed\nk=v\n[S]\nlate=1\n";
    const std::string junk(raw, sizeof raw - 1);
    const IniFile ini = IniFile::Parse(junk);
    EXPECT_EQ(ini.Get("unclosed", "k"), "v");
    EXPECT_EQ(ini.Get("S", "late"), std::nullopt); // a repeated section is not consulted
    // A lone CR ends a line too, so a value never carries one into the rewritten file.
    const IniFile cr = IniFile::Parse("[S]\rk=v\r\r\nm=1\r");
    EXPECT_EQ(cr.Get("S", "k"), "v");
    EXPECT_EQ(cr.Get("S", "m"), "1");
    EXPECT_EQ(cr.Render(), "[S]\nk=v\n\nm=1\n");
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 7919 + 13) % 256);
    const IniFile noise = IniFile::Parse(bytes);
    EXPECT_EQ(IniFile::Parse(noise.Render()).Render(), noise.Render());
}

TEST(IniFile, SaveReplacesTheFileAndKeepsItsMode) {
    test::TempDir dir;
    const std::string path = dir.File("English.Velmora.ini");
    EXPECT_EQ(IniFile::Load(path).Render(), ""); // missing: empty
    IniFile ini;
    ini.Set("Global", "FontSize", "8");
    ini.Save(path);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ini.Set("Global", "FontSize", "10");
    ini.Save(path);
    EXPECT_EQ(IniFile::Load(path).Get("Global", "FontSize"), "10");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A link keeps pointing at the replaced file.
    const std::string link = dir.File("link.ini");
    std::filesystem::create_symlink(path, link);
    ini.Set("Global", "FontSize", "12");
    ini.Save(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(IniFile::Load(path).Get("Global", "FontSize"), "12");

    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2); // no temporary file left behind

    EXPECT_THROW(ini.Save(dir.File("missing/x.ini")), VelmoraError);
    EXPECT_THROW(IniFile::Load(dir.path()), VelmoraError);
}
