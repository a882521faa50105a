#include "UnitCueGenerate.h"

#include "UnitAtomicFile.h"

#include "VelmoraError.h"

#include "UnitVolume.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

std::uint32_t QuietThreshold(const FrameTable& frames, std::int64_t frameCount) {
    std::vector<std::int64_t> histogram(kEnergyHistogramBins, 0);
    for (std::int64_t i = 0; i < frameCount; ++i) {
        const std::uint32_t bin = frames[i].energy / 256;
        // Louder frames than the histogram holds are left out: they are never quiet.
        if (bin < kEnergyHistogramBins)
            ++histogram[bin];
    }
    std::int64_t running = 0;
    for (int b = 0; b < kEnergyHistogramBins; ++b) {
        running += histogram[static_cast<std::size_t>(b)];
        if (16 * running >= frameCount)
            return static_cast<std::uint32_t>(b + 1);
    }
    return static_cast<std::uint32_t>(running);
}

std::int64_t MinimumCueTrackFrames(const MpegHeader& header, std::int32_t seconds) {
    return seconds != 0 ? SecondsToFrames(header, seconds) : 10;
}

std::uint32_t QuietEnergyForLevel(const MpegHeader& header, double levelDb) {
    // The analysis decodes attenuated frames and keeps the sum of squares over 65536.
    const double samples =
        static_cast<double>(SamplesPerFrame(header)) * (header.channelMode == kMono ? 1 : 2);
    const double rms = std::pow(10.0, levelDb / 20) * 32768 * kAnalysisPcmScale;
    const double energy = std::ceil(samples * rms * rms / 65536);
    return static_cast<std::uint32_t>(std::clamp(energy, 1.0, 4294967295.0));
}

std::vector<std::int64_t> FindCueSplits(const FrameTable& frames, std::int64_t frameCount,
                                        std::int64_t minTrack) {
    return FindCueSplits(frames, frameCount, CueGapRules{{}, kMinimumGapFrames, minTrack});
}

std::vector<std::int64_t> FindCueSplits(const FrameTable& frames, std::int64_t frameCount,
                                        const CueGapRules& rules) {
    const std::int64_t n = frameCount, minTrack = rules.minTrackFrames;
    const std::uint32_t threshold = rules.quietEnergy.value_or(QuietThreshold(frames, n));
    const auto quiet = [&](std::int64_t i) { return frames[i].energy < threshold; };
    std::vector<char> claimed(static_cast<std::size_t>(n + 1), 0);
    std::vector<std::int64_t> splits{0};

    while (splits.size() < kMaxSplits) {
        std::int64_t bestLength = 0, bestMiddle = -1;
        std::int64_t i = 0;
        while (i < n) {
            if (!quiet(i)) {
                ++i;
                continue;
            }
            const std::int64_t s = i;
            while (i < n && quiet(i))
                ++i;
            const std::int64_t e = i, length = e - s, m = s + length / 2;
            // A gap already chosen has its middle claimed: it must not be chosen again.
            if (length > bestLength && m >= minTrack && m < n - minTrack && !claimed[s] &&
                !claimed[e] && !claimed[m]) {
                bestLength = length;
                bestMiddle = m;
            }
        }
        if (bestMiddle < 0 || bestLength < rules.minGapFrames)
            break;
        splits.push_back(bestMiddle);
        const std::int64_t from = std::max<std::int64_t>(0, bestMiddle - minTrack);
        const std::int64_t to = std::min<std::int64_t>(n, bestMiddle + minTrack - 1);
        for (std::int64_t k = from; k <= to; ++k)
            claimed[static_cast<std::size_t>(k)] = 1;
    }
    if (splits.back() + kEndMarginFrames >= n)
        splits.pop_back();
    return splits;
}

std::string CueFileLinePath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c == '"')
            out += "''";
        else
            out += (static_cast<unsigned char>(c) < ' ' || c == 0x7F) ? ' ' : c;
    }
    return out;
}

std::string RenderCueSheet(const std::string& mp3Path, const MpegHeader& header,
                           std::vector<std::int64_t> splits) {
    std::stable_sort(splits.begin(), splits.end());
    std::string text = "FILE \"" + CueFileLinePath(mp3Path) + "\" BINARY\r\n";
    char line[64];
    for (std::size_t k = 0; k < splits.size(); ++k) {
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\r\n", static_cast<int>(k + 1));
        text += line;
        text += "    INDEX 01 " + FormatCueTime(header, splits[k]) + "\r\n";
    }
    return text;
}

GeneratedCueSheet GenerateCueSheetText(const std::string& mp3Path, const StreamInfo& info,
                                       std::int32_t minimumCueTrackLength) {
    return GenerateCueSheetText(
        mp3Path, info,
        CueGapRules{
            {}, kMinimumGapFrames, MinimumCueTrackFrames(info.firstHeader, minimumCueTrackLength)});
}

GeneratedCueSheet GenerateCueSheetText(const std::string& mp3Path, const StreamInfo& info,
                                       const CueGapRules& rules) {
    std::vector<std::int64_t> splits = FindCueSplits(info.frames, info.frameCount, rules);
    GeneratedCueSheet sheet;
    sheet.text = RenderCueSheet(mp3Path, info.firstHeader, splits);
    std::stable_sort(splits.begin(), splits.end());
    sheet.trackFrames = std::move(splits);
    return sheet;
}

void WriteCueSheetFile(const std::string& path, const std::string& text) {
    AtomicFileWriter file(path, {}, [&path](int error, AtomicFileStep step) {
        const char* what = step == AtomicFileStep::Create ? "Could not create" : "Could not write";
        return VelmoraError(std::string(std::strerror(error)) + " - " + what + " \"" + path + "\"");
    });
    file.Write(text);
    file.Commit();
}

} // namespace velmora
