#include "ExactCutHelpers.h"
#include "UnitExactCut.h"
#include "UnitInfo.h"
#include "UnitXing.h"

#include <gtest/gtest.h>

#include <cstring>
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
    // A sound stream whose last frame is cut short: the cut up to the end is exact, the short
    // frame left out.
    FrameSpec sound = small;
    sound.mainDataBegin = 60;
    std::vector<std::uint8_t> soundTruncated;
    AppendFrames(soundTruncated, small, 1);
    AppendFrames(soundTruncated, sound, 30);
    soundTruncated.resize(soundTruncated.size() - 50);
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
        {"truncated last frame, sound reservoir", soundTruncated, 3, nullptr},
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
        if (!c.warning) {
            // Exact after all: it plays the samples asked for.
            EXPECT_EQ(r.exactCutWarning, "") << c.what;
            const StreamInfo out = OpenFile(dir.File("exact.mp3"), exact);
            EXPECT_EQ(DecodedSamples(out), end - begin) << c.what;
            continue;
        }
        EXPECT_NE(r.exactCutWarning.find(c.warning), std::string::npos)
            << c.what << ": " << r.exactCutWarning;
        SaveSamples(dir.File("a.mp3"), dir.File("frames.mp3"), info, frameCut, begin, end);
        EXPECT_EQ(ReadFile(dir.File("exact.mp3")), ReadFile(dir.File("frames.mp3"))) << c.what;
    }
}

} // namespace velmora

namespace velmora {

namespace {

std::uint32_t Big32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

} // namespace

// The extra-info frame of a cut describes the file as written, byte for byte: frame and byte
// counts, the seek table (carrier frames included), delay and padding, music length, music CRC
// (computed over the carriers and the copied frames, or from the source's own where that reads
// less) and the extension's CRC. A frame cut of a CRC-protected file keeps its counts true too.
TEST(ExactCut, TheExtraInfoFrameDescribesTheFileAsWritten) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame needed";
    TempDir dir;
    const struct {
        const char* what;
        const char* lame;
        bool exact;
        int gain;
        double begin, end; // fractions of the source's samples
    } cases[] = {
        {"CBR, inside frames", "-b 128", true, 0, 0.3, 0.6},
        {"CBR, most of it kept", "-b 128", true, 0, 0.1, 0.9},
        {"VBR, most of it kept", "-V 2", true, 0, 0.1, 0.95},
        {"VBR with gain", "-V 2", true, 2, 0.2, 0.7},
        {"CRC, most of it kept", "-b 96 -p", true, 0, 0.05, 0.9},
        {"no tag in the source", "-b 128 -t", true, 0, 0.2, 0.8},
        {"CRC, frame cut", "-b 96 -p", false, 0, 0.1, 0.9},
        {"VBR, frame cut", "-V 2", false, 0, 0.1, 0.9},
    };
    for (const auto& c : cases) {
        const std::string source = EncodeMixture(dir, "a.mp3", c.lame, 4, 44100, 2);
        Settings s = NeutralSettings();
        s.CheckBoxExactCut = c.exact;
        StreamInfo info = OpenFile(source, s);
        const std::int64_t length = DecodedSamples(info);
        const std::int64_t spf = SamplesPerFrame(info.firstHeader);
        const auto begin = static_cast<std::int64_t>(c.begin * length) + 7;
        const auto end = static_cast<std::int64_t>(c.end * length) - 3;
        const TrimPoints trim{begin / spf, info.frameCount - (end + spf - 1) / spf};
        WriteParams p = MakeSaveParams(source, dir.File("out.mp3"), info, trim,
                                       PlanFor(info, s, {trim}), s, c.gain, 0, 0);
        p.beginSample = begin;
        p.endSample = end;
        NullProgress none;
        const WriteResult r = WriteOutput(p, info, {s, Messages(), false, true}, none);
        ASSERT_EQ(r.exactCutWarning, "") << c.what;

        const std::vector<std::uint8_t> out = ReadFile(dir.File("out.mp3"));
        const StreamInfo written = OpenFile(dir.File("out.mp3"), s);
        ASSERT_TRUE(written.extraInfoPresent) << c.what;
        const std::int64_t infoLength = written.frames[0].offset;
        const std::span<const std::uint8_t> frame(out.data(), infoLength);
        const int side = written.ExtraInfoFrame.header.sideInfoEnd;
        const std::uint8_t* x = frame.data() + side;
        ASSERT_TRUE(std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0) << c.what;
        const auto size = static_cast<std::int64_t>(out.size());
        EXPECT_EQ(Big32(x + XingLayout::kFramesOffset), written.frameCount) << c.what;
        EXPECT_EQ(Big32(x + XingLayout::kBytesOffset), size) << c.what;
        if (std::memcmp(x, "Xing", 4) == 0) {
            for (int i = 0; i < 100; ++i) {
                std::int64_t j = 0;
                while (j + 1 < written.frameCount && j * 100 < i * written.frameCount)
                    ++j;
                EXPECT_EQ(x[XingLayout::kTocOffset + i],
                          std::min<std::int64_t>(written.frames[j].offset * 256 / size, 255))
                    << c.what << ", TOC " << i;
            }
        }
        const int lame = FindLameTag(frame, side);
        ASSERT_GE(lame, 0) << c.what;
        const std::uint8_t* tag = frame.data() + lame;
        EXPECT_EQ(Big32(tag + LameTagLayout::kMusicLengthOffset), size) << c.what;
        const auto crcAt = [&](int at) { return (tag[at] << 8) | tag[at + 1]; };
        EXPECT_EQ(
            crcAt(LameTagLayout::kTagCrcOffset),
            Crc16Arc(frame.first(static_cast<std::size_t>(lame) + LameTagLayout::kTagCrcOffset)))
            << c.what;
        const std::optional<GaplessFields> fields = SourceGapless(written);
        ASSERT_TRUE(fields) << c.what;
        const std::int64_t played = written.frameCount * spf - fields->delay - fields->padding;
        if (c.exact) {
            EXPECT_EQ(played, end - begin) << c.what;
            EXPECT_EQ(crcAt(LameTagLayout::kMusicCrcOffset),
                      Crc16Arc(std::span(out).subspan(static_cast<std::size_t>(infoLength))))
                << c.what;
        } else {
            // The frame cut plays whole frames: nothing to drop at either end.
            EXPECT_EQ(fields->delay + fields->padding, 0) << c.what;
        }
    }
}

