#include "Fixtures.h"
#include "OpenHelpers.h"
#include "UnitOutputPlan.h"
#include "UnitXing.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// A VBR stream: 128 and 160 kbit/s frames alternating in runs, with no extra-info frame.
std::vector<std::uint8_t> VbrFrames(int count) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i)
        AppendFrames(out, AudibleFrame(i % 3 == 0 ? 10 : 9), 1);
    return out;
}

Settings NoSmartCbr() {
    Settings s;
    s.CheckBoxSmartCBR = false;
    return s;
}

struct Output {
    OutputPlan plan;
    ExtraInfoOut frame;
};

Output Build(const StreamInfo& info, const Settings& s, TrimPoints trim = {},
             std::int64_t id3v2Out = 0) {
    Output o;
    o.plan = ComputeOutputPlan(info, trim, s, {}).plan;
    o.frame = BuildExtraInfoFrame(info, s, o.plan, trim, id3v2Out);
    return o;
}

} // namespace

TEST(ExtraInfo, VbrStreamsGetANewXingFrameFrom256Frames) {
    const Settings s = NoSmartCbr();
    const OpenResult r255 = Analyse(VbrFrames(255), s);
    ASSERT_TRUE(r255.info.IsVbr());
    EXPECT_FALSE(WantExtraInfo(r255.info, s));

    const OpenResult r256 = Analyse(VbrFrames(256), s);
    ASSERT_TRUE(WantExtraInfo(r256.info, s));
    const Output o = Build(r256.info, s, {3, 2});
    const MpegHeader& t = r256.info.SeekHeaderTemplate;
    EXPECT_FALSE(o.frame.kept);
    ASSERT_EQ(o.frame.bytes.size(), static_cast<std::size_t>(t.frameLength));
    EXPECT_EQ(HeaderWordAt(o.frame.bytes.data()), t.headerWord);
    const std::uint8_t* x = o.frame.bytes.data() + t.sideInfoEnd;
    EXPECT_EQ(std::memcmp(x, "Xing", 4), 0);
    EXPECT_EQ(Be32(x + 4), 7u);
    // The frame count is the number of audio frames, as decoders read it.
    EXPECT_EQ(Be32(x + 8), 251u);
    EXPECT_EQ(Be32(x + 12), static_cast<std::uint32_t>(o.plan.predictedSize));
    // Side information stays zero: the frame decodes as silence where it is not skipped.
    for (int i = 4; i < t.sideInfoEnd; ++i)
        EXPECT_EQ(o.frame.bytes[static_cast<std::size_t>(i)], 0) << i;
    // Its length is what the plan counted.
    EXPECT_EQ(o.plan.predictedSize - t.frameLength,
              ComputeOutputPlan(r256.info, {3, 2}, s, {}).plan.predictedSize -
                  ExtraInfoLength(r256.info, s));

    Settings mpeg2Off = s;
    const OpenResult mpeg2 = [&] {
        std::vector<std::uint8_t> out;
        for (int i = 0; i < 300; ++i) {
            FrameSpec f = AudibleFrame(i % 3 == 0 ? 10 : 9);
            f.versionId = 2;
            AppendFrames(out, f, 1);
        }
        return Analyse(out, s);
    }();
    EXPECT_FALSE(WantExtraInfo(mpeg2.info, mpeg2Off));
    mpeg2Off.CheckBoxNoExtraInfoInMPEG2 = false;
    EXPECT_TRUE(WantExtraInfo(mpeg2.info, mpeg2Off));
}

TEST(ExtraInfo, TocStartsAtTheFrameItselfAndNeverDecreases) {
    const Settings base = NoSmartCbr();
    for (int silence : {0, 10}) {
        for (int frames : {60, 256, 3000}) {
            Settings s = base;
            s.ComboBoxAddSilenceBeginning = silence;
            s.ComboBoxAddSilenceEnd = silence;
            const OpenResult r = Analyse(VbrFrames(frames), s);
            const Output o = Build(r.info, s, {frames / 10, frames / 20});
            const auto toc = BuildToc(r.info, o.plan, frames / 10,
                                      static_cast<std::int64_t>(o.frame.bytes.size()));
            EXPECT_EQ(toc[0], MulDiv(static_cast<std::int64_t>(o.frame.bytes.size()), 256,
                                     o.plan.predictedSize));
            for (int i = 1; i < 100; ++i)
                EXPECT_LE(toc[i - 1], toc[i]) << frames << " " << i;
            EXPECT_GT(toc[99], 240);
        }
    }
}

