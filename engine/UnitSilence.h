#pragma once

#include "Progress.h"

#include <cstdint>
#include <optional>

namespace velmora {

struct MpegHeader;
struct Settings;
struct StreamInfo;

// Frames removed at each end.
struct TrimPoints {
    std::int64_t beginFrames = 0;
    std::int64_t endFrames = 0;
};

// Where a frame lies relative to the scanned range, for the fast zone.
struct SilenceScanContext {
    std::int64_t scanSize = 0;         // bytes in the scanned range
    const MpegHeader* first = nullptr; // the stream's first header
    const Settings* settings = nullptr;
    // File offset of the range: the uniform test compares the words at file offsets divisible by 4.
    std::int64_t scanStartFileOffset = 0;
};

// The per-frame test made during the scan: is the frame at `frame` (header `h`, at `frameOffset`
// in the range) digital silence? The frame must lie inside the range and be longer than its side
// information; the bytes from `frame` up to `bytesEnd` are readable (the whole frame at least).
bool IsFrameSilent(const SilenceScanContext& ctx, const std::uint8_t* frame,
                   std::int64_t frameOffset, const std::uint8_t* bytesEnd, const MpegHeader& h);

// The silent runs at both ends as trim counts (reservoir and mp3PRO rules applied).
// Returns nothing while another operation is busy.
std::optional<TrimPoints> AutoTrim(const StreamInfo& info, const Settings& settings,
                                   OperationState state);

} // namespace velmora
