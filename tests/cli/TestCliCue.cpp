#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "RunCli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

CliRun Cli(const std::vector<std::string>& args) {
    return RunCliCaptured(args);
}

} // namespace

TEST(CliCue, CueWritesAndPrintsTheSheetAndSplitWritesEachTrack) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const std::string mp3 = dir.File("show.mp3");
    MakeThreeTracks(mp3);

    const CliRun cue =
        Cli({"cue", "--defaults", "--option", "SpinEditMinimumCueTrackLength=5", mp3});
    ASSERT_EQ(cue.status, 0) << cue.err;
    const std::vector<std::string> lines = Lines(cue.out);
    ASSERT_EQ(lines.size(), 7u) << cue.out;
    EXPECT_EQ(lines[0], "FILE \"" + mp3 + "\" BINARY");
    EXPECT_EQ(lines[1], "  TRACK 01 AUDIO");
    EXPECT_EQ(lines[2], "    INDEX 01 00:00:00");
    EXPECT_EQ(lines[5], "  TRACK 03 AUDIO");
    const std::vector<std::uint8_t> sheet = ReadFile(dir.File("show.cue"));
    const std::string sheetText(sheet.begin(), sheet.end());
    EXPECT_NE(sheetText.find("  TRACK 03 AUDIO\r\n"), std::string::npos);

    // The default minimum track length (60 s) leaves this 25-second file in one piece.
    const CliRun whole = Cli({"cue", "--defaults", mp3});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(Lines(whole.out).size(), 3u) << whole.out;
    ASSERT_EQ(Cli({"cue", "--defaults", "--option", "SpinEditMinimumCueTrackLength=5", mp3}).status,
              0);

    const CliRun split = Cli({"split", "--defaults", "--option", "CheckBoxSaveWAV=-1", mp3});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::vector<std::string> written = Lines(split.out);
    ASSERT_EQ(written.size(), 3u) << split.out;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(written[static_cast<std::size_t>(k)],
                  dir.File("show/0" + std::to_string(k + 1) + ".wav"));
        EXPECT_TRUE(fs::exists(written[static_cast<std::size_t>(k)]));
    }
}

TEST(CliCue, SplitWithoutASheetFailsWithAMessage) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    FrameSpec spec;
    spec.part23Length = {800, 800, 800, 800};
    AppendFrames(frames, spec, 200);
    WriteFile(dir.File("bare.mp3"), frames);
    const CliRun r = Cli({"split", "--defaults", dir.File("bare.mp3")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no CUE sheet"), std::string::npos) << r.err;
    EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "bare.mp3");

    const struct {
        std::vector<std::string> args;
        int status;
    } bad[] = {
        {{"cue", "--defaults"}, 2},
        {{"cue", "--defaults", "a.mp3", "b.mp3"}, 2},
        {{"split", "--defaults"}, 2},
        {{"split", "--defaults", dir.File("bare.mp3"), "--gain"}, 2},
        {{"split", "--defaults", dir.File("bare.mp3"), "--gain", "9"}, 2},
        {{"split", "--defaults", dir.File("bare.mp3"), "--fade-in", "x"}, 2},
        {{"cue", "--defaults", dir.File("missing.mp3")}, 1},
    };
    for (const auto& c : bad)
        EXPECT_EQ(Cli(c.args).status, c.status) << c.args.back();
}

TEST(CliCue, SplitRefusesASheetWithoutTracksAndMakesNoFolder) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 200);
    WriteFile(dir.File("x.mp3"), frames);
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("FILE \"x\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"))
        utf16 += std::string(1, c) + '\0';
    for (const std::string& sheet : {std::string(), std::string("REM only\r\n"), utf16}) {
        WriteFile(dir.File("x.cue"), std::vector<std::uint8_t>(sheet.begin(), sheet.end()));
        const CliRun r = Cli({"split", "--defaults", dir.File("x.mp3")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "velmora-cli: invalid CUE file\n");
        EXPECT_FALSE(fs::exists(dir.File("x"))) << sheet;
    }
}

TEST(CliCue, TheFileLineNamesTheSourceByItsAbsolutePath) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    fs::create_directories(dir.File("music"));
    MakeThreeTracks(dir.File("music/show.mp3"));
    // The real program, started in the sheet's folder with a relative path.
    std::string output;
    ASSERT_EQ(RunCommand("cd '" + dir.File("music") +
                             "' && '" VELMORA_CLI_PATH
                             "' cue --defaults ../music/./show.mp3 >/dev/null",
                         &output),
              0)
        << output;
    const std::vector<std::uint8_t> sheet = ReadFile(dir.File("music/show.cue"));
    const std::string line =
        "FILE \"" + fs::canonical(dir.File("music")).string() + "/show.mp3\" BINARY\r\n";
    EXPECT_EQ(std::string(sheet.begin(), sheet.end()).substr(0, line.size()), line);
}
