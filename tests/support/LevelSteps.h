#pragma once

#include "Fixtures.h"

#include <cmath>
#include <string>
#include <vector>

namespace velmora::test {

// The sections of the level-step fixture: a 1 kHz tone at each peak level, in dB of full scale.
inline constexpr double kLevelStepsDb[] = {-40.0, -20.0, -6.0};
inline constexpr double kLevelStepSeconds = 2.0;

// The level steps encoded by lame at 128 kbit/s, stereo, 44100 Hz (38.28 frames a second).
inline void MakeLevelSteps(const std::string& path) {
    std::vector<std::int16_t> pcm;
    for (const double db : kLevelStepsDb)
        AppendTone(pcm, PcmSpec{}, kLevelStepSeconds, 1000.0,
                   static_cast<int>(std::lround(32767 * std::pow(10.0, db / 20))));
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", path);
}

// The frames well inside section k, away from the encoder's delay and the changes of level.
inline std::pair<std::int64_t, std::int64_t> LevelStepCore(int k) {
    constexpr double kFramesPerSecond = 44100.0 / 1152;
    const double start = k * kLevelStepSeconds * kFramesPerSecond;
    return {static_cast<std::int64_t>(start + 8),
            static_cast<std::int64_t>(start + kLevelStepSeconds * kFramesPerSecond - 8)};
}

} // namespace velmora::test
