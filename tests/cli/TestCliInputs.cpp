#include "CliInputs.h"
#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::cli;
using namespace velmora::test;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, {text.begin(), text.end()});
}

// Four short lame files, one of them with a Latin-1 name, in `dir`/music; their paths.
std::vector<std::string> MakeMusic(const TempDir& dir) {
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 0.5, 440, 9000);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("one.mp3"));
    const auto bytes = ReadFile(dir.File("one.mp3"));
    ::mkdir(dir.File("music").c_str(), 0755);
    std::vector<std::string> paths;
    for (const char* name : {"a.mp3", "b c.mp3", "caf\xe9.mp3", "d.mp3"}) {
        paths.push_back(dir.File("music/") + name);
        WriteFile(paths.back(), bytes);
    }
    return paths;
}

std::multiset<std::string> LineSet(const std::string& text) {
    const auto lines = Lines(text);
    return {lines.begin(), lines.end()};
}

} // namespace

TEST(CliInputs, ShardTextIsKOfNWithKFromOneToN) {
    const struct {
        const char* text;
        bool valid;
        std::uint32_t k, n;
    } cases[] = {
        {"1/1", true, 1, 1},       {"2/4", true, 2, 4},    {"4/4", true, 4, 4},
        {"1/4096", true, 1, 4096}, {"3/2", false, 0, 0},   {"0/0", false, 0, 0},
        {"0/3", false, 0, 0},      {"1/0", false, 0, 0},   {"", false, 0, 0},
        {"1", false, 0, 0},        {"/2", false, 0, 0},    {"1/", false, 0, 0},
        {"-1/2", false, 0, 0},     {"+1/2", false, 0, 0},  {"1/2x", false, 0, 0},
        {" 1/2", false, 0, 0},     {"1/2/3", false, 0, 0}, {"4294967296/4294967297", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto shard = ParseShard(c.text);
        ASSERT_EQ(shard.has_value(), c.valid) << c.text;
        if (shard) {
            EXPECT_EQ(shard->index, c.k) << c.text;
            EXPECT_EQ(shard->count, c.n) << c.text;
        }
    }
}

TEST(CliInputs, NameListsKeepEveryByteAndSkipEmptyNames) {
    const struct {
        std::string list;
        bool nul;
        std::vector<std::string> names;
    } cases[] = {
        {"a.mp3\n\nb c.mp3\n", false, {"a.mp3", "b c.mp3"}},
        {"no newline at the end", false, {"no newline at the end"}},
        {"dos.mp3\r\n caf\xe9.mp3\n", false, {"dos.mp3\r", " caf\xe9.mp3"}},
        {std::string("a\nb.mp3\0\0c.mp3\0", 16), true, {"a\nb.mp3", "c.mp3"}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.list);
        EXPECT_EQ(ReadNameList(in, c.nul), c.names) << c.list;
    }
}

TEST(CliInputs, ShardOfANameIsItsFnv1aHashModuloN) {
    // Values from an independent FNV-1a implementation; they must never change, or machines
    // running different versions would split an archive differently.
    const struct {
        std::string name;
        std::uint32_t count, shard;
    } cases[] = {
        {"", 4, 2}, {"a", 4, 1}, {"/music/01.mp3", 4, 2}, {"caf\xe9.mp3", 4, 1},
        {"", 7, 3}, {"a", 7, 6}, {"/music/01.mp3", 7, 5}, {"caf\xe9.mp3", 7, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShardOfName(c.name, c.count), c.shard) << c.name << " of " << c.count;
    // 1000 names spread over every part.
    std::vector<int> sizes(8);
    for (int i = 0; i < 1000; ++i)
        ++sizes[ShardOfName("/archive/track " + std::to_string(i) + ".mp3", 8) - 1];
    EXPECT_GT(*std::min_element(sizes.begin(), sizes.end()), 90);
}

TEST(CliInputs, BadInputOptionsAreUsageErrorsOnEveryCommand) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--shard", "3/2", "x.mp3"}, "--shard takes K/N with K from 1 to N, not \"3/2\""},
        {{"--shard", "0/0", "x.mp3"}, "--shard takes K/N with K from 1 to N, not \"0/0\""},
        {{"--shard=1/0", "x.mp3"}, "--shard takes K/N with K from 1 to N, not \"1/0\""},
        {{"--shard", "two/4", "x.mp3"}, "--shard takes K/N with K from 1 to N, not \"two/4\""},
        {{"x.mp3", "--shard"}, "--shard needs a value"},
        {{"x.mp3", "--files-from"}, "--files-from needs a value"},
        {{"--files-from=", "x.mp3"}, "--files-from needs a file name (\"-\" for standard input)"},
    };
    for (const std::string command : {"info", "normalize", "batch", "undo"}) {
        for (const auto& c : cases) {
            std::vector<std::string> line = {command, "--defaults"};
            line.insert(line.end(), c.args.begin(), c.args.end());
            const CliRun r = RunCliCaptured(line);
            EXPECT_EQ(r.status, 2) << command << " " << c.args[0];
            EXPECT_EQ(r.err, "velmora-cli: " + command + ": " + c.error + " (see \"velmora-cli " +
                                 command + " --help\")\n");
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
}

TEST(CliInputs, AListWithMissingDuplicateAndLatin1NamesExaminesEachNameOnce) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const auto paths = MakeMusic(dir);
    const std::string missing = dir.File("music/gone.mp3");
    // The same names, with a blank line, a duplicate and a missing file, in both list forms.
    const std::vector<std::string> listed = {paths[0], paths[2], "", paths[0], missing, paths[1]};
    std::string lines, nuls;
    for (const auto& name : listed) {
        lines += name + "\n";
        nuls += name + '\0';
    }
    WriteText(dir.File("list"), lines);
    WriteText(dir.File("list0"), nuls);
    const CliRun byLine = RunCliCaptured(
        {"info", "--defaults", "--json", "--files-from", dir.File("list"), paths[1]});
    const CliRun byNul =
        RunCliCaptured({"info", "--defaults", "--json", "-0", "--files-from=" + dir.File("list0")});
    EXPECT_EQ(byLine.status, 1) << byLine.err;
    const auto out = Lines(byLine.out);
    ASSERT_EQ(out.size(), 4u) << byLine.out;
    // The argument first, then the list in its order, each name once; only the missing file
    // fails.
    const auto examined = [&](std::size_t i, const std::string& path) {
        EXPECT_EQ(out[i].rfind("{\"schema\": 1, \"file\": \"" + path + "\", ", 0), 0u) << out[i];
        EXPECT_EQ(out[i].find("\"error\""), std::string::npos) << out[i];
    };
    examined(0, paths[1]);
    examined(1, paths[0]);
    EXPECT_NE(out[2].find("\"fileBytes\": \""), std::string::npos) << out[2];
    EXPECT_EQ(out[2].find("\"error\""), std::string::npos) << out[2];
    EXPECT_EQ(out[3].rfind("{\"schema\": 1, \"file\": \"" + missing + "\", \"error\": ", 0), 0u)
        << out[3];
    EXPECT_EQ(byNul.status, 1);
    EXPECT_EQ(LineSet(byNul.out), LineSet(byLine.out));
    // Standard input, through the program itself.
    std::string piped;
    EXPECT_EQ(RunCommand("VELMORA_CONFIG_DIR=" + dir.path() +
                             " " VELMORA_CLI_PATH " info --defaults --json -0 --files-from - <'" +
                             dir.File("list0") + "' 2>/dev/null",
                         &piped),
              1);
    EXPECT_EQ(piped, byNul.out);
    // A list that cannot be read stops the command before any file.
    for (const auto& [list, reason] :
         {std::pair<std::string, std::string>{dir.File("nolist"), "No such file or directory"},
          {dir.File("music"), "Is a directory"}}) {
        const CliRun r = RunCliCaptured({"normalize", "--files-from", list, paths[0]});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "velmora-cli: cannot read the list \"" + list + "\": " + reason + "\n");
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(CliInputs, ShardsPartitionTheFilesOfEveryCommand) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const auto paths = MakeMusic(dir);
    std::string list;
    for (const auto& p : paths)
        list += p + "\n";
    WriteText(dir.File("list"), list);
    const std::vector<std::vector<std::string>> commands = {
        {"info", "--json", "--files-from", dir.File("list")},
        {"normalize", "--json", "--files-from", dir.File("list")},
        {"batch", "--json", "--jobs", "2", "--option", "CheckBoxBatchTestRun=on",
         dir.File("music")},
    };
    for (const auto& command : commands) {
        std::vector<std::string> whole = command;
        whole.insert(whole.begin() + 1, "--defaults");
        const CliRun one = RunCliCaptured(whole);
        ASSERT_EQ(one.status, 0) << one.err;
        ASSERT_EQ(Lines(one.out).size(), paths.size()) << one.out;
        for (const std::uint32_t n : {1u, 3u, 5u}) {
            std::multiset<std::string> merged;
            for (std::uint32_t k = 1; k <= n; ++k) {
                std::vector<std::string> part = whole;
                part.push_back("--shard=" + std::to_string(k) + "/" + std::to_string(n));
                const CliRun r = RunCliCaptured(part);
                EXPECT_EQ(r.status, 0) << r.err;
                for (const auto& line : Lines(r.out))
                    merged.insert(line);
            }
            EXPECT_EQ(merged, LineSet(one.out)) << command[0] << " in " << n << " parts";
        }
    }
}
