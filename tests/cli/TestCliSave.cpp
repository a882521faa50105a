#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "RunCli.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitSilence.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

using CliResult = CliRun;

// The frame cut, whose bytes these tests pin.
CliResult RunSave(std::vector<std::string> args) {
    return RunCliCaptured(std::move(args),
                          {"save", "--defaults", "--option", "CheckBoxExactCut=0"});
}

// Distinct frames, so that any misplaced byte shows.
std::vector<std::uint8_t> Frames(int count) {
    return DistinctFrames(count);
}

const std::int64_t kFrame = 417; // 128 kbit/s at 44100 Hz, no padding

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::int64_t from,
                                std::int64_t n) {
    return {v.begin() + from, v.begin() + from + n};
}

TEST(CliSave, SaveAsTrimsByFramesSecondsAndMilliseconds) {
    TempDir dir;
    const auto source = Frames(200);
    WriteFile(dir.File("a.mp3"), source);
    const struct {
        const char* begin;
        const char* end;
        std::int64_t b, e;
    } cases[] = {
        {"7", "0", 7, 0},
        {"1s", "1000ms", 39, 38}, // seconds round up, milliseconds truncate
        {"0ms", "2s", 0, 77},
    };
    for (const auto& c : cases) {
        const CliResult r = RunSave({dir.File("a.mp3"), "-o", dir.File("b.mp3"), "--begin", c.begin,
                                     "--end", c.end, "--timing"});
        ASSERT_EQ(r.status, 0) << r.err;
        // The frames went to the new file while the source was analysed.
        EXPECT_NE(r.err.find("(frames copied during the analysis)"), std::string::npos) << r.err;
        const std::int64_t kept = 200 - c.b - c.e;
        EXPECT_NE(
            r.out.find("saved as " + dir.File("b.mp3") + ": " + std::to_string(kept) + " frames"),
            std::string::npos)
            << r.out;
        EXPECT_EQ(ReadFile(dir.File("b.mp3")), Slice(source, c.b * kFrame, kept * kFrame));
    }
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), source);
}

