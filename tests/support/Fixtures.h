#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

// 16-bit PCM synthesis for encoder fixtures. Deterministic.
struct PcmSpec {
    int sampleRate = 44100;
    int channels = 2;
};
// Appends `seconds` of a sine tone at `frequency` Hz with peak `amplitude` (0 … 32767).
void AppendTone(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds,
                double frequency, int amplitude);
// Appends `seconds` of digital silence.
void AppendSilence(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds);
// Appends pseudo-random noise with peak `amplitude`.
void AppendNoise(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds, int amplitude,
                 std::uint32_t seed);

// Encodes `pcm` with lame (extra arguments such as "-b 128", "-V 2", "-p") into `mp3Path`.
// Throws when lame is missing or fails.
void EncodeWithLame(const std::vector<std::int16_t>& pcm, const PcmSpec& spec,
                    const std::string& lameArgs, const std::string& mp3Path);

// Three 7-second tones with two seconds of digital silence between them, encoded by lame.
void MakeThreeTracks(const std::string& path);

// Runs a shell command, returns its exit status and captures stdout+stderr.
int RunCommand(const std::string& command, std::string* output = nullptr);
bool HaveProgram(const std::string& name);

} // namespace velmora::test
