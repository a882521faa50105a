#include "UnitR128.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velmora {

namespace {

using V2 = double __attribute__((vector_size(16)));
using V8 = float __attribute__((vector_size(32)));

constexpr int kTaps = 12;                   // per phase of the 49-tap, 4-phase interpolator
constexpr std::size_t kHistory = kTaps - 1; // input samples a phase's output still reaches
constexpr std::size_t kPeakBlock = 256;     // outputs whose bound is tested at once
constexpr double kAbsoluteGateLufs = -70.0;

// The interpolator's phases 1 to 3 (phase 0 is the sample itself): a Hann-windowed sinc of 49
// taps for 4 times the rate, as libebur128 builds it, so that both measure the same true peak.
struct Interpolator {
    float c[3][kTaps] = {};
    float l1 = 1; // the largest sum of magnitudes of a phase: no output exceeds the input's
                  // peak times this
    Interpolator() {
        constexpr int taps = 49, factor = 4;
        float sums[3] = {};
        for (int j = 0; j < taps; ++j) {
            const double m = j - (taps - 1) / 2.0;
            const double x = m * std::numbers::pi / factor;
            double v = std::fabs(m) > 1e-6 ? std::sin(x) / x : 1.0;
            v *= 0.5 * (1 - std::cos(2 * std::numbers::pi * j / (taps - 1)));
            const int phase = j % factor;
            if (phase == 0 || std::fabs(v) <= 1e-6)
                continue;
            c[phase - 1][j / factor] = static_cast<float>(v);
            sums[phase - 1] += std::fabs(static_cast<float>(v));
        }
        for (const float s : sums)
            l1 = std::max(l1, s * 1.0001f); // room for the float sums' rounding
    }
};

const Interpolator& TheInterpolator() {
    static const Interpolator interpolator;
    return interpolator;
}

float AbsMax(const float* x, std::size_t n) {
    float m = 0;
    for (std::size_t i = 0; i < n; ++i)
        m = std::max(m, std::fabs(x[i]));
    return m;
}

// The largest magnitude of phases 1 to 3 at outputs x[0 … n-1] (each reaching back kHistory
// samples before it), eight outputs at a time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
float OversampledPeak(const float* x, std::size_t n, const Interpolator& f) {
    V8 peak{};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        V8 y1{}, y2{}, y3{};
        for (int k = 0; k < kTaps; ++k) {
            V8 v;
            std::memcpy(&v, x + i - k, sizeof v);
            y1 += f.c[0][k] * v;
            y2 += f.c[1][k] * v;
            y3 += f.c[2][k] * v;
        }
        y1 = y1 < 0 ? -y1 : y1;
        y2 = y2 < 0 ? -y2 : y2;
        y3 = y3 < 0 ? -y3 : y3;
        y1 = y1 > y2 ? y1 : y2;
        y1 = y1 > y3 ? y1 : y3;
        peak = peak > y1 ? peak : y1;
    }
    float m = 0;
    for (int lane = 0; lane < 8; ++lane)
        m = std::max(m, peak[lane]);
    for (; i < n; ++i)
        for (int p = 0; p < 3; ++p) {
            float y = 0;
            for (int k = 0; k < kTaps; ++k)
                y += f.c[p][k] * x[i - k];
            m = std::max(m, std::fabs(y));
        }
    return m;
}

double EnergyOf(double lufs) {
    return std::pow(10.0, (lufs + 0.691) / 10.0);
}
double LufsOf(double energy) {
    return -0.691 + 10.0 * std::log10(energy);
}

// Sliding means of `width` 100 ms energies, every 100 ms, within each part.
std::vector<double> SlidingMeans(std::span<const std::vector<double>* const> parts,
                                 std::size_t width) {
    std::vector<double> blocks;
    for (const std::vector<double>* part : parts)
        for (std::size_t end = width; end <= part->size(); ++end) {
            double sum = 0;
            for (std::size_t i = end - width; i < end; ++i)
                sum += (*part)[i];
            blocks.push_back(sum / static_cast<double>(width));
        }
    return blocks;
}

} // namespace

R128Meter::R128Meter(int sampleRate, int channels, float scale)
    : m_channels(std::clamp(channels, 1, 2)), m_scale(scale),
      m_framesPer100ms(static_cast<std::size_t>((sampleRate + 5) / 10)) {
    // The K-weighting: a high shelf of +4 dB above about 1.7 kHz, then a high pass at 38 Hz,
    // their analogue designs mapped to the rate.
    const double rate = sampleRate;
    double k = std::tan(std::numbers::pi * 1681.974450955533 / rate);
    const double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    m_shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
               (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
               (1.0 - k / q + k * k) / a0};
    k = std::tan(std::numbers::pi * 38.13547087602444 / rate);
    const double qh = 0.5003270373238773;
    a0 = 1.0 + k / qh + k * k;
    m_highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / qh + k * k) / a0};
    for (auto& s : m_samples)
        s.assign(kHistory, 0.0f);
}

