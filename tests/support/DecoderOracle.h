#pragma once

// Decoders as the judges of exact cuts: ffmpeg and mpg123 both drop the delay and padding that
// the extra-info extension declares.

#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace velmora::test {

// Tone, noise, digital silence and a quieter tone, encoded by lame.
inline std::string EncodeMixture(const TempDir& dir, const std::string& name,
                                 const std::string& args, double seconds, int rate, int channels) {
    PcmSpec spec{rate, channels};
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, spec, seconds * 0.3, 440, 12000);
    AppendNoise(pcm, spec, seconds * 0.25, 9000, 11);
    AppendSilence(pcm, spec, seconds * 0.15);
    AppendTone(pcm, spec, seconds * 0.3, 1000, 4000);
    const std::string path = dir.File(name);
    EncodeWithLame(pcm, spec, args, path);
    return path;
}

inline std::vector<std::int16_t> DecodeWith(const std::string& command, const std::string& raw) {
    EXPECT_EQ(RunCommand(command + " > '" + raw + "'"), 0) << command;
    const auto bytes = ReadFile(raw);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

// What each decoder plays, gapless, as interleaved 16-bit samples.
struct DecodedPair {
    std::vector<std::int16_t> ffmpeg;
    std::vector<std::int16_t> mpg123;
};
inline DecodedPair DecodeBoth(const std::string& path) {
    return {DecodeWith("ffmpeg -v error -i '" + path + "' -f s16le -", path + ".ff.raw"),
            DecodeWith("mpg123 -q -s '" + path + "'", path + ".mpg123.raw")};
}

inline std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& pcm, std::int64_t begin,
                                       std::int64_t end, int channels) {
    const auto size = static_cast<std::int64_t>(pcm.size());
    const std::int64_t from = std::min(begin * channels, size);
    const std::int64_t to = std::min(end * channels, size);
    return {pcm.begin() + from, pcm.begin() + std::max(from, to)};
}

// Samples that differ, counting every sample one side has and the other lacks.
inline std::int64_t Differing(const std::vector<std::int16_t>& a,
                              const std::vector<std::int16_t>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    std::int64_t n = static_cast<std::int64_t>(std::max(a.size(), b.size()) - common);
    for (std::size_t i = 0; i < common; ++i)
        n += a[i] != b[i];
    return n;
}

// The largest difference between samples both sides have.
inline int MaxDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
    int most = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        most = std::max(most, std::abs(a[i] - b[i]));
    return most;
}

} // namespace velmora::test