TEST(Crc16Arc, ShiftsCombineAndTakeOffStretches) {
    std::vector<std::uint8_t> a(1000), b(70001);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<std::uint8_t>(i * 40503u >> 3);
    std::vector<std::uint8_t> ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    const auto n = static_cast<std::int64_t>(b.size());
    EXPECT_EQ(Crc16Arc(ab), Crc16ArcShift(Crc16Arc(a), n) ^ Crc16Arc(b));
    EXPECT_EQ(Crc16Arc(b, Crc16Arc(a)), Crc16Arc(ab));
    EXPECT_EQ(Crc16ArcShift(Crc16ArcShift(0x1234, n), -n), 0x1234);
    EXPECT_EQ(Crc16ArcShift(0xBEEF, 32767), 0xBEEF);
    EXPECT_EQ(Crc16Arc(Bytes("123456789")), 0xBB3D); // the catalogue's check value
}

} // namespace velmora

namespace velmora {

// After an exact in-place save the file holds warm-up and carrier frames beside the kept ones;
// the length shown is what a player plays, which is what "Length after saving" promised.
TEST(ExactCut, LengthsShownAreThePlayedOnesBeforeAndAfterTheSave) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame needed";
    TempDir dir;
    const std::string path = EncodeMixture(dir, "a.mp3", "-b 128", 4, 44100, 2);
    Settings s = NeutralSettings();
    s.CheckBoxExactCut = true;
    StreamInfo info = OpenFile(path, s);
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    // Just under 3 s kept (20 frames off the start, the rest off the end), which the kept frames
    // with the encoder's delay and padding would round up to 3 s.
    const std::int64_t removed = (DecodedSamples(info) - 131100) / spf;
    const TrimPoints trim{20, removed - 20};
    const OutputPlanDisplay before = ComputeOutputPlan(info, trim, s, {});
    EXPECT_EQ(before.LabelTimeRemain, "0:02");
    EXPECT_EQ(FormatLength(info.firstHeader, before.plan.outputFrames), "0:03");
    NullProgress none;
    const WriteResult r = WriteOutput(MakeSaveParams(path, "", info, trim, before.plan, s, 0, 0, 0),
                                      info, {s, Messages(), false, true}, none);
    ASSERT_EQ(r.windowAction, WindowAction::RefreshOpenFile);
    ASSERT_GT(info.frameCount, before.plan.outputFrames); // the warm-up and carrier frames
    const StreamInfo reopened = OpenFile(path, s);
    for (const StreamInfo* model : std::initializer_list<const StreamInfo*>{&info, &reopened}) {
        EXPECT_EQ(BuildInformationTexts(*model, TagsKept::Yes, Messages()).EditLength, "0:02");
        EXPECT_EQ(ComputeOutputPlan(*model, {}, s, {}).LabelTimeRemain, "0:02");
    }
}

} // namespace velmora
