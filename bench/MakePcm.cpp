// Writes deterministic 16-bit stereo 44.1 kHz little-endian PCM for the demo file and the
// benchmark recordings: velmora-makepcm demo|hour OUTPUT (OUTPUT "-" is stdout).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 44100;

struct Writer {
    FILE* f;
    std::vector<std::int16_t> buf;
    void Put(int left, int right) {
        buf.push_back(static_cast<std::int16_t>(left));
        buf.push_back(static_cast<std::int16_t>(right));
        if (buf.size() >= 65536)
            Flush();
    }
    void Flush() {
        std::fwrite(buf.data(), 2, buf.size(), f);
        buf.clear();
    }
};

void Silence(Writer& w, double seconds) {
    for (long i = 0; i < std::lround(seconds * kRate); ++i)
        w.Put(0, 0);
}

// A "track": two tones and some noise, with a level that differs per track.
void Track(Writer& w, double seconds, int index) {
    const double level = 3000.0 + 2500.0 * (index % 5);
    const double f1 = 220.0 * (1 + index % 4), f2 = 330.0 + 40.0 * index;
    std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(index);
    const long n = std::lround(seconds * kRate);
    for (long i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const double t = static_cast<double>(i) / kRate;
        const double noise = (static_cast<int>(x % 2001) - 1000) / 1000.0;
        const double env = 0.6 + 0.4 * std::sin(2 * M_PI * 0.25 * t);
        const double l = level * env * (0.6 * std::sin(2 * M_PI * f1 * t) + 0.25 * noise);
        const double r = level * env * (0.6 * std::sin(2 * M_PI * f2 * t) + 0.25 * noise);
        w.Put(static_cast<int>(l), static_cast<int>(r));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora-makepcm demo|hour|tracks:N:SECONDS OUTPUT\n");
        return 2;
    }
    FILE* f = std::strcmp(argv[2], "-") == 0 ? stdout : std::fopen(argv[2], "wb");
    if (!f) {
        std::perror(argv[2]);
        return 1;
    }
    Writer w{f, {}};
    int tracks = 0;
    double seconds = 0, gap = 3.0;
    if (std::strcmp(argv[1], "demo") == 0) {
        tracks = 2, seconds = 4.0, gap = 1.0;
        Silence(w, 0.5);
    } else if (std::strcmp(argv[1], "hour") == 0) {
        tracks = 12, seconds = 300.0;
    } else if (std::sscanf(argv[1], "tracks:%d:%lf", &tracks, &seconds) != 2) {
        std::fprintf(stderr, "unknown material %s\n", argv[1]);
        return 2;
    }
    for (int i = 0; i < tracks; ++i) {
        if (i > 0)
            Silence(w, gap);
        Track(w, seconds, i);
    }
    if (std::strcmp(argv[1], "demo") == 0)
        Silence(w, 0.5);
    w.Flush();
    if (f != stdout)
        std::fclose(f);
    return 0;
}
