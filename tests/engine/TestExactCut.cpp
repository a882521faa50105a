#include "ExactCutHelpers.h"
#include "UnitExactCut.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora {

namespace {

using namespace test;
namespace fs = std::filesystem;

struct Fixture {
    const char* name;
    const char* lame;
    int rate, channels;
    bool tagged; // lame writes its extra-info frame only where the frame has room for it
};

// Every Layer III shape lame writes: versions, bitrate modes, channel modes, CRCs, with and
// without the extra-info frame.
constexpr Fixture kFixtures[] = {
    {"mpeg1-cbr-stereo", "-b 128 -m s", 44100, 2, true},
    {"mpeg1-vbr-joint", "-V 2", 44100, 2, true},
    {"mpeg1-abr-joint", "--abr 160", 48000, 2, true},
    {"mpeg1-cbr-mono", "-b 64 -m m", 32000, 1, true},
    {"mpeg1-crc", "-b 160 -p", 44100, 2, true},
    {"mpeg1-no-tag", "-b 128 -t", 44100, 2, false},
    {"mpeg2-vbr", "-V 5", 22050, 2, true},
    {"mpeg2-cbr-mono-crc", "-b 48 -m m -p", 24000, 1, false},
    {"mpeg25-cbr", "-b 64", 11025, 2, true},
    {"mpeg25-mono", "-b 32 -m m", 8000, 1, true},
};

// Cut points as fractions of the source plus a sample offset: inside frames, on frame
// boundaries (of 1152 and 576 samples), in the tone, in the noise and in the digital silence.
struct Cut {
    const char* what;
    double begin;
    std::int64_t beginOffset;
    double end;
    std::int64_t endOffset;
};
constexpr Cut kCuts[] = {
    {"whole", 0, 0, 1, 0},
    {"inside frames in the tone", 0.1, 333, 0.3, 777},
    {"frame boundaries", 0, 1152 * 6, 0, 1152 * 40},
    {"one sample off each end", 0, 1, 1, -1},
    {"in the noise", 0.3, 17, 0.5, 1001},
    {"in the silence", 0.6, 5, 0.62, 3},
    {"noise to end", 0.45, 123, 1, 0},
    {"a few samples", 0.5, 0, 0.5, 700},
    {"inside one frame", 0.4, 0, 0.4, 1},
};

std::int64_t At(double fraction, std::int64_t offset, std::int64_t length) {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(fraction * length) + offset, 0,
                                    length);
}

// Whether the kept samples start and end in one source frame.
bool InOneFrame(const StreamInfo& info, std::int64_t begin, std::int64_t end) {
    const std::optional<GaplessFields> g = SourceGapless(info);
    const std::int64_t shift = g ? g->delay + kDecoderDelay : 0;
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    return begin > 0 && (begin + shift) / spf == (end + shift - 1) / spf;
}

} // namespace

TEST(ExactCut, DecodersPlayExactlyTheKeptSamplesOfEveryShape) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123") || !HaveProgram("ffmpeg"))
        GTEST_SKIP() << "lame, mpg123 and ffmpeg needed";
    TempDir dir;
    int exact = 0;
    for (const Fixture& fx : kFixtures) {
        const std::string source =
            EncodeMixture(dir, std::string(fx.name) + ".mp3", fx.lame, 3, fx.rate, fx.channels);
        const DecodedPair whole = DecodeBoth(source);
        Settings s = NeutralSettings();
        s.CheckBoxExactCut = true;
        StreamInfo info = OpenFile(source, s);
        const std::int64_t length = DecodedSamples(info);
        ASSERT_EQ(length * fx.channels, static_cast<std::int64_t>(whole.ffmpeg.size())) << fx.name;
        ASSERT_EQ(whole.ffmpeg.size(), whole.mpg123.size()) << fx.name;
        for (const Cut& cut : kCuts) {
            const std::int64_t begin = At(cut.begin, cut.beginOffset, length);
            const std::int64_t end = std::max(begin, At(cut.end, cut.endOffset, length));
            const std::string what = std::string(fx.name) + ", " + cut.what;
            const std::string out = dir.File("out.mp3");
            const WriteResult r = SaveSamples(source, out, info, s, begin, end);
            const DecodedPair got = DecodeBoth(out);
            // Without the encoder's delay the decoders play the first 529 samples, which no
            // delay field can drop again: the frame cut, with a warning.
            const bool inDecoderDelay = !fx.tagged && begin > 0 && begin < kDecoderDelay;
            EXPECT_EQ(r.exactCutWarning.empty(), !inDecoderDelay) << what << r.exactCutWarning;
            if (!r.exactCutWarning.empty())
                continue;
            ++exact;
            const auto want = Slice(whole.ffmpeg, begin, end, fx.channels);
            // ffmpeg 5.1 forgets what is left of the delay when the padding starts in the same
            // frame (the second side data overwrites the first): there it plays the frame's
            // samples from its start.
            if (!InOneFrame(info, begin, end)) {
                EXPECT_EQ(Differing(got.ffmpeg, want), 0) << what << " (ffmpeg)";
                EXPECT_EQ(got.ffmpeg.size(), want.size()) << what << " (ffmpeg)";
            }
            const auto want123 = Slice(whole.mpg123, begin, end, fx.channels);
            EXPECT_EQ(got.mpg123.size(), want123.size()) << what << " (mpg123)";
            // mpg123's x86-64 synthesis rounds by how many 32-sample steps it made since it
            // started, modulo 8 in mono; within its preroll of four frames the output cannot
            // always start on such a step (576-sample frames; carriers for small frames), and
            // then a few samples come out one step off.
            if (fx.channels == 1) {
                EXPECT_LE(MaxDifference(got.mpg123, want123), 1) << what << " (mpg123)";
                EXPECT_LE(Differing(got.mpg123, want123) * 1000,
                          static_cast<std::int64_t>(want123.size()))
                    << what << " (mpg123)";
            } else {
                EXPECT_EQ(Differing(got.mpg123, want123), 0) << what << " (mpg123)";
            }
        }
    }
    EXPECT_GT(exact, 0);
}

} // namespace velmora

