#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitInfo.h"
#include "UnitMessages.h"
#include "UnitMpg123.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitVolume.h"
#include "UnitXing.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using namespace velmora::test;

namespace {

OpenResult OpenWithDecoder(const std::string& path, const Settings& settings = {}) {
    NullProgress progress;
    return OpenWithTailAnalysis(path, settings, MessageTable::English(), progress);
}

std::string Encode(const TempDir& dir, const std::string& name, const std::string& args,
                   const std::vector<std::int16_t>& pcm, const PcmSpec& spec = {}) {
    const std::string path = dir.File(name);
    EncodeWithLame(pcm, spec, args, path);
    return path;
}

} // namespace

TEST(OpenTemplates, SilentFrameDecodesToDigitalSilence) {
    const struct {
        const char* name;
        FrameSpec spec;
    } cases[] = {
        {"MPEG-1 III joint stereo", FrameSpec{}},
        {"MPEG-1 III mono with CRC",
         [] {
             FrameSpec s;
             s.channelMode = 3;
             s.crc = true;
             return s;
         }()},
        {"MPEG-2 III 22050 Hz",
         [] {
             FrameSpec s;
             s.versionId = 2;
             s.bitrateIndex = 8;
             return s;
         }()},
        {"MPEG-2.5 III 11025 Hz mono",
         [] {
             FrameSpec s;
             s.versionId = 0;
             s.bitrateIndex = 4;
             s.channelMode = 3;
             return s;
         }()},
        {"MPEG-1 II 192 kbit/s",
         [] {
             FrameSpec s;
             s.layerId = 2;
             s.bitrateIndex = 10;
             return s;
         }()},
    };
    for (const auto& c : cases) {
        MpegHeader first;
        ASSERT_TRUE(DecodeHeader(first, HeaderWord(c.spec))) << c.name;
        for (bool vbr : {false, true}) {
            const SilentFrameTemplateData t = BuildSilentFrameTemplate(first, vbr);
            ASSERT_EQ(t.image.size(), static_cast<std::size_t>(t.header.frameLength));
            if (t.header.hasCrc) {
                EXPECT_EQ(StoredCrc(t.image.data()), FrameCrc(t.header, t.image.data()));
            }
            MpegFrameDecoder decoder(static_cast<std::int32_t>(first.sampleRate),
                                     first.channelMode == kMono ? 1 : 2, "open failed",
                                     SynthRoutines::Portable);
            std::size_t samples = 0;
            for (int i = 0; i < 20; ++i) {
                const FrameDecodeResult r = decoder.DecodeFrame(t.image);
                ASSERT_EQ(r.status, 0) << c.name;
                samples += r.pcm.size();
                for (std::int16_t s : r.pcm)
                    ASSERT_EQ(s, 0) << c.name;
            }
            EXPECT_EQ(samples, 20u * static_cast<std::size_t>(SamplesPerFrame(first)) *
                                   (first.channelMode == kMono ? 1 : 2))
                << c.name;
        }
    }
}

TEST(OpenWithDecoder, EndingFollowsTheDecodedTail) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    std::vector<std::int16_t> loud;
    AppendTone(loud, PcmSpec{}, 12.0, 440, 12000);
    // Noise rather than a tone: its frames carry data that no byte test mistakes for silence.
    std::vector<std::int16_t> faded;
    AppendNoise(faded, PcmSpec{}, 16.0, 12000, 3);
    AppendSilence(faded, PcmSpec{}, 4.0);

    const OpenResult abrupt = OpenWithDecoder(Encode(dir, "loud.mp3", "-b 128", loud));
    EXPECT_TRUE(abrupt.info.abruptEnding);
    EXPECT_EQ(BuildInformationTexts(abrupt.info, TagsKept::Yes, MessageTable::English()).EditEnding,
              "abrupt");
    const std::int64_t n = abrupt.info.frameCount;
    EXPECT_GT(abrupt.info.frames[n - 1].energy, 12u);
    EXPECT_EQ(abrupt.info.frames[n - 106].energy, 0u); // not decoded

    const std::string quietPath = Encode(dir, "quiet.mp3", "-b 128", faded);
    const OpenResult natural = OpenWithDecoder(quietPath);
    EXPECT_FALSE(natural.info.abruptEnding);

    // Very aggressive: the decoded quiet frames among the last 500 become silent.
    Settings aggressive;
    aggressive.RadioGroupTrimAggressivity = 2;
    const OpenResult marked = OpenWithDecoder(quietPath, aggressive);
    const std::int64_t count = marked.info.frameCount;
    ASSERT_GE(count, 510);
    int silentTail = 0;
    for (std::int64_t i = count - 500; i < count; ++i)
        silentTail += marked.info.frames[i].silent ? 1 : 0;
    // About 4 s of silence: 153 frames, give or take the encoder's reservoir.
    EXPECT_GT(silentTail, 140);
    EXPECT_LT(silentTail, 160);
    EXPECT_FALSE(marked.info.frames[count - 300].silent);
}

TEST(OpenWithDecoder, NewXingFrameGivesPeersTheExactLength) {
    if (!HaveProgram("lame") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "lame or ffprobe is not installed";
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 4.0, 440, 9000);
    AppendNoise(pcm, PcmSpec{}, 6.0, 9000, 7);
    const std::string path = Encode(dir, "vbr.mp3", "-V 4", pcm);
    Settings s;
    s.CheckBoxKeepExtraInfo = false; // build a new frame rather than keeping the encoder's
    const OpenResult r = OpenWithDecoder(path, s);
    ASSERT_TRUE(r.info.IsVbr());
    ASSERT_TRUE(WantExtraInfo(r.info, s));
    const TrimPoints trim{20, 30};
    const OutputPlan plan = ComputeOutputPlan(r.info, trim, s, {}).plan;
    const ExtraInfoOut xing = BuildExtraInfoFrame(r.info, s, plan, trim, 0);
    const auto source = ReadFile(path);
    std::vector<std::uint8_t> out = xing.bytes;
    for (std::int64_t i = trim.beginFrames; i < r.info.frameCount - trim.endFrames; ++i) {
        const FrameEntry& e = r.info.frames[i];
        out.insert(out.end(), source.begin() + e.offset, source.begin() + e.offset + e.length);
    }
    ASSERT_EQ(static_cast<std::int64_t>(out.size()), plan.predictedSize);
    const std::string outPath = dir.File("out.mp3");
    WriteFile(outPath, out);
    std::string text;
    ASSERT_EQ(
        RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + outPath + "'",
                   &text),
        0);
    const double expected = static_cast<double>(plan.outputFrames) * 1152.0 / 44100.0;
    EXPECT_NEAR(std::strtod(text.c_str(), nullptr), expected, 0.0005) << text;
}
