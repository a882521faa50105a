#include "CliRunner.h"
#include "DecoderOracle.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

CliRun RunSave(std::vector<std::string> args) {
    return RunCliCaptured(std::move(args), {"save", "--defaults"});
}

} // namespace

TEST(CliSave, FractionalAndClockTimesCutToTheSample) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123") || !HaveProgram("ffmpeg"))
        GTEST_SKIP() << "lame, mpg123 and ffmpeg needed";
    TempDir dir;
    const std::string source = EncodeMixture(dir, "a.mp3", "-V 3", 4, 44100, 2);
    const DecodedPair whole = DecodeBoth(source);
    const std::int64_t length = static_cast<std::int64_t>(whole.ffmpeg.size()) / 2;
    const struct {
        const char* begin;
        const char* end;
        std::int64_t b, e; // samples removed at each end
    } cases[] = {
        {"1.5s", "250ms", 66150, 11025},   {"0:01.25", "0.5ms", 55125, 22}, // 22.05 rounds to 22
        {"0:00:00.01", "2.5ms", 441, 110},                                  // 110.25 rounds to 110
        {"3", "1s", 3 * 1152, 44100},                                       // frames stay frames
        {"0:02", "0", 88200, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.begin) + " / " + c.end;
        const CliRun r = RunSave(
            {source, "-o", dir.File("b.mp3"), "--begin", c.begin, "--end", c.end, "--timing"});
        ASSERT_EQ(r.status, 0) << what << ": " << r.err;
        EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("(frames copied during the analysis)"), std::string::npos) << r.err;
        const DecodedPair got = DecodeBoth(dir.File("b.mp3"));
        EXPECT_EQ(Differing(got.ffmpeg, Slice(whole.ffmpeg, c.b, length - c.e, 2)), 0) << what;
        EXPECT_EQ(Differing(got.mpg123, Slice(whole.mpg123, c.b, length - c.e, 2)), 0) << what;
    }
}

TEST(CliSave, MalformedTimesAreRefused) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    for (int k = 0; k < 20; ++k) {
        const auto f = BuildFrame(FrameSpec{});
        frames.insert(frames.end(), f.begin(), f.end());
    }
    WriteFile(dir.File("a.mp3"), frames);
    for (const char* bad : {"1.s", ".5s", "1:60", "1:2:3:4", "1::2", "-1s", "1.5", "1:30s", "1,5s",
                            "0:00:60.0", "1e3ms"}) {
        const CliRun r = RunSave({dir.File("a.mp3"), "-o", dir.File("b.mp3"), "--begin", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--begin takes frames"), std::string::npos) << bad << ": " << r.err;
    }
}
