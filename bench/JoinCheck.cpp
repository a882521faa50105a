// Compares decoded split tracks with the decoded source they came from:
//   velmora-joincheck CHANNELS SOURCE.raw START1 TRACK1.raw [START2 TRACK2.raw]...
// (16-bit little-endian PCM; STARTk the sample of the source where track k should begin).
// Each track is placed where its middle matches the source; per boundary it prints the samples
// lost (a gap between the end of one track and the start of the next; negative: repeated) and
// the samples of the track after it that differ from the source where it was placed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr long kSearch = 4096; // how far a track may lie from its intended place
constexpr long kWindow = 2048; // frames of the middle compared while searching

std::vector<std::int16_t> Read(const char* path) {
    std::vector<std::int16_t> pcm;
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::perror(path);
        std::exit(1);
    }
    std::int16_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 2, 65536, f)) > 0)
        pcm.insert(pcm.end(), buf, buf + n);
    std::fclose(f);
    return pcm;
}

struct Track {
    long start = 0;  // intended, in frames of samples
    long offset = 0; // where it lies relative to that
    long length = 0;
    long differing = 0;
};

long Mismatches(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& track,
                int channels, long at, long from, long count) {
    long n = 0;
    for (long i = 0; i < count * channels; ++i) {
        const long s = (at + from) * channels + i;
        const long t = from * channels + i;
        if (s < 0 || s >= static_cast<long>(source.size()) || t >= static_cast<long>(track.size()))
            ++n;
        else
            n += source[static_cast<std::size_t>(s)] != track[static_cast<std::size_t>(t)];
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5 || (argc - 3) % 2 != 0) {
        std::fprintf(stderr, "usage: velmora-joincheck CHANNELS SOURCE.raw START TRACK.raw...\n");
        return 2;
    }
    const int channels = std::atoi(argv[1]);
    const std::vector<std::int16_t> source = Read(argv[2]);
    std::vector<Track> tracks;
    for (int a = 3; a + 1 < argc; a += 2) {
        const std::vector<std::int16_t> pcm = Read(argv[a + 1]);
        Track t;
        t.start = std::atol(argv[a]);
        t.length = static_cast<long>(pcm.size()) / channels;
        const long middle = std::max(0L, t.length / 2 - kWindow / 2);
        long best = -1;
        for (long d = -kSearch; d <= kSearch; ++d) {
            const long m =
                Mismatches(source, pcm, channels, t.start + d, middle, std::min(kWindow, t.length));
            if (best < 0 || m < best) {
                best = m;
                t.offset = d;
            }
            if (m == 0)
                break;
        }
        t.differing = Mismatches(source, pcm, channels, t.start + t.offset, 0, t.length);
        tracks.push_back(t);
    }
    long worstLost = 0, worstDiffering = 0;
    for (std::size_t k = 1; k < tracks.size(); ++k) {
        const Track& a = tracks[k - 1];
        const Track& b = tracks[k];
        const long lost = (b.start + b.offset) - (a.start + a.offset + a.length);
        std::printf("  boundary %2zu: lost %6ld, differing %7ld\n", k, lost, b.differing);
        worstLost = std::max(worstLost, std::labs(lost));
        worstDiffering = std::max(worstDiffering, b.differing);
    }
    std::printf("  first track: starts %ld samples late, differing %ld\n", tracks[0].offset,
                tracks[0].differing);
    std::printf("  worst boundary: lost %ld, differing %ld\n", worstLost, worstDiffering);
    return 0;
}
