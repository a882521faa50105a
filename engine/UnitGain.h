#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct MpegHeader;

// Where the 8-bit global_gain fields of one Layer III frame lie, counted in bits from the most
// significant bit of the first side-information byte.
struct GainFieldLayout {
    int count;
    int firstBit;
    int distance;
};

// Indexed by [MPEG-1 ? 1 : 0][single channel ? 1 : 0].
inline constexpr GainFieldLayout GainFieldTable[2][2] = {
    {{2, 31, 63}, {1, 30, 63}}, // MPEG-2 and MPEG-2.5
    {{4, 41, 59}, {2, 39, 59}}, // MPEG-1
};

// The layout for a stream whose first header is `first`.
GainFieldLayout GainFieldsFor(const MpegHeader& first);

// Adds `delta` global-gain steps (1.5 dB each) to every granule of one Layer III frame.
// `sideInfo` points at the first side-information byte (frame + headerSize); `first` is the
// stream's first header (its version and channel mode pick the field positions).
// A field of 0 stays 0; sums clamp to 0 … 255.
void ApplyGain(std::uint8_t* sideInfo, const MpegHeader& first, int delta);

// The fade parameters of one write.
struct FadeParams {
    int fadeInIndex = 0; // into FadeDurationTable
    int fadeOutIndex = 0;
    std::int64_t fadeSpan = 0;   // kept frames the fades may cover
    std::int64_t frameCount = 0; // frames copied by the write
    int fadeDepth = 1;           // ComboBoxFadeDepth
};

// Steps (≤ 0) for the i-th copied frame. A fade shorter than depth + 1 frames has no effect.
int FadeOffset(const FadeParams& params, const MpegHeader& first, std::int64_t i);

// "+1.5dB", "-12.0dB", "0.0dB" for an amplification position.
std::string AmplificationText(int position);
// "0.1s", "20.0s" for a fade track-bar position.
std::string FadeHintText(int position);

} // namespace velmora
