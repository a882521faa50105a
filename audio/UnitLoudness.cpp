#include "UnitLoudness.h"

#include "UnitMP3.h"
#include "UnitR128.h"
#include "UnitVolume.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

std::string Fixed(double value, const char* unit) {
    if (!std::isfinite(value))
        return std::string(value < 0 ? "-inf " : "inf ") + unit;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

} // namespace

struct LoudnessAnalyser::State {
    R128Meter meter;
};

LoudnessAnalyser::LoudnessAnalyser(int sampleRate, int channels, double pcmScale) {
    if (sampleRate <= 0 || channels < 1 || channels > 2)
        throw VelmoraError("The loudness analysis cannot start (" + std::to_string(channels) +
                           " channels at " + std::to_string(sampleRate) + " Hz)");
    m_state = std::make_unique<State>(
        State{R128Meter(sampleRate, channels, static_cast<float>(pcmScale / 32768.0))});
}

LoudnessAnalyser LoudnessAnalyser::ForAnalysis(const MpegHeader& first) {
    return LoudnessAnalyser(static_cast<int>(first.sampleRate), first.channelMode == kMono ? 1 : 2,
                            1 / kAnalysisPcmScale);
}

LoudnessAnalyser::~LoudnessAnalyser() = default;
LoudnessAnalyser::LoudnessAnalyser(LoudnessAnalyser&&) noexcept = default;
LoudnessAnalyser& LoudnessAnalyser::operator=(LoudnessAnalyser&&) noexcept = default;

void LoudnessAnalyser::Add(std::span<const std::int16_t> pcm) {
    m_state->meter.Add(pcm);
}

LoudnessResult LoudnessAnalyser::Result() const {
    const LoudnessAnalyser* self = this;
    return Joined({&self, 1});
}

LoudnessResult LoudnessAnalyser::Joined(std::span<const LoudnessAnalyser* const> parts) {
    LoudnessResult r;
    std::vector<const std::vector<double>*> energies;
    float peak = 0;
    for (const LoudnessAnalyser* part : parts) {
        energies.push_back(&part->m_state->meter.Energies());
        peak = std::max(peak, part->m_state->meter.TruePeak());
    }
    r.integratedLufs = IntegratedLoudness(GatingBlocks(energies));
    r.rangeLu = LoudnessRange(ShortTermBlocks(energies));
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
