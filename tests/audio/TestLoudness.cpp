// The R128 analyser on the volume analysis's one decode, held against ffmpeg's ebur128 filter.
#include "Fixtures.h"
#include "FrameList.h"
#include "Progress.h"
#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitVolume.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Measured {
    LoudnessResult loudness;
    VolumeAnalysis volume;
};

Measured Measure(const std::string& path, const PcmSpec& spec, bool levels = true) {
    StreamInfo info = ListFrames(ReadFile(path));
    LoudnessAnalyser analyser(spec.sampleRate, spec.channels, 1 / kAnalysisPcmScale);
    IVolumeAnalyser* analysers[] = {&analyser};
    NullProgress progress;
    Measured m;
    m.volume = AnalyseVolume(path, info, 0, info.frameCount,
                             levels ? VolumeScope::Levels : VolumeScope::EnergiesOnly,
                             MessageTable::English(), progress, analysers);
    m.loudness = analyser.Result();
    return m;
}

// ffmpeg's summary: integrated loudness and true peak.
struct Oracle {
    double lufs = 0, range = 0, peak = 0;
};
Oracle Ffmpeg(const std::string& path) {
    std::string out;
    EXPECT_EQ(RunCommand("ffmpeg -nostats -hide_banner -i '" + path +
                             "' -af ebur128=peak=true -f null - 2>&1",
                         &out),
              0);
    const std::size_t summary = out.rfind("Summary:");
    Oracle o;
    if (summary == std::string::npos) {
        ADD_FAILURE() << out;
        return o;
    }
    const std::size_t i = out.find("I:", summary);
    const std::size_t p = out.find("Peak:", summary);
    const std::size_t r = out.find("LRA:", summary);
    o.lufs = std::atof(out.c_str() + i + 2);
    o.range = std::atof(out.c_str() + r + 4);
    o.peak = std::atof(out.c_str() + p + 5);
    return o;
}

TEST(Loudness, WithinATenthOfFfmpegOnEncodedMaterial) {
    if (!HaveProgram("lame") || !HaveProgram("ffmpeg"))
        GTEST_SKIP() << "lame or ffmpeg missing";
    struct Case {
        const char* name;
        PcmSpec spec;
        const char* lame;
        void (*make)(std::vector<std::int16_t>&, const PcmSpec&);
    } cases[] = {
        {"tone",
         {44100, 2},
         "-b 192",
         [](auto& pcm, const PcmSpec& s) { AppendTone(pcm, s, 6, 997, 12000); }},
        {"loud tone",
         {44100, 2},
         "-b 320",
         [](auto& pcm, const PcmSpec& s) { AppendTone(pcm, s, 5, 440, 30000); }},
        {"noise",
         {48000, 2},
         "-V 2",
         [](auto& pcm, const PcmSpec& s) { AppendNoise(pcm, s, 6, 8000, 11); }},
        {"silence-heavy",
         {44100, 2},
         "-b 128",
         [](auto& pcm, const PcmSpec& s) {
             AppendSilence(pcm, s, 4);
             AppendTone(pcm, s, 2, 1000, 6000);
             AppendSilence(pcm, s, 5);
             AppendNoise(pcm, s, 1, 2000, 3);
         }},
        {"mono",
         {44100, 1},
         "-b 96",
         [](auto& pcm, const PcmSpec& s) {
             AppendTone(pcm, s, 3, 300, 9000);
             AppendNoise(pcm, s, 3, 4000, 5);
         }},
        {"MPEG-2",
         {22050, 2},
         "-b 64",
         [](auto& pcm, const PcmSpec& s) {
             AppendTone(pcm, s, 3, 500, 10000);
             AppendNoise(pcm, s, 3, 3000, 9);
         }},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::vector<std::int16_t> pcm;
        c.make(pcm, c.spec);
        const std::string path = dir.File(std::string(c.name) + ".mp3");
        EncodeWithLame(pcm, c.spec, c.lame, path);
        const Measured m = Measure(path, c.spec);
        const Oracle o = Ffmpeg(path);
        // ffmpeg prints one decimal: its own rounding adds up to 0.05.
        EXPECT_NEAR(m.loudness.integratedLufs, o.lufs, 0.1 + 0.05) << c.name;
        EXPECT_NEAR(m.loudness.truePeakDbtp, o.peak, 0.5) << c.name;
        // ffmpeg bins the short-term loudness at 0.1 LU: in programmes of a few seconds with one
        // change of level its percentiles land up to 0.7 LU away.
        EXPECT_NEAR(m.loudness.rangeLu, o.range, 0.7) << c.name;
    }
}

TEST(Loudness, SilenceAndShortFilesHaveNoLoudnessAndNoStep) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    TempDir dir;
    struct Case {
        const char* name;
        double toneSeconds;
    } cases[] = {{"digital silence", 0}, {"200 ms tone", 0.2}};
    for (const Case& c : cases) {
        const PcmSpec spec;
        std::vector<std::int16_t> pcm;
        if (c.toneSeconds > 0)
            AppendTone(pcm, spec, c.toneSeconds, 440, 10000);
        else
            AppendSilence(pcm, spec, 2);
        const std::string path = dir.File("short.mp3");
        EncodeWithLame(pcm, spec, "-b 128", path);
        const Measured m = Measure(path, spec, false);
        EXPECT_FALSE(m.loudness.Measured()) << c.name;
        const LoudnessGain g = ComputeLoudnessGain(m.loudness, -18, -1, -8, 8);
        EXPECT_EQ(g.steps, 0) << c.name;
        EXPECT_EQ(g.limit, LoudnessLimit::NotMeasured) << c.name;
    }
}

TEST(Loudness, TheStepComesNearestTheTargetUnderTheCeiling) {
    const double step = GainStepDb();
    struct Case {
        double lufs, truePeak, target, ceiling;
        int min, max;
        int steps;
        LoudnessLimit limit;
    } cases[] = {
        {-24.0, -10.0, -18.0, -1.0, -8, 8, 4, LoudnessLimit::None}, // 6.0 dB: 3.99 steps
        {-18.0, -3.0, -18.0, -1.0, -8, 8, 0, LoudnessLimit::None},
        {-10.0, -0.5, -18.0, -1.0, -8, 8, -5, LoudnessLimit::None},    // -8 dB: -5.3 steps
        {-24.0, -4.0, -18.0, -1.0, -8, 8, 1, LoudnessLimit::TruePeak}, // 3 dB of room: 1 step
        {-24.0, -4.0, -18.0, -4.0 + 2 * step, -8, 8, 2, LoudnessLimit::TruePeak}, // exactly 2
        {-40.0, -30.0, -14.0, -1.0, -8, 8, 8, LoudnessLimit::Range},
        {-40.0, -30.0, -14.0, -1.0, -20, 20, 17, LoudnessLimit::None},
        {-20.0, 0.5, -23.0, -1.0, -8, 8, -2, LoudnessLimit::None},
    };
    for (const Case& c : cases) {
        const LoudnessGain g =
            ComputeLoudnessGain({c.lufs, 3.0, c.truePeak}, c.target, c.ceiling, c.min, c.max);
        EXPECT_EQ(g.steps, c.steps) << c.lufs << " " << c.truePeak << " " << c.target;
        EXPECT_EQ(g.limit, c.limit) << c.lufs << " " << c.truePeak;
        EXPECT_NEAR(g.afterLufs, c.lufs + c.steps * step, 1e-9);
        EXPECT_LE(g.afterTruePeakDbtp, std::max(c.ceiling, c.truePeak + c.min * step) + 1e-9);
    }
}

} // namespace
