#pragma once

#include "Fixtures.h"
#include "FrameBuilder.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::test {

// The sections of the level-step fixture: a 1 kHz tone at each peak level, in dB of full scale.
inline constexpr double kLevelStepsDb[] = {-40.0, -20.0, -6.0};
inline constexpr double kLevelStepSeconds = 2.0;

inline std::vector<std::int16_t> LevelStepsPcm() {
    std::vector<std::int16_t> pcm;
    for (const double db : kLevelStepsDb)
        AppendTone(pcm, PcmSpec{}, kLevelStepSeconds, 1000.0,
                   static_cast<int>(std::lround(32767 * std::pow(10.0, db / 20))));
    return pcm;
}

// The level steps encoded by lame at 128 kbit/s, stereo, 44100 Hz (38.28 frames a second).
inline void MakeLevelSteps(const std::string& path) {
    EncodeWithLame(LevelStepsPcm(), PcmSpec{}, "-b 128", path);
}

// The same as MPEG-1 Layer II at 192 kbit/s (also 1152 samples a frame), by ffmpeg.
inline void MakeLevelStepsLayer2(const std::string& path) {
    const std::vector<std::int16_t> pcm = LevelStepsPcm();
    std::vector<std::uint8_t> bytes(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(pcm[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((pcm[i] >> 8) & 0xFF);
    }
    WriteFile(path + ".raw", bytes);
    const std::string command = "ffmpeg -nostdin -v error -y -f s16le -ar 44100 -ac 2 -i '" + path +
                                ".raw' -c:a mp2 -b:a 192k -f mp2 '" + path + "'";
    if (RunCommand(command) != 0)
        throw std::runtime_error("ffmpeg failed: " + command);
}

// The frames well inside section k, away from the encoder's delay and the changes of level.
inline std::pair<std::int64_t, std::int64_t> LevelStepCore(int k) {
    constexpr double kFramesPerSecond = 44100.0 / 1152;
    const double start = k * kLevelStepSeconds * kFramesPerSecond;
    return {static_cast<std::int64_t>(start + 8),
            static_cast<std::int64_t>(start + kLevelStepSeconds * kFramesPerSecond - 8)};
}

} // namespace velmora::test