TEST(CliSave, DryRunPrintsThePlanAndWritesNothing) {
    TempDir dir;
    const auto source = Frames(100);
    WriteFile(dir.File("song.mp3"), source);
    const timespec old[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("song.mp3").c_str(), old, 0), 0);
    for (bool saveAs : {false, true}) {
        std::vector<std::string> args = {dir.File("song.mp3"), "--begin", "10",
                                         "--dry-run",          "--gain",  "3"};
        if (saveAs)
            args.insert(args.end(), {"-o", dir.File("out.mp3")});
        const CliResult r = RunSave(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("output frames: 90\n"), std::string::npos) << r.out;
        // The gain adds an APE tag with its undo item: header, footer, "MP3GAIN_UNDO" =
        // "-003,-003,N".
        constexpr int kUndoTag = 32 + 32 + 8 + 13 + 11;
        EXPECT_NE(
            r.out.find("predicted size: " + std::to_string(90 * kFrame + kUndoTag) + " bytes"),
            std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("space saved: 4.0KB (4074 bytes)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("output length: 0:02 (0m 02s)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("suggested Save As name: song (0m 02s).mp3"), std::string::npos)
            << r.out;
    }
    EXPECT_EQ(ReadFile(dir.File("song.mp3")), source);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("song.mp3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
    EXPECT_FALSE(fs::exists(dir.File("out.mp3")));
}

TEST(CliSave, InPlaceGainUpAndDownRestoresTheFile) {
    TempDir dir;
    const auto source = Frames(60);
    WriteFile(dir.File("a.mp3"), source);
    CliResult r = RunSave({dir.File("a.mp3"), "--gain", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(dir.File("a.mp3")), source);
    r = RunSave({dir.File("a.mp3"), "--gain", "-4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), source);
    // Neutral with the remove mode: nothing to do.
    r = RunSave({dir.File("a.mp3"), "--option", "RadioButtonID3Remove=0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("nothing to change"), std::string::npos) << r.out;
}

TEST(CliSave, OptionsReachTheWriter) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), Frames(50));
    const CliResult r = RunSave({dir.File("a.mp3"), "-o", dir.File("b.wav"), "--wav", "--option",
                                 "ComboBoxAddSilenceBeginning=10"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto wav = ReadFile(dir.File("b.wav"));
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_NE(r.out.find(": 88 frames"), std::string::npos) << r.out; // 50 + 38 silent
}

TEST(CliSave, AutoTrimTakesTheSilentEnds) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame needed";
    TempDir dir;
    PcmSpec spec;
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, spec, 2);
    AppendTone(pcm, spec, 3, 440, 10000);
    AppendSilence(pcm, spec, 2);
    EncodeWithLame(pcm, spec, "-b 128", dir.File("a.mp3"));
    NullProgress progress;
    const Settings defaults;
    const StreamInfo info =
        OpenSourceFile(dir.File("a.mp3"), defaults, MessageTable::English(), progress, {}).info;
    const TrimPoints trim = AutoTrim(info, defaults, OperationState::Idle).value();
    ASSERT_GT(trim.beginFrames, 0);
    ASSERT_GT(trim.endFrames, 0);
    const CliResult r = RunSave({dir.File("a.mp3"), "--auto-trim", "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("trim: begin " + std::to_string(trim.beginFrames) + " frames, end " +
                         std::to_string(trim.endFrames) + " frames"),
              std::string::npos)
        << r.out;
    const CliResult r2 = RunSave({dir.File("a.mp3"), "--auto-trim", "--begin", "3", "--dry-run"});
    EXPECT_NE(r2.out.find("trim: begin 3 frames, end " + std::to_string(trim.endFrames)),
              std::string::npos)
        << r2.out;
}

TEST(CliSave, BadArgumentsAndFailures) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), Frames(20));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* text;
    } cases[] = {
        {{}, 2, "FILE is missing"},
        {{dir.File("a.mp3"), "--begin", "5x"}, 2, "--begin takes frames"},
        {{dir.File("a.mp3"), "--gain", "9"}, 2, "--gain takes a whole number from -8 to 8"},
        {{dir.File("a.mp3"), "--fade-in", "33"}, 2, "--fade-in takes"},
        {{dir.File("a.mp3"), "--wav"}, 2, "use them with -o"},
        {{dir.File("a.mp3"), "-o", dir.File("b.mp3"), "--wav", "--mp3"}, 2, "exclude each other"},
        {{dir.File("a.mp3"), "--end"}, 2, "--end needs a value"},
        {{dir.File("a.mp3"), "-o", dir.File("a.mp3")},
         1,
         "'Save As' cannot overwrite to the source file - use 'Save' instead"},
        {{dir.File("a.mp3"), "--begin", "15", "--end", "6"}, 1, "but the file has only 20"},
        {{dir.File("none.mp3")}, 1, "Failed to open the file"},
        {{dir.File("a.mp3"), "-o", dir.File("no/b.mp3")}, 1, "No such file or directory"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunSave(c.args);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), Frames(20));
}

TEST(CliSave, ReadOnlySourceCanBeSavedAsButNotInPlace) {
    if (::geteuid() != 0 || !HaveProgram("setpriv"))
        GTEST_SKIP() << "needs root to run the command as an unprivileged user";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const auto source = Frames(30);
    WriteFile(dir.File("a.mp3"), source);
    ASSERT_EQ(::chmod(dir.File("a.mp3").c_str(), 0444), 0);
    const std::string asNobody =
        "setpriv --reuid=65534 --regid=65534 --clear-groups " + std::string(VELMORA_CLI_PATH) +
        " save --defaults --option CheckBoxExactCut=0 '" + dir.File("a.mp3") + "' --begin 2";
    std::string output;
    EXPECT_EQ(RunCommand(asNobody, &output), 1) << output;
    EXPECT_NE(output.find("Permission denied - Access to file is denied (read only?)"),
              std::string::npos)
        << output;
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), source);
    EXPECT_EQ(RunCommand(asNobody + " -o '" + dir.File("b.mp3") + "'", &output), 0) << output;
    EXPECT_EQ(ReadFile(dir.File("b.mp3")), Slice(source, 2 * kFrame, 28 * kFrame));
}

TEST(CliSave, FileLockedByAnotherProgramIsReportedAsInUse) {
    TempDir dir;
    const auto source = Frames(30);
    WriteFile(dir.File("a.mp3"), source);
    // A player or another Velmora holding the file, as `flock` shows it.
    std::string output;
    const std::string held = "flock -s '" + dir.File("a.mp3") + "' " +
                             std::string(VELMORA_CLI_PATH) + " save --defaults '" +
                             dir.File("a.mp3") + "' --begin 2";
    EXPECT_EQ(RunCommand(held, &output), 1) << output;
    EXPECT_EQ(output, "velmora-cli: The file \"" + dir.File("a.mp3") +
                          "\" is in use by another program; close it there and try again\n");
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), source);
}

} // namespace
