#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// ITU-R BS.1770 measurement of interleaved PCM (one or two channels): the K-weighted mean
// square of every 100 ms, from which the 400 ms gating blocks and the 3 s short-term blocks are
// summed, and the 4x oversampled true peak. Samples are scaled by `scale` (1/32768 makes 16-bit
// full scale 1.0).
class R128Meter {
public:
    R128Meter(int sampleRate, int channels, float scale);

    void Add(std::span<const std::int16_t> pcm);

    // The channel-summed mean square of each whole 100 ms measured so far.
    const std::vector<double>& Energies() const { return m_energies; }
    // The largest magnitude of the signal oversampled 4 times (full scale 1.0), sample peaks
    // included.
    float TruePeak() const { return m_truePeak; }

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };
    void Filter(std::size_t frames);
    void MeasurePeaks(std::size_t frames);

    int m_channels;
    float m_scale;
    std::size_t m_framesPer100ms;
    Biquad m_shelf{}, m_highPass{};
    // Filter states, both channels side by side: x[n-1], x[n-2], then each stage's y[n-1], y[n-2].
    std::array<double, 2> m_x1{}, m_x2{}, m_s1{}, m_s2{}, m_y1{}, m_y2{};
    std::array<double, 2> m_sum{}; // the current 100 ms's sum of squares per channel
    std::size_t m_inBlock = 0;     // frames in the current 100 ms
    std::vector<double> m_energies;
    // The oversampler's input per channel: the last kHistory samples, then the new ones.
    std::array<std::vector<float>, 2> m_samples;
    float m_truePeak = 0;
};

// The 400 ms gating blocks (every 100 ms) of each programme part, joined: a block never spans
// two parts.
std::vector<double> GatingBlocks(std::span<const std::vector<double>* const> parts);
// The 3 s short-term blocks, every 100 ms, likewise.
std::vector<double> ShortTermBlocks(std::span<const std::vector<double>* const> parts);

// The integrated loudness (LUFS) of gating-block energies: absolute gate -70 LUFS, relative gate
// -10 LU. -inf when no block passes.
double IntegratedLoudness(std::span<const double> blocks);
// The loudness range (LU) of short-term energies: gates -70 LUFS and -20 LU, 10th to 95th
// percentile. 0 with no block.
double LoudnessRange(std::span<const double> shortTerm);

} // namespace velmora
