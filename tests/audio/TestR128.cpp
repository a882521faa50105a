// Our BS.1770 measurement held against libebur128 on the same PCM, and the thread that feeds it.
#include "Fixtures.h"
#include "UnitAnalyserThread.h"
#include "UnitLoudness.h"
#include "VelmoraError.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace velmora;
using namespace velmora::test;

namespace {

// A tone at a quarter of the rate, 45 degrees off its samples: every sample is 3 dB under the
// wave's peak, which falls between them.
void AppendInterSamplePeaks(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds,
                            std::int16_t sample) {
    const auto frames = static_cast<std::size_t>(seconds * spec.sampleRate);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < spec.channels; ++c)
            pcm.push_back(static_cast<std::int16_t>(i % 4 < 2 ? sample : -sample));
}

LoudnessResult Libebur128(const std::vector<std::int16_t>& pcm, const PcmSpec& spec) {
    ebur128_state* s = ebur128_init(static_cast<unsigned>(spec.channels),
                                    static_cast<unsigned long>(spec.sampleRate),
                                    EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(s, pcm.data(), pcm.size() / static_cast<std::size_t>(spec.channels));
    LoudnessResult r;
    ebur128_loudness_global(s, &r.integratedLufs);
    ebur128_loudness_range(s, &r.rangeLu);
    double peak = 0;
    for (int c = 0; c < spec.channels; ++c) {
        double p = 0;
        ebur128_true_peak(s, static_cast<unsigned>(c), &p);
        peak = std::max(peak, p);
    }
    r.truePeakDbtp = 20 * std::log10(peak);
    ebur128_destroy(&s);
    return r;
}

// Fed in pieces of uneven sizes, so that every boundary of the oversampler's history and of the
// 100 ms blocks is crossed somewhere.
LoudnessResult Ours(const std::vector<std::int16_t>& pcm, const PcmSpec& spec) {
    LoudnessAnalyser analyser(spec.sampleRate, spec.channels);
    const std::size_t pieces[] = {1, 7, 1152, 5000, 576, 13};
    std::size_t at = 0;
    for (std::size_t i = 0; at < pcm.size(); ++i) {
        const std::size_t n =
            std::min(pieces[i % std::size(pieces)] * static_cast<std::size_t>(spec.channels),
                     pcm.size() - at);
        analyser.Add({pcm.data() + at, n});
        at += n;
    }
    return analyser.Result();
}

TEST(R128, AgreesWithLibebur128OnTheSamePcm) {
    struct Case {
        const char* name;
        PcmSpec spec;
        void (*make)(std::vector<std::int16_t>&, const PcmSpec&);
    } cases[] = {
        {"tone", {44100, 2}, [](auto& p, const PcmSpec& s) { AppendTone(p, s, 6, 997, 12000); }},
        {"noise", {48000, 2}, [](auto& p, const PcmSpec& s) { AppendNoise(p, s, 6, 20000, 7); }},
        {"inter-sample peaks",
         {44100, 2},
         [](auto& p, const PcmSpec& s) { AppendInterSamplePeaks(p, s, 3, 30000); }},
        // Found although louder samples came before: the skipped blocks must not hide it.
        {"inter-sample peaks after a louder tone",
         {44100, 2},
         [](auto& p, const PcmSpec& s) {
             AppendTone(p, s, 2, 440, 24000);
             AppendSilence(p, s, 1);
             AppendInterSamplePeaks(p, s, 0.01, 20000);
             AppendNoise(p, s, 2, 3000, 4);
         }},
        {"mono, 22.05 kHz",
         {22050, 1},
         [](auto& p, const PcmSpec& s) {
             AppendTone(p, s, 3, 300, 9000);
             AppendNoise(p, s, 3, 4000, 5);
         }},
        {"quiet passages under the relative gate",
         {32000, 2},
         [](auto& p, const PcmSpec& s) {
             AppendTone(p, s, 4, 1000, 16000);
             AppendTone(p, s, 4, 1000, 300);
             AppendSilence(p, s, 2);
             AppendNoise(p, s, 3, 8000, 8);
         }},
        {"a lone click",
         {44100, 2},
         [](auto& p, const PcmSpec& s) {
             AppendSilence(p, s, 1);
             p.push_back(31000), p.push_back(-31000);
             AppendTone(p, s, 1, 50, 200);
         }},
    };
    for (const Case& c : cases) {
        std::vector<std::int16_t> pcm;
        c.make(pcm, c.spec);
        const LoudnessResult ours = Ours(pcm, c.spec);
        const LoudnessResult lib = Libebur128(pcm, c.spec);
        EXPECT_NEAR(ours.integratedLufs, lib.integratedLufs, 0.01) << c.name;
        EXPECT_NEAR(ours.truePeakDbtp, lib.truePeakDbtp, 0.1) << c.name;
        // The loudness range is held against ffmpeg (TestLoudness): libebur128 takes a short-term
        // block only every second, ffmpeg and we every 100 ms.
    }
}

// Records what it is given, and fails at a chosen frame.
class Recorder final : public IVolumeAnalyser {
public:
    explicit Recorder(std::size_t failAt = SIZE_MAX) : m_failAt(failAt) {}
    void Add(std::span<const std::int16_t> pcm) override {
        if (sizes.size() == m_failAt)
            throw VelmoraError("analyser failed");
        sizes.push_back(pcm.size());
        sum = std::accumulate(pcm.begin(), pcm.end(), sum * 31);
    }
    std::vector<std::size_t> sizes;
    std::int64_t sum = 0;

private:
    std::size_t m_failAt;
};

TEST(R128, TheAnalyserThreadGivesEveryFrameInOrderAndReportsFailures) {
    std::vector<std::int16_t> pcm(2000000);
    std::iota(pcm.begin(), pcm.end(), std::int16_t{0});
    Recorder direct, a, b, failing(500);
    IVolumeAnalyser* analysers[] = {&a, &b};
    IVolumeAnalyser* failingOne[] = {&failing};
    AnalyserThread thread(analysers), failingThread(failingOne);
    {
        AnalyserThread dropped(analysers); // left without Finish: gives up at once
        dropped.Add(pcm);
    }
    a = Recorder(), b = Recorder();
    for (std::size_t i = 0, n = 0; i + n <= pcm.size(); i += n, n = (n * 7 + 3) % 2401) {
        const std::span<const std::int16_t> frame(pcm.data() + i, n);
        direct.Add(frame);
        thread.Add(frame);
        failingThread.Add(frame);
    }
    thread.Finish();
    EXPECT_EQ(a.sizes, direct.sizes);
    EXPECT_EQ(a.sum, direct.sum);
    EXPECT_EQ(b.sum, direct.sum);
    EXPECT_THROW(failingThread.Finish(), VelmoraError);
    EXPECT_EQ(failing.sizes.size(), 500u);
}

} // namespace
