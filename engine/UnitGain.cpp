#include "UnitGain.h"

#include "UnitMP3.h"
#include "UnitOptions.h"

#include <algorithm>

namespace velmora {

GainFieldLayout GainFieldsFor(const MpegHeader& first) {
    return GainFieldTable[first.versionId == kMpeg1 ? 1 : 0][first.channelMode == kMono ? 1 : 0];
}

void ApplyGain(std::uint8_t* sideInfo, const MpegHeader& first, int delta) {
    const GainFieldLayout layout = GainFieldsFor(first);
    for (int field = 0; field < layout.count; ++field) {
        const int pos = layout.firstBit + field * layout.distance;
        std::uint8_t* p = sideInfo + pos / 8;
        const int shift = 8 - pos % 8; // the field's low bit within the 16-bit big-endian pair
        const unsigned pair = (unsigned{p[0]} << 8) | p[1];
        const int value = static_cast<int>((pair >> shift) & 0xFF);
        if (value == 0)
            continue;
        const unsigned changed = static_cast<unsigned>(std::clamp(value + delta, 0, 255));
        const unsigned updated = (pair & ~(0xFFu << shift)) | (changed << shift);
        p[0] = static_cast<std::uint8_t>(updated >> 8);
        p[1] = static_cast<std::uint8_t>(updated);
    }
}

namespace {

// One side of the fade: `distance` is i - FiLim (fade-in) or frameCount - i - FoLim (fade-out).
int FadeSteps(std::int64_t distance, std::int64_t fadeFrames, int depth) {
    if (fadeFrames <= 0)
        return 0;
    const std::int64_t divisor = fadeFrames / (depth + 1);
    // A fade shorter than depth + 1 frames has no slope to follow: leave the frame alone.
    if (divisor == 0)
        return 0;
    return static_cast<int>(distance * 10 / divisor);
}

} // namespace

int FadeOffset(const FadeParams& params, const MpegHeader& first, std::int64_t i) {
    const int depth = std::clamp(params.fadeDepth, 0, 3);
    const auto duration = [](int index) {
        return FadeDurationTable[static_cast<std::size_t>(std::clamp(index, 0, 32))];
    };
    const std::int64_t fadeIn = MillisecondsToFrames(first, duration(params.fadeInIndex));
    const std::int64_t fadeOut = MillisecondsToFrames(first, duration(params.fadeOutIndex));
    const std::int64_t half = params.fadeSpan / 2;
    const std::int64_t fadeInLimit = std::min(half, fadeIn);
    const std::int64_t fadeOutLimit = std::min(half, fadeOut);
    if (i < fadeInLimit)
        return FadeSteps(i - fadeInLimit, fadeIn, depth);
    if (params.frameCount - i < fadeOutLimit)
        return FadeSteps(params.frameCount - i - fadeOutLimit, fadeOut, depth);
    return 0;
}

std::string AmplificationText(int position) {
    const int a = 3 * position / 2;
    const int magnitude = a < 0 ? -a : a;
    std::string text = a < 0 ? "-" : (a > 0 ? "+" : "");
    if (magnitude > 9)
        text += static_cast<char>('0' + (magnitude / 10) % 10);
    text += static_cast<char>('0' + magnitude % 10);
    text += position % 2 == 0 ? ".0" : ".5";
    return text + "dB";
}

std::string FadeHintText(int position) {
    const int ms = FadeDurationTable[static_cast<std::size_t>(std::clamp(position, 0, 32))];
    return std::to_string(ms / 1000) + "." + static_cast<char>('0' + (ms / 100) % 10) + "s";
}

} // namespace velmora