TEST(ExtraInfo, KeptInfoFrameOfACbrStream) {
    FrameSpec spec = AudibleFrame();
    std::vector<std::uint8_t> file = BuildExtraInfoFrame(spec, "Info", 100, 101 * 417);
    const auto audio = AudibleFrames(100);
    file.insert(file.end(), audio.begin(), audio.end());
    const OpenResult r = Analyse(file);
    ASSERT_TRUE(r.info.extraInfoPresent);
    Settings s;
    ASSERT_TRUE(WantExtraInfo(r.info, s));
    // Nothing trimmed: the frame goes out byte for byte as the source had it.
    const Output same = Build(r.info, s);
    EXPECT_TRUE(same.frame.kept);
    EXPECT_EQ(same.frame.bytes, r.info.ExtraInfoFrame.bytes);
    // Trimmed: the counts follow the output.
    const Output trimmed = Build(r.info, s, {10, 0});
    const std::uint8_t* x = trimmed.frame.bytes.data() + 36;
    EXPECT_EQ(std::memcmp(x, "Info", 4), 0);
    EXPECT_EQ(Be32(x + 8), 90u);
    EXPECT_EQ(Be32(x + 12), 91u * 417);

    s.CheckBoxKeepExtraInfo = false;
    EXPECT_FALSE(WantExtraInfo(r.info, s));
}

TEST(ExtraInfo, LameTagCrcIsReproducedAndUpdatedAfterATrim) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    for (const char* args : {"-b 128", "-V 2", "-m m -V 5"}) {
        PcmSpec pcm;
        pcm.channels = std::string(args).find("-m m") != std::string::npos ? 1 : 2;
        std::vector<std::int16_t> samples;
        AppendTone(samples, pcm, 3.0, 440, 8000);
        const auto path = dir.File("t.mp3");
        EncodeWithLame(samples, pcm, args, path);
        const auto bytes = ReadFile(path);
        const OpenResult r = Analyse(bytes);
        ASSERT_TRUE(r.info.extraInfoPresent) << args;
        const auto& source = r.info.ExtraInfoFrame.bytes;
        const int side = r.info.ExtraInfoFrame.header.sideInfoEnd;
        const int lame = FindLameTag(source, side);
        ASSERT_EQ(lame, side + 120) << args;
        const auto stored =
            static_cast<std::uint16_t>((source[lame + 34] << 8) | source[lame + 35]);
        EXPECT_EQ(Crc16Arc(std::span(source).first(static_cast<std::size_t>(lame + 34))), stored)
            << args;
        // The encoder counts audio frames only, and the whole file in bytes.
        EXPECT_EQ(Be32(source.data() + side + 8), r.info.frameCount) << args;
        EXPECT_EQ(Be32(source.data() + side + 12), bytes.size()) << args;
        // Untouched, a kept constant-bitrate frame is the source's.
        Settings s;
        if (!r.info.IsVbr()) {
            EXPECT_EQ(Build(r.info, s).frame.bytes, source) << args;
        }

        const Output o = Build(r.info, s, {5, 7});
        const auto& out = o.frame.bytes;
        EXPECT_EQ(Be32(out.data() + side + 8), r.info.frameCount - 12) << args;
        EXPECT_EQ(Be32(out.data() + side + 12), o.plan.predictedSize) << args;
        const std::uint8_t* dp = out.data() + lame + 21;
        EXPECT_EQ(dp[0], 0);
        EXPECT_EQ(dp[1], 0);
        EXPECT_EQ(dp[2], 0);
        EXPECT_EQ(std::memcmp(out.data() + lame, "LAME", 4), 0);
        const auto crc = static_cast<std::uint16_t>((out[lame + 34] << 8) | out[lame + 35]);
        EXPECT_EQ(Crc16Arc(std::span(out).first(static_cast<std::size_t>(lame + 34))), crc);
        // Only the beginning trimmed: the padding stays.
        const Output begin = Build(r.info, s, {5, 0});
        EXPECT_EQ(begin.frame.bytes[lame + 21], 0);
        EXPECT_EQ(begin.frame.bytes[lame + 23], source[lame + 23]);
    }
}
