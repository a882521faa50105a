#include "ByteWriter.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "UnitMP3.h"
#include "UnitOptions.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::test::ByteWriter;

namespace {

using Bytes = std::vector<std::uint8_t>;

MpegHeader Mpeg1Layer3At44100() {
    return velmora::test::Mpeg1Layer3Header();
}

} // namespace

TEST(RiffHeaderBuild, TwoThousandFourHundredFramesOfOneMillionBytes) {
    const MpegHeader h = Mpeg1Layer3At44100();
    const std::int64_t durationMs = FramesToMilliseconds(h, 2400);
    ASSERT_EQ(durationMs, 62693);
    const RiffHeader header = BuildRiffHeader(true, 44100, durationMs, 2400, 1000000);
    const Bytes expected = ByteWriter()
                               .Text("RIFF")
                               .Bytes({0x72, 0x42, 0x0F, 0x00}) // 1000050: data size + 50
                               .Text("WAVE")
                               .Text("fmt ")
                               .Bytes({30, 0, 0, 0})            // format chunk size
                               .Bytes({0x55, 0x00})             // format tag: MPEG Layer-3
                               .Bytes({2, 0})                   // channels
                               .Bytes({0x44, 0xAC, 0x00, 0x00}) // 44100 samples per second
                               .Bytes({0x4E, 0x3E, 0x00, 0x00}) // 15950 = 1000000000 / 62693
                               .Bytes({1, 0})                   // block align
                               .Bytes({0, 0})                   // bits per sample
                               .Bytes({12, 0})                  // extra format bytes
                               .Bytes({1, 0})                   // MPEG Layer-3 id
                               .Bytes({2, 0, 0, 0})             // flags: padding off
                               .Bytes({0xA0, 0x01})             // block size 416
                               .Bytes({1, 0})                   // frames per block
                               .Bytes({0, 0})                   // codec delay
                               .Text("data")
                               .Bytes({0x40, 0x42, 0x0F, 0x00}); // 1000000
    EXPECT_EQ(Bytes(header.bytes.begin(), header.bytes.end()), expected);
    EXPECT_EQ(DetectRiffHeader(expected), 0) << "58 bytes are below the recogniser's minimum";
}