namespace velmora {

TEST(ExactCut, DamagedOrChangingStreamsFallBackToTheFrameCutWithAWarning) {
    using namespace test;
    FrameSpec small; // 32 kbit/s: 68 bytes of main data a frame
    small.bitrateIndex = 1;
    small.part23Length = {100, 100, 100, 100};
    FrameSpec reaching = small;
    reaching.mainDataBegin = 400; // more than the frames before it hold
    FrameSpec mono = AudibleFrameSpec();
    mono.channelMode = 3;
    const FrameSpec stereo = AudibleFrameSpec();
    FrameSpec other = AudibleFrameSpec();
    other.sampleRateIndex = 1; // 48 kHz

    FrameSpec deep = small;
    deep.mainDataBegin = 300; // five of its own frames back: carriers would outrun the preroll
    std::vector<std::uint8_t> smallFrames;
    AppendFrames(smallFrames, deep, 40);
    std::vector<std::uint8_t> beforeFirst;
    AppendFrames(beforeFirst, reaching, 40);
    std::vector<std::uint8_t> toStereo;
    AppendFrames(toStereo, mono, 20);
    AppendFrames(toStereo, stereo, 20);
    std::vector<std::uint8_t> mixedRates;
    AppendFrames(mixedRates, stereo, 20);
    AppendFrames(mixedRates, other, 20);
    std::vector<std::uint8_t> truncated;
    AppendFrames(truncated, reaching, 30);
    truncated.resize(truncated.size() - 50);
    const struct {
        const char* what;
        const std::vector<std::uint8_t>& file;
        std::int64_t beginFrame;
        const char* warning;
    } cases[] = {
        {"main data before the first frame", beforeFirst, 3, "bit reservoir is damaged"},
        {"frames too small for the reservoir", smallFrames, 20, "too small"},
        {"mono to stereo", toStereo, 3, "stream changes"},
        {"mixed sample rates", mixedRates, 3, "stream changes"},
        {"truncated last frame", truncated, 3, "bit reservoir is damaged"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir.File("a.mp3"), c.file);
        Settings exact = NeutralSettings();
        exact.CheckBoxExactCut = true;
        exact.CheckBoxAllowPatchedStreams = true;
        Settings frameCut = exact;
        frameCut.CheckBoxExactCut = false;
        StreamInfo info = OpenFile(dir.File("a.mp3"), exact);
        ASSERT_GT(info.frameCount, 6) << c.what;
        const std::int64_t spf = SamplesPerFrame(info.firstHeader);
        const std::int64_t begin = c.beginFrame * spf + 100;
        const std::int64_t end = (info.frameCount - 2) * spf - 7;
        const WriteResult r =
            SaveSamples(dir.File("a.mp3"), dir.File("exact.mp3"), info, exact, begin, end);
        EXPECT_NE(r.exactCutWarning.find(c.warning), std::string::npos)
            << c.what << ": " << r.exactCutWarning;
        SaveSamples(dir.File("a.mp3"), dir.File("frames.mp3"), info, frameCut, begin, end);
        EXPECT_EQ(ReadFile(dir.File("exact.mp3")), ReadFile(dir.File("frames.mp3"))) << c.what;
    }
}

} // namespace velmora
