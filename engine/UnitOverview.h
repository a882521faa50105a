#pragma once

#include "UnitFrameTable.h"

#include <cstdint>
#include <vector>

namespace velmora {

// The level graph the editor draws at once: each Layer III frame's level read from its side
// information while the scan passes, without decoding. The level is the highest global_gain of
// the granules that carry audio bits (1 … 255); 0 when none does (digital silence, an empty or a
// non-Layer III frame). A global_gain step is 2^(1/4) in amplitude, 1.5 dB.
std::uint8_t OverviewLevel(const std::uint8_t* side, const std::uint8_t* rangeEnd, bool mpeg1,
                           bool mono);

inline constexpr double kNoLevelDb = -200.0;

// The level's rough peak in dB of full scale (kNoLevelDb for 0).
double OverviewLevelDb(std::uint8_t level);

// The highest level of frames first … last - 1.
std::uint8_t OverviewPeakLevel(const FrameTable& frames, std::int64_t first, std::int64_t last);

struct FrameRange {
    std::int64_t begin = 0;
    std::int64_t end = 0; // one past the last frame
    bool operator==(const FrameRange&) const = default;
};

// The runs of at least `minFrames` frames of digital silence among frames 0 … count - 1.
std::vector<FrameRange> SilentRuns(const FrameTable& frames, std::int64_t count,
                                   std::int64_t minFrames);

} // namespace velmora