TEST(RiffHeaderBuild, DerivedFields) {
    struct Case {
        const char* name;
        bool stereo;
        std::int64_t durationMs, frames, dataSize;
        std::uint16_t channels, blockSize;
        std::uint32_t avgBytesPerSec;
    } cases[] = {
        {"mono", false, 1000, 10, 4000, 1, 400, 4000},
        {"block size kept to 16 bits", true, 1000, 1, 70000, 2, 70000 & 0xFFFF, 70000},
        // A track of no frames (a CUE index at the very end) must not divide by zero.
        {"no frames", true, 0, 0, 128, 2, 0, 0},
        {"largest data", true, 1, 1, 0xFFFFFFFFLL - 50, 2, 0xFFCD, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RiffHeader h = BuildRiffHeader(c.stereo, 32000, c.durationMs, c.frames, c.dataSize);
        const auto u16 = [&](std::size_t o) {
            return std::uint16_t(h.bytes[o] | h.bytes[o + 1] << 8);
        };
        const auto u32 = [&](std::size_t o) { return std::uint32_t(u16(o) | u16(o + 2) << 16); };
        EXPECT_EQ(u16(RiffHeader::kChannelsOffset), c.channels);
        EXPECT_EQ(u16(RiffHeader::kBlockSizeOffset), c.blockSize);
        EXPECT_EQ(u32(RiffHeader::kAvgBytesPerSecOffset), c.avgBytesPerSec);
        EXPECT_EQ(u32(RiffHeader::kSamplesPerSecOffset), 32000u);
        EXPECT_EQ(u32(RiffHeader::kRiffSizeOffset), std::uint32_t(c.dataSize + 50));
        EXPECT_EQ(u32(RiffHeader::kDataSizeOffset), std::uint32_t(c.dataSize));
    }
}

TEST(RiffHeaderBuild, RefusesWhatItCannotDescribe) {
    EXPECT_THROW(BuildRiffHeader(true, 0, 1000, 10, 4000), VelmoraError); // assertion
    EXPECT_THROW(BuildRiffHeader(true, 44100, 1000, 10, -1), VelmoraError);
    EXPECT_THROW(BuildRiffHeader(true, 44100, 1000, 10, 0xFFFFFFFFLL - 49), VelmoraError);
    EXPECT_THROW(BuildRiffHeader(true, 44100, 1000, 10, std::int64_t{1} << 40), VelmoraError);
}

TEST(RiffDetect, RecognisesOnlyFmtFollowedByData) {
    const auto wave = [](std::uint32_t fmtSize, std::size_t fmtBytes, std::string_view next,
                         std::size_t after) {
        return ByteWriter()
            .Text("RIFF")
            .Le32(12345) // chunk size: not read
            .Text("WAVE")
            .Text("fmt ")
            .Le32(fmtSize) // format chunk size
            .Fill(fmtBytes, 0x11)
            .Text(next) // the next chunk's id
            .Fill(after, 0x22)
            .bytes();
    };
    const RiffHeader built = BuildRiffHeader(true, 44100, 26, 1, 417);
    Bytes wrapped(RiffHeader::kSize + 12, 'x');
    std::copy(built.bytes.begin(), built.bytes.end(), wrapped.begin());
    // "data" in the RIFF size field: a format size that wrapped in 32 bits would point at it.
    Bytes wrapping = wave(0xFFFFFFF0, 0, "data", 100);
    wrapping[4] = 'd', wrapping[5] = 'a', wrapping[6] = 't', wrapping[7] = 'a';
    struct Case {
        const char* name;
        Bytes bytes;
        std::int64_t offset;
    } cases[] = {
        {"built header", wrapped, 58},
        {"70 bytes, format of 30", wave(30, 30, "data", 16), 58},
        {"69 bytes", wave(30, 30, "data", 15), 0},
        {"format of 16", wave(16, 16, "data", 40), 44},
        {"fact chunk in between", wave(30, 30, "fact", 40), 0},
        {"format size 0xFFFFFFF0", wrapping, 0},
        {"format size 0xFFFFFFFF", wave(0xFFFFFFFF, 30, "data", 60), 0},
        {"data size field is the last byte", wave(50, 50, "data", 4), 78},
        {"data size field cut", wave(50, 50, "data", 3), 0},
        {"RIFX",
         [&] {
             Bytes b = wave(30, 30, "data", 16);
             b[3] = 'X';
             return b;
         }(),
         0},
        {"no WAVE",
         [&] {
             Bytes b = wave(30, 30, "data", 16);
             b[8] = 'w';
             return b;
         }(),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DetectRiffHeader(c.bytes), c.offset);
    }
}

TEST(RiffOutputIsWav, SettingLayerAndSaveAsType) {
    struct Case {
        bool saveWav;
        std::uint8_t layer;
        std::optional<bool> saveAsType;
        bool wav;
    } cases[] = {
        {false, kLayer3, std::nullopt, false}, {true, kLayer3, std::nullopt, true},
        {true, kLayer2, std::nullopt, false},  {true, kLayer1, std::nullopt, false},
        {false, kLayer2, true, true},          {true, kLayer3, false, false},
        {false, kLayer3, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.saveWav << " layer " << int(c.layer));
        Settings s;
        s.CheckBoxSaveWAV = c.saveWav;
        EXPECT_EQ(OutputIsWav(s, c.layer, c.saveAsType), c.wav);
    }
}

// ffprobe reads our header in front of lame's frames as MPEG Layer-3 in a WAV container.
TEST(RiffHeaderBuild, PeerReadsTheWrappedStream) {
    using namespace velmora::test;
    if (!HaveProgram("lame") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "lame or ffprobe missing";
    TempDir dir;
    PcmSpec spec;
    spec.sampleRate = 48000;
    spec.channels = 1;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, spec, 3.0, 440.0, 8000);
    EncodeWithLame(pcm, spec, "-b 96", dir.File("tone.mp3"));
    const Bytes audio = ReadFile(dir.File("tone.mp3"));

    MpegHeader first;
    ASSERT_TRUE(DecodeHeader(first, HeaderWordAt(audio.data())));
    std::int64_t frames = 0;
    for (std::size_t at = 0; at + 4 <= audio.size(); ++frames) {
        MpegHeader h;
        ASSERT_TRUE(DecodeHeader(h, HeaderWordAt(audio.data() + at)));
        at += std::size_t(h.frameLength);
    }
    const RiffHeader header =
        BuildRiffHeader(first.channelMode != kMono, first.sampleRate,
                        FramesToMilliseconds(first, frames), frames, std::int64_t(audio.size()));
    Bytes file(RiffHeader::kSize + audio.size());
    std::copy(header.bytes.begin(), header.bytes.end(), file.begin());
    std::copy(audio.begin(), audio.end(), file.begin() + RiffHeader::kSize);
    WriteFile(dir.File("tone.wav"), file);
    EXPECT_EQ(DetectRiffHeader(file), 58);

    std::string out;
    ASSERT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels "
                         "-show_entries format=format_name -of default=nw=1 '" +
                             dir.File("tone.wav") + "'",
                         &out),
              0);
    EXPECT_NE(out.find("codec_name=mp3"), std::string::npos) << out;
    EXPECT_NE(out.find("sample_rate=48000"), std::string::npos) << out;
    EXPECT_NE(out.find("channels=1"), std::string::npos) << out;
    EXPECT_NE(out.find("format_name=wav"), std::string::npos) << out;
}
