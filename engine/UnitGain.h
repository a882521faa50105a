#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct MpegHeader;

// Adds `delta` global-gain steps (1.5 dB each) to every granule of one Layer III frame.
// `sideInfo` points at the first side-information byte (frame + headerSize); `first` is the
// stream's first header (its version and channel mode pick the field positions).
// A field of 0 stays 0; sums clamp to 0 … 255.
void ApplyGain(std::uint8_t* sideInfo, const MpegHeader& first, int delta);

// The fade parameters of one write.
struct FadeParams {
    int fadeInIndex = 0;  // into FadeDurationTable
    int fadeOutIndex = 0;
    std::int64_t fadeSpan = 0;   // kept frames the fades may cover
    std::int64_t frameCount = 0; // frames copied by the write
    int fadeDepth = 1;           // ComboBoxFadeDepth
};

// Steps (≤ 0) for the i-th copied frame.
int FadeOffset(const FadeParams& params, const MpegHeader& first, std::int64_t i);

// "+1.5dB", "-12.0dB", "0.0dB" for an amplification position.
std::string AmplificationText(int position);
// "0.1s", "20.0s" for a fade track-bar position.
std::string FadeHintText(int position);

} // namespace velmora
