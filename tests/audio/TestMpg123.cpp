#include "Fixtures.h"
#include "FrameList.h"
#include "UnitGain.h"
#include "UnitMpg123.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <span>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Decoded {
    std::vector<std::int16_t> pcm;
    std::vector<std::size_t> perFrame;
    int refused = 0;
};

Decoded DecodeAll(const std::vector<std::uint8_t>& file, const StreamInfo& info, int gainSteps) {
    MpegFrameDecoder decoder(static_cast<std::int32_t>(info.firstHeader.sampleRate),
                             info.firstHeader.channelMode == kMono ? 1 : 2, "open failed",
                             SynthRoutines::Portable);
    Decoded d;
    for (std::int64_t i = 0; i < info.frameCount; ++i) {
        const FrameEntry& e = info.frames[i];
        std::vector<std::uint8_t> frame(file.begin() + e.offset,
                                        file.begin() + e.offset + e.length);
        if (gainSteps != 0)
            ApplyGain(frame.data() + e.headerSize, info.firstHeader, gainSteps);
        const FrameDecodeResult r = decoder.DecodeFrame(frame);
        EXPECT_TRUE(r.status == 0 || r.status == kDecodeRefused) << r.status;
        d.refused += r.status == kDecodeRefused;
        d.pcm.insert(d.pcm.end(), r.pcm.begin(), r.pcm.end());
        d.perFrame.push_back(r.pcm.size());
    }
    return d;
}

int Peak(const std::vector<std::int16_t>& pcm) {
    int peak = 0;
    for (int s : pcm)
        peak = std::max(peak, std::abs(s));
    return peak;
}

double Rms(const std::vector<std::int16_t>& pcm) {
    double sum = 0;
    for (double s : pcm)
        sum += s * s;
    return std::sqrt(sum / static_cast<double>(pcm.size()));
}

class EncodedTone : public testing::Test {
protected:
    std::vector<std::uint8_t> Encode(const PcmSpec& spec, int amplitude, const std::string& args) {
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, spec, 2.0, 1000.0, amplitude);
        const std::string path = m_dir.File("tone.mp3");
        EncodeWithLame(pcm, spec, args, path);
        return ReadFile(path);
    }
    TempDir m_dir;
};

} // namespace

TEST_F(EncodedTone, EveryFrameDecodesAtOnceAtTheSourceRateAndChannelCount) {
    const struct {
        PcmSpec spec;
        const char* args;
        std::size_t samplesPerFrame;
    } cases[] = {
        {{44100, 2}, "-b 128", 2304},
        {{44100, 1}, "-b 64", 1152},
        {{22050, 2}, "-b 64", 1152},
        {{8000, 1}, "-b 16", 576},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.spec.sampleRate << " Hz, " << c.spec.channels);
        const std::vector<std::uint8_t> file = Encode(c.spec, 10000, c.args);
        const StreamInfo info = ListFrames(file);
        ASSERT_GT(info.frameCount, 20);
        EXPECT_EQ(info.firstHeader.sampleRate, static_cast<std::uint32_t>(c.spec.sampleRate));
        const Decoded d = DecodeAll(file, info, 0);
        EXPECT_EQ(d.refused, 0);
        // No read-ahead: the first frame gives its samples on the call that feeds it.
        for (std::size_t n : d.perFrame)
            ASSERT_EQ(n, c.samplesPerFrame);
    }
}

TEST_F(EncodedTone, DecodedPeakMatchesTheEncodedLevelWithinOneStep) {
    for (int amplitude : {4000, 16384, 30000}) {
        SCOPED_TRACE(amplitude);
        const std::vector<std::uint8_t> file = Encode({44100, 2}, amplitude, "-b 192");
        const Decoded d = DecodeAll(file, ListFrames(file), 0);
        const double ratio = Peak(d.pcm) / static_cast<double>(amplitude);
        EXPECT_LT(std::abs(20 * std::log10(ratio)), 1.5);
    }
}

TEST_F(EncodedTone, EachGlobalGainStepIsOneAndAHalfDecibels) {
    const std::vector<std::uint8_t> file = Encode({44100, 2}, 3000, "-b 160");
    const StreamInfo info = ListFrames(file);
    const double base = Rms(DecodeAll(file, info, 0).pcm);
    for (int n : {-8, -3, 2, 4, 8}) {
        const double level = Rms(DecodeAll(file, info, n).pcm);
        EXPECT_NEAR(20 * std::log10(level / base), 1.5 * n, 0.05) << "steps " << n;
    }
}

TEST_F(EncodedTone, GarbageIsRefusedAndTheNextGoodFrameDecodesAgain) {
    const std::vector<std::uint8_t> file = Encode({44100, 2}, 10000, "-b 128");
    const StreamInfo info = ListFrames(file);
    MpegFrameDecoder decoder(44100, 2, "open failed");
    const auto frame = [&](std::int64_t i) {
        const FrameEntry& e = info.frames[i];
        return std::span<const std::uint8_t>(file.data() + e.offset, e.length);
    };
    EXPECT_EQ(decoder.DecodeFrame(frame(0)).status, 0);
    std::vector<std::uint8_t> garbage(417);
    std::mt19937 random(3);
    for (auto& b : garbage)
        b = static_cast<std::uint8_t>(random() & 0x7F); // never a sync byte
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(decoder.DecodeFrame(garbage).status, kDecodeRefused);
    // A frame of another sample rate than the stream's is refused as well.
    const std::vector<std::uint8_t> other = BuildFrame([] {
        FrameSpec s;
        s.sampleRateIndex = 1;
        return s;
    }());
    EXPECT_EQ(decoder.DecodeFrame(other).status, kDecodeRefused);
    for (std::int64_t i = 10; i < 14; ++i) {
        const FrameDecodeResult r = decoder.DecodeFrame(frame(i));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.pcm.size(), 2304u);
    }
}
