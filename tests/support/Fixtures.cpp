#include "Fixtures.h"

#include "FrameBuilder.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>

namespace velmora::test {

void AppendTone(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds,
                double frequency, int amplitude) {
    const long n = std::lround(seconds * spec.sampleRate);
    for (long i = 0; i < n; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * frequency * i / spec.sampleRate);
        for (int c = 0; c < spec.channels; ++c)
            pcm.push_back(static_cast<std::int16_t>(std::lround(v)));
    }
}

void AppendSilence(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds) {
    pcm.insert(pcm.end(),
               static_cast<std::size_t>(std::lround(seconds * spec.sampleRate)) *
                   static_cast<std::size_t>(spec.channels),
               0);
}

void AppendNoise(std::vector<std::int16_t>& pcm, const PcmSpec& spec, double seconds, int amplitude,
                 std::uint32_t seed) {
    const long n = std::lround(seconds * spec.sampleRate) * spec.channels;
    std::uint32_t x = seed ? seed : 1;
    for (long i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const int v = static_cast<int>(x % (2u * static_cast<unsigned>(amplitude) + 1)) - amplitude;
        pcm.push_back(static_cast<std::int16_t>(v));
    }
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> buf;
    std::string text;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        text.append(buf.data(), n);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null") == 0;
}

void EncodeWithLame(const std::vector<std::int16_t>& pcm, const PcmSpec& spec,
                    const std::string& lameArgs, const std::string& mp3Path) {
    const std::string raw = mp3Path + ".raw";
    std::vector<std::uint8_t> bytes(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(pcm[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((pcm[i] >> 8) & 0xFF);
    }
    WriteFile(raw, bytes);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", spec.sampleRate / 1000.0);
    const std::string cmd =
        std::string("lame --quiet -r --bitwidth 16 --signed --little-endian -s ") + rate +
        (spec.channels == 1 ? " -m m " : " ") + lameArgs + " '" + raw + "' '" + mp3Path + "'";
    std::string out;
    const int rc = RunCommand(cmd, &out);
    std::remove(raw.c_str());
    if (rc != 0)
        throw std::runtime_error("lame failed: " + cmd + "\n" + out);
}

void MakeThreeTracks(const std::string& path) {
    const PcmSpec spec{44100, 2};
    std::vector<std::int16_t> pcm;
    for (int k = 0; k < 3; ++k) {
        if (k > 0)
            AppendSilence(pcm, spec, 2.0);
        AppendTone(pcm, spec, 7.0, 300.0 + 150 * k, 9000);
    }
    EncodeWithLame(pcm, spec, "-b 128", path);
}

} // namespace velmora::test
