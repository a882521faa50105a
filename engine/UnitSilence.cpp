#include "UnitSilence.h"

#include "UnitMP3.h"
#include "UnitOptions.h"
#include "UnitScanner.h"
#include "UnitSideInfo.h"

#include <algorithm>
#include <array>

namespace velmora {

namespace {

constexpr std::int64_t kEdgeZone = 0x100000;
constexpr int kDominantThreshold[3] = {0, 150, 20};

// Beyond the first and last MiB of the scanned range.
bool InMiddle(const SilenceScanContext& ctx, std::int64_t frameOffset) {
    return frameOffset > kEdgeZone && ctx.scanSize - frameOffset > kEdgeZone;
}

// All bytes of the block repeat the first word: the last word and every file-aligned word match.
// `qOffset`: the block's offset in the range.
bool UniformBlock(const SilenceScanContext& ctx, const std::uint8_t* q, std::int64_t qOffset,
                  std::int64_t n) {
    // Too short to hold the first and last words without reading outside the block.
    if (n < 4)
        return false;
    const std::uint32_t v = HeaderWordAt(q);
    if (HeaderWordAt(q + n - 4) != v)
        return false;
    if (n < 8)
        return true;
    const std::int64_t fileOffset = ctx.scanStartFileOffset + qOffset;
    std::int64_t a = 4 - (fileOffset & 3); // first aligned word after q
    for (; a + 4 <= n; a += 4)
        if (HeaderWordAt(q + a) != v)
            return false;
    return true;
}

bool DominantByte(const std::uint8_t* q, std::int64_t n, int threshold) {
    if (n <= 0)
        return false;
    std::array<std::uint32_t, 256> counts{};
    for (std::int64_t i = 0; i < n; ++i)
        ++counts[q[i]];
    const std::int64_t top = *std::max_element(counts.begin(), counts.end());
    return MulDiv(top, 256, n) >= threshold;
}

int Aggressivity(const Settings& settings) {
    return std::clamp(settings.RadioGroupTrimAggressivity, 0, 2);
}

} // namespace

bool IsFrameSilent(const SilenceScanContext& ctx, const std::uint8_t* frame,
                   std::int64_t frameOffset, const std::uint8_t* bytesEnd, const MpegHeader& h) {
    const Settings& settings = *ctx.settings;
    const bool fastZone = settings.CheckBoxFastSilenceDetection && InMiddle(ctx, frameOffset);
    const int item = Aggressivity(settings);
    const std::int64_t length = h.frameLength;

    if (ctx.first->layerId == kLayer3) {
        const SideInfoBits side(frame + h.headerSize, bytesEnd);
        const Part23Layout layout =
            Part23LayoutFor(ctx.first->versionId == kMpeg1, h.channelMode == kMono);
        bool allZero = true;
        for (int i = 0; i < layout.count && allZero; ++i)
            allZero = side.Part23Length(layout, i) == 0;
        if (allZero)
            return true;
        if (fastZone)
            return false;
        const std::int64_t mainBytes = length - h.sideInfoEnd;
        if (item == 0)
            return UniformBlock(ctx, frame + h.sideInfoEnd, frameOffset + h.sideInfoEnd,
                                mainBytes * 3 / 4);
        return DominantByte(frame + h.sideInfoEnd, mainBytes, kDominantThreshold[item]);
    }

    if (fastZone)
        return false;
    const std::int64_t dataBytes = length - h.headerSize;
    if (item == 0 || InMiddle(ctx, frameOffset))
        return UniformBlock(ctx, frame + h.headerSize, frameOffset + h.headerSize, dataBytes);
    return DominantByte(frame + h.headerSize, dataBytes, kDominantThreshold[item]);
}

std::optional<TrimPoints> AutoTrim(const StreamInfo& info, const Settings& settings,
                                   OperationState state) {
    if (state == OperationState::Busy)
        return std::nullopt;
    const std::int64_t count = info.frameCount;
    std::int64_t begin = 0;
    while (begin < count && info.frames[begin].silent)
        ++begin;
    std::int64_t end = 0;
    while (end < count - begin && info.frames[count - 1 - end].silent)
        ++end;
    // Keep the frames that hold the start of the first kept frame's main data.
    if (info.firstHeader.layerId == kLayer3 && begin < count)
        begin = std::max<std::int64_t>(begin - info.frames[begin].reservoirDepth, 0);
    if (info.mp3Pro)
        begin = settings.CheckBoxDisableSilenceDetectionBeginning_mp3PRO
                    ? 0
                    : std::max<std::int64_t>(begin - 8, 0);
    return TrimPoints{begin, end};
}

} // namespace velmora
