#include "BatchFixtures.h"
#include "UnitOptions.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

TEST(BatchPattern, ShellWildcardsSeparatedBySemicolons) {
    const struct {
        const char* name;
        const char* patterns;
        bool matches;
    } cases[] = {
        {"a.mp3", "*.mp3", true},
        {"A.MP3", "*.mp3", true}, // either case
        {"a.mp3.txt", "*.mp3", false},
        {"a.wav", "*.mp3;*.wav", true},
        {"a.wav", " *.mp3 ; *.wav ", true},
        {"b1.mp3", "[ab]?.mp3", true},
        {"c1.mp3", "[ab]?.mp3", false},
        {"[x.mp3", "[x.mp3", true}, // an unclosed bracket is a plain character
        {"a;b.mp3", "a;b.mp3", false},
        {"a.mp3", "", false},
        {"a.mp3", ";;", false},
        {"ü.mp3", "?.mp3", false}, // one byte per wildcard: two bytes are not one
        {"ü.mp3", "*.mp3", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesBatchPattern(c.name, c.patterns), c.matches)
            << c.name << " / " << c.patterns;
}

TEST(BatchInputs, FoldersExpandBySubfolderAndPatternRulesAndLoopsEndOnce) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const auto names = [&](const Settings& s, std::vector<std::string> paths) {
        std::vector<std::string> out;
        for (const BatchInput& in : ExpandBatchInputs(paths, s))
            out.push_back(fs::relative(in.path, tree).string() + (in.error.empty() ? "" : " !"));
        return out;
    };
    const std::vector<std::string> top = {"abrupt.mp3",  "album.mp3", "bad.mp3",
                                          "corrupt.mp3", "notes.mp3", "quiet.mp3"};
    Settings s;
    EXPECT_EQ(names(s, {tree}), top);
    // The pattern counts only where the Options window enables it: under subfolders.
    s.CheckBoxProcessOnly = true;
    s.EditBatchProcessOnlyFiles = "a*.mp3";
    EXPECT_EQ(names(s, {tree}), top);
    s.CheckBoxProcessSubfolders = true;
    EXPECT_EQ(names(s, {tree}), (std::vector<std::string>{"abrupt.mp3", "album.mp3"}));
    s.EditBatchProcessOnlyFiles = "*.txt;deep*";
    EXPECT_EQ(names(s, {tree}), (std::vector<std::string>{"readme.txt", "sub/deep.mp3"}));
    s.CheckBoxProcessOnly = false;
    std::vector<std::string> all = top;
    all.push_back("sub/deep.mp3");
    // The link back to the top folder is not entered again.
    EXPECT_EQ(names(s, {tree}), all);
    s.CheckBoxProcessSubfolders = false;
    // A file named again, or reached again through a folder, comes once; named files pass
    // whatever the pattern; a missing input is recorded.
    EXPECT_EQ(names(s, {tree + "/readme.txt", tree + "/sub", tree + "/sub/loop/sub/deep.mp3",
                        tree + "/gone.mp3"}),
              (std::vector<std::string>{"readme.txt", "sub/deep.mp3", "gone.mp3 !"}));
}
