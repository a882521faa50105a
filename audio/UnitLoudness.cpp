#include "UnitLoudness.h"

#include "VelmoraError.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

constexpr int kModes = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;

std::string Fixed(double value, const char* unit) {
    if (!std::isfinite(value))
        return std::string(value < 0 ? "-inf " : "inf ") + unit;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

} // namespace

struct LoudnessAnalyser::State {
    explicit State(ebur128_state* s) : state(s) {}
    ~State() { ebur128_destroy(&state); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ebur128_state* state;
};

LoudnessAnalyser::LoudnessAnalyser(int sampleRate, int channels, double pcmScale)
    : m_channels(channels), m_pcmScale(pcmScale) {
    if (ebur128_state* s = ebur128_init(static_cast<unsigned>(channels),
                                        static_cast<unsigned long>(sampleRate), kModes))
        m_state = std::make_unique<State>(s);
    else
        throw VelmoraError("The loudness analysis cannot start (" + std::to_string(channels) +
                           " channels at " + std::to_string(sampleRate) + " Hz)");
}

LoudnessAnalyser::~LoudnessAnalyser() = default;
LoudnessAnalyser::LoudnessAnalyser(LoudnessAnalyser&&) noexcept = default;
LoudnessAnalyser& LoudnessAnalyser::operator=(LoudnessAnalyser&&) noexcept = default;

void LoudnessAnalyser::Add(std::span<const std::int16_t> pcm) {
    const std::size_t frames = pcm.size() / static_cast<std::size_t>(m_channels);
    if (frames > 0)
        ebur128_add_frames_short(m_state->state, pcm.data(), frames);
}

LoudnessResult LoudnessAnalyser::Result() const {
    const LoudnessAnalyser* self = this;
    return Joined({&self, 1});
}

LoudnessResult LoudnessAnalyser::Joined(std::span<const LoudnessAnalyser* const> parts) {
    LoudnessResult r;
    if (parts.empty())
        return r;
    std::vector<ebur128_state*> states;
    for (const LoudnessAnalyser* part : parts)
        states.push_back(part->m_state->state);
    const double scaleDb = 20.0 * std::log10(parts.front()->m_pcmScale);
    double lufs = 0.0;
    if (ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) == EBUR128_SUCCESS &&
        std::isfinite(lufs) && lufs > -HUGE_VAL)
        r.integratedLufs = lufs + scaleDb;
    double range = 0.0;
    if (ebur128_loudness_range_multiple(states.data(), states.size(), &range) == EBUR128_SUCCESS &&
        std::isfinite(range))
        r.rangeLu = range;
    double peak = 0.0;
    for (const LoudnessAnalyser* part : parts)
        for (int c = 0; c < part->m_channels; ++c) {
            double p = 0.0;
            if (ebur128_true_peak(part->m_state->state, static_cast<unsigned>(c), &p) ==
                EBUR128_SUCCESS)
                peak = std::max(peak, p * part->m_pcmScale);
        }
    if (peak > 0)
        r.truePeakDbtp = 20.0 * std::log10(peak);
    return r;
}

double GainStepDb() {
    return 5.0 * std::log10(2.0);
}

LoudnessGain ComputeLoudnessGain(const LoudnessResult& measured, double targetLufs,
                                 double ceilingDbtp, int minSteps, int maxSteps) {
    LoudnessGain g;
    g.before = measured;
    if (!measured.Measured()) {
        g.limit = LoudnessLimit::NotMeasured;
        return g;
    }
    const double step = GainStepDb();
    int steps = static_cast<int>(std::lround((targetLufs - measured.integratedLufs) / step));
    if (steps > maxSteps || steps < minSteps) {
        steps = std::clamp(steps, minSteps, maxSteps);
        g.limit = LoudnessLimit::Range;
    }
    if (std::isfinite(measured.truePeakDbtp)) {
        // The most steps that keep the true peak at or under the ceiling.
        const int room =
            static_cast<int>(std::floor((ceilingDbtp - measured.truePeakDbtp) / step + 1e-9));
        if (steps > room) {
            steps = std::max(room, minSteps);
            g.limit = LoudnessLimit::TruePeak;
        }
    }
    g.steps = steps;
    g.afterLufs = measured.integratedLufs + steps * step;
    g.afterTruePeakDbtp = measured.truePeakDbtp + steps * step;
    return g;
}

const char* LoudnessLimitText(LoudnessLimit limit) {
    switch (limit) {
    case LoudnessLimit::None:
        return "target";
    case LoudnessLimit::TruePeak:
        return "true peak ceiling";
    case LoudnessLimit::Range:
        return "step range";
    case LoudnessLimit::NotMeasured:
        return "not measured";
    }
    return "";
}

std::string LufsText(double lufs) {
    return Fixed(lufs, "LUFS");
}
std::string DbtpText(double dbtp) {
    return Fixed(dbtp, "dBTP");
}

} // namespace velmora
