#include "UnitOverview.h"

#include "UnitSideInfo.h"

#include <algorithm>

namespace velmora {

namespace {

// The encoder spends more bits on louder sound as well as a coarser step, so a level step means
// more than the step size's 1.5 dB: fitted on lame's output from -40 to -6 dBFS.
constexpr int kFullScaleLevel = 141;
constexpr double kDbPerLevel = 2.0;

} // namespace

std::uint8_t OverviewLevel(const std::uint8_t* side, const std::uint8_t* rangeEnd, bool mpeg1,
                           bool mono) {
    const SideInfoBits bits(side, rangeEnd);
    const Part23Layout layout = Part23LayoutFor(mpeg1, mono);
    std::uint32_t level = 0;
    bool audible = false;
    for (int i = 0; i < layout.count; ++i) {
        if (bits.Part23Length(layout, i) == 0)
            continue;
        audible = true;
        level = std::max(level, bits.GlobalGain(layout, i));
    }
    // A granule with bits but a global_gain of 0 still sounds: it keeps level 1.
    return audible ? static_cast<std::uint8_t>(std::max(level, std::uint32_t{1})) : 0;
}

double OverviewLevelDb(std::uint8_t level) {
    if (level == 0)
        return kNoLevelDb;
    return (level - kFullScaleLevel) * kDbPerLevel;
}

std::uint8_t OverviewPeakLevel(const FrameTable& frames, std::int64_t first, std::int64_t last) {
    std::uint8_t peak = 0;
    for (std::int64_t i = first; i < last; ++i)
        peak = std::max(peak, frames[i].level);
    return peak;
}

std::vector<FrameRange> SilentRuns(const FrameTable& frames, std::int64_t count,
                                   std::int64_t minFrames) {
    std::vector<FrameRange> runs;
    std::int64_t begin = -1;
    for (std::int64_t i = 0; i <= count; ++i) {
        const bool silent = i < count && frames[i].silent;
        if (silent && begin < 0)
            begin = i;
        else if (!silent && begin >= 0) {
            if (i - begin >= minFrames)
                runs.push_back({begin, i});
            begin = -1;
        }
    }
    return runs;
}

} // namespace velmora