void R128Meter::Add(std::span<const std::int16_t> pcm) {
    const std::size_t frames = pcm.size() / static_cast<std::size_t>(m_channels);
    if (frames == 0)
        return;
    for (int c = 0; c < m_channels; ++c) {
        std::vector<float>& s = m_samples[static_cast<std::size_t>(c)];
        s.resize(kHistory + frames);
        for (std::size_t i = 0; i < frames; ++i)
            s[kHistory + i] =
                pcm[i * static_cast<std::size_t>(m_channels) + static_cast<std::size_t>(c)] *
                m_scale;
    }
    Filter(frames);
    MeasurePeaks(frames);
    for (int c = 0; c < m_channels; ++c) {
        std::vector<float>& s = m_samples[static_cast<std::size_t>(c)];
        std::copy(s.end() - kHistory, s.end(), s.begin());
    }
}

void R128Meter::Filter(std::size_t frames) {
    const float* left = m_samples[0].data() + kHistory;
    const float* right = m_channels == 2 ? m_samples[1].data() + kHistory : nullptr;
    const Biquad a = m_shelf;
    const Biquad h = m_highPass;
    V2 x1{m_x1[0], m_x1[1]}, x2{m_x2[0], m_x2[1]}, s1{m_s1[0], m_s1[1]}, s2{m_s2[0], m_s2[1]},
        y1{m_y1[0], m_y1[1]}, y2{m_y2[0], m_y2[1]}, sum{m_sum[0], m_sum[1]};
    std::size_t i = 0;
    while (i < frames) {
        const std::size_t end = std::min(frames, i + (m_framesPer100ms - m_inBlock));
        m_inBlock += end - i;
        for (; i < end; ++i) {
            const V2 x{left[i], right ? right[i] : 0.0f};
            // The recursive terms last, so that each stage's chain is one multiply and one add.
            const V2 s = (a.b0 * x + a.b1 * x1 + a.b2 * x2 - a.a2 * s2) - a.a1 * s1;
            const V2 y = (h.b0 * s + h.b1 * s1 + h.b2 * s2 - h.a2 * y2) - h.a1 * y1;
            x2 = x1, x1 = x, s2 = s1, s1 = s, y2 = y1, y1 = y;
            sum += y * y;
        }
        if (m_inBlock == m_framesPer100ms) {
            m_energies.push_back((sum[0] + sum[1]) / static_cast<double>(m_framesPer100ms));
            sum = V2{};
            m_inBlock = 0;
        }
    }
    // States decaying in silence would reach subnormal numbers, which are slow.
    const auto keep = [](V2 v, std::array<double, 2>& to) {
        for (int c = 0; c < 2; ++c)
            to[static_cast<std::size_t>(c)] = std::fabs(v[c]) < 1e-20 ? 0.0 : v[c];
    };
    keep(x1, m_x1), keep(x2, m_x2), keep(s1, m_s1), keep(s2, m_s2), keep(y1, m_y1), keep(y2, m_y2);
    m_sum = {sum[0], sum[1]};
}

void R128Meter::MeasurePeaks(std::size_t frames) {
    const Interpolator& f = TheInterpolator();
    for (int c = 0; c < m_channels; ++c) {
        const float* x = m_samples[static_cast<std::size_t>(c)].data() + kHistory;
        for (std::size_t i = 0; i < frames; i += kPeakBlock) {
            const std::size_t n = std::min(kPeakBlock, frames - i);
            // No output of this block can pass the peak found so far: nothing to compute.
            const float input = AbsMax(x + i - kHistory, n + kHistory);
            if (input * f.l1 <= m_truePeak)
                continue;
            m_truePeak = std::max({m_truePeak, AbsMax(x + i, n), OversampledPeak(x + i, n, f)});
        }
    }
}

std::vector<double> GatingBlocks(std::span<const std::vector<double>* const> parts) {
    return SlidingMeans(parts, 4);
}

std::vector<double> ShortTermBlocks(std::span<const std::vector<double>* const> parts) {
    return SlidingMeans(parts, 30);
}

double IntegratedLoudness(std::span<const double> blocks) {
    const double absolute = EnergyOf(kAbsoluteGateLufs);
    double sum = 0;
    std::size_t count = 0;
    for (const double e : blocks)
        if (e >= absolute)
            sum += e, ++count;
    if (count == 0)
        return -HUGE_VAL;
    const double relative = sum / static_cast<double>(count) * 0.1; // -10 LU
    sum = 0, count = 0;
    for (const double e : blocks)
        if (e >= absolute && e >= relative)
            sum += e, ++count;
    return count == 0 ? -HUGE_VAL : LufsOf(sum / static_cast<double>(count));
}

double LoudnessRange(std::span<const double> shortTerm) {
    const double absolute = EnergyOf(kAbsoluteGateLufs);
    std::vector<double> gated;
    double sum = 0;
    for (const double e : shortTerm)
        if (e >= absolute)
            gated.push_back(e), sum += e;
    if (gated.empty())
        return 0;
    const double relative = sum / static_cast<double>(gated.size()) * 0.01; // -20 LU
    std::erase_if(gated, [&](double e) { return e < relative; });
    if (gated.empty())
        return 0;
    std::sort(gated.begin(), gated.end());
    const auto at = [&](double p) {
        return gated[static_cast<std::size_t>(static_cast<double>(gated.size() - 1) * p + 0.5)];
    };
    return LufsOf(at(0.95)) - LufsOf(at(0.10));
}

} // namespace velmora
