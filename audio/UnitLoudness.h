#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// One measurement fed by the volume analysis's decode: 16-bit interleaved PCM, frame by frame.
struct MpegHeader;

class IVolumeAnalyser {
public:
    virtual ~IVolumeAnalyser() = default;
    virtual void Add(std::span<const std::int16_t> pcm) = 0;
};

inline constexpr double kNoLoudness = -std::numeric_limits<double>::infinity();

// EBU R128 / ITU-R BS.1770 figures of a programme.
struct LoudnessResult {
    double integratedLufs = kNoLoudness; // -inf: silence, or shorter than one 400 ms block
    double rangeLu = 0.0;
    double truePeakDbtp = kNoLoudness;
    bool Measured() const { return integratedLufs > kNoLoudness; }
};

// Integrated loudness, loudness range and true peak (R128Meter). `pcmScale` undoes a level
// change made before decoding (the analysis decodes 12 dB lower: a scale of 4).
class LoudnessAnalyser final : public IVolumeAnalyser {
public:
    LoudnessAnalyser(int sampleRate, int channels, double pcmScale = 1.0);
    ~LoudnessAnalyser() override;
    LoudnessAnalyser(LoudnessAnalyser&&) noexcept;
    LoudnessAnalyser& operator=(LoudnessAnalyser&&) noexcept;

    void Add(std::span<const std::int16_t> pcm) override;
    LoudnessResult Result() const;

    // The files measured as one programme, in the order given (album mode).
    static LoudnessResult Joined(std::span<const LoudnessAnalyser* const> parts);
    // A meter of the volume analysis's decode of the stream that `first` begins: its rate, its
    // channels and its scale.
    static LoudnessAnalyser ForAnalysis(const MpegHeader& first);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// One global-gain step in dB: a factor 2^(1/4).
double GainStepDb();

enum class LoudnessLimit {
    None,        // the step closest to the target
    TruePeak,    // fewer steps, so that the true peak stays under the ceiling
    Range,       // the step range ends
    NotMeasured, // silence or too short: no step
};

struct LoudnessGain {
    int steps = 0;
    LoudnessLimit limit = LoudnessLimit::None;
    LoudnessResult before;
    double afterLufs = kNoLoudness;
    double afterTruePeakDbtp = kNoLoudness;
};

// The whole number of steps within [minSteps, maxSteps] whose loudness comes nearest
// `targetLufs` without the true peak passing `ceilingDbtp`.
LoudnessGain ComputeLoudnessGain(const LoudnessResult& measured, double targetLufs,
                                 double ceilingDbtp, int minSteps, int maxSteps);

// "target", "true peak ceiling", "step range", "not measured".
const char* LoudnessLimitText(LoudnessLimit limit);
// "-14.2 LUFS", "-inf LUFS"; "-0.8 dBTP"; "5.1 LU".
std::string LufsText(double lufs);
std::string DbtpText(double dbtp);

} // namespace velmora
