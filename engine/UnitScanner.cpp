#include "UnitScanner.h"

#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitSideInfo.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace velmora {

void FrameTable::GrowLastChunk(std::int64_t entries) {
    FrameEntry* chunk = m_chunks.back().get();
    auto* grown = static_cast<FrameEntry*>(
        std::realloc(chunk, static_cast<std::size_t>(entries) * sizeof(FrameEntry)));
    if (grown == nullptr)
        throw std::bad_alloc();
    (void)m_chunks.back().release();
    m_chunks.back().reset(grown);
    std::memset(static_cast<void*>(grown + m_lastCapacity), 0,
                static_cast<std::size_t>(entries - m_lastCapacity) * sizeof(FrameEntry));
    m_lastCapacity = entries;
}

void FrameTable::Resize(std::int64_t n) {
    constexpr std::int64_t kFirstCapacity = 1024;
    const std::size_t chunks = static_cast<std::size_t>((n + kChunkSize - 1) >> kChunkBits);
    while (m_chunks.size() < chunks) {
        if (!m_chunks.empty() && m_lastCapacity < kChunkSize)
            GrowLastChunk(kChunkSize);
        m_chunks.emplace_back(nullptr);
        m_lastCapacity = 0;
        GrowLastChunk(kFirstCapacity);
    }
    if (chunks > 0 && chunks == m_chunks.size()) {
        const std::int64_t needed = n - static_cast<std::int64_t>(chunks - 1) * kChunkSize;
        if (needed > m_lastCapacity)
            GrowLastChunk(std::min(kChunkSize, std::max(needed, 2 * m_lastCapacity)));
    }
    for (std::int64_t i = n; i < m_size; ++i)
        (*this)[i] = FrameEntry{};
    m_size = n;
}

int StreamInfo::DominantBitrateIndex() const {
    for (int i = 15; i >= 1; --i)
        if (BitrateHistogram[i] > 0 && BitrateHistogram[i] >= frameCount - frameCount / 128)
            return i;
    return 0;
}

namespace {

constexpr std::int64_t kSearchWindow = 0x100000;
constexpr std::uint32_t kAllButPadding = 0xFFFDFFFF;
constexpr std::size_t kMaxExtraInfoBytes = 2881;
constexpr std::int64_t kPrefetchFrames = 4;

// The first position in [from, limit) holding 0xFF, the first sync byte; limit when none.
inline std::int64_t NextSyncByte(const std::uint8_t* start, std::int64_t from, std::int64_t limit) {
    if (from >= limit)
        return limit;
    const void* hit = std::memchr(start + from, 0xFF, static_cast<std::size_t>(limit - from));
    return hit ? static_cast<const std::uint8_t*>(hit) - start : limit;
}

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
constexpr std::int64_t kPopulateStep = 4 << 20;
// Maps the next stretch of a file view in one call instead of a page fault every few frames;
// returns where the next call is due.
std::int64_t PrefaultAhead(const std::uint8_t* start, std::int64_t size, std::int64_t pos) {
    const auto first = reinterpret_cast<std::uintptr_t>(start + pos) & ~std::uintptr_t{4095};
    const std::int64_t end = std::min(size, pos + kPopulateStep);
    const auto last = reinterpret_cast<std::uintptr_t>(start + end);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_READ);
    return end;
}

bool TagAt(const std::uint8_t* start, std::int64_t size, std::int64_t at, const char* tag) {
    return at >= 0 && at + 4 <= size && std::memcmp(start + at, tag, 4) == 0;
}

void ClearScanFields(StreamInfo& info) {
    info.firstHeader = MpegHeader{};
    info.frameCount = 0;
    info.frames.Clear();
    info.missingHeaderCount = 0;
    info.MissingHeaderList.clear();
    info.badCrcCount = 0;
    info.BitrateHistogram.fill(0);
    info.ConstantBitsMask = 0;
    info.ConstantBitsValue = 0;
    info.leadingGarbage = false;
    info.lastFrameIncomplete = false;
    info.extraInfoPresent = false;
    info.xingFound = false;
    info.ExtraInfoFrame = ExtraInfoFrameCopy{};
    info.mp3Pro = false;
}

// Keeps the leading extra-info frame at `pos`, with its identifier where a frame without CRC
// has it.
void KeepExtraInfoFrame(StreamInfo& info, const std::uint8_t* start, std::int64_t size,
                        std::int64_t pos) {
    const MpegHeader& first = info.firstHeader;
    ExtraInfoFrameCopy& copy = info.ExtraInfoFrame;
    DecodeHeader(copy.header, first.headerWord | kProtectionMask);
    const std::int64_t length = first.frameLength;
    if (pos + length > size)
        return;
    copy.bytes.assign(start + pos,
                      start + pos + std::min<std::int64_t>(length, kMaxExtraInfoBytes));
    std::uint8_t* bytes = copy.bytes.data();
    const std::int64_t copied = static_cast<std::int64_t>(copy.bytes.size());
    bytes[1] |= 1;
    const std::int64_t own = copy.header.sideInfoEnd;
    if (TagAt(bytes, copied, own, "Xing") || TagAt(bytes, copied, own, "Info"))
        return;
    // A frame too short to hold anything past its side information has nothing to move.
    if (copied - own - 2 > 0)
        std::memmove(bytes + own, bytes + own + 2, static_cast<std::size_t>(copied - own - 2));
}

// Shows the progress only when the bar would move, so the division runs at most 63 times.
class ProgressGate {
public:
    ProgressGate(IProgress& progress, std::int64_t total)
        : m_meter(progress, total), m_total(total) {}
    void Show(std::int64_t done) {
        if (done < m_next)
            return;
        m_meter.Show(done);
        if (m_total <= 0) {
            m_next = INT64_MAX;
            return;
        }
        const auto step = static_cast<__int128>(done) * ProgressMeter::kSteps / m_total + 1;
        m_next = static_cast<std::int64_t>((step * m_total + ProgressMeter::kSteps - 1) /
                                           ProgressMeter::kSteps);
    }

private:
    ProgressMeter m_meter;
    std::int64_t m_total;
    std::int64_t m_next = 0;
};

} // namespace

void ScanStream(StreamInfo& info, std::span<const std::uint8_t> data, int requiredBitrateIndex,
                const Settings& settings, const MessageTable& messages, IProgress& progress,
                std::int64_t fileOffset) {
    ClearScanFields(info);
    const std::uint8_t* const start = data.data();
    const std::int64_t size = static_cast<std::int64_t>(data.size());
    const std::int64_t window = std::min(size - 4, kSearchWindow);

    ProgressGate gate(progress, size);
    gate.Show(0);

    std::uint32_t mask = kSyncMask;
    std::uint32_t value = kSyncMask;
    if (requiredBitrateIndex > 0) {
        mask |= kBitrateMask;
        value |= static_cast<std::uint32_t>(requiredBitrateIndex & 15) << 20;
    }

    // The first audio frame, stepping over one leading extra-info frame.
    MpegHeader& first = info.firstHeader;
    std::int64_t pos = 0;
    bool extraInfoTaken = false;
    for (;;) {
        const std::int64_t sync = NextSyncByte(start, pos, std::max<std::int64_t>(window, 0));
        if (sync != pos) {
            info.leadingGarbage = true;
            pos = sync;
        }
        if (pos >= window) {
            const auto& strings = messages.MessageStrings;
            throw VelmoraError(
                strings.size() > kMsgNoValidHeader
                    ? strings[kMsgNoValidHeader]
                    : "Failed to find a valid MPEG header - this is not an MP3 file!");
        }
        const std::uint32_t word = HeaderWordAt(start + pos);
        if ((word & mask) != value || !DecodeHeader(first, word)) {
            info.leadingGarbage = true;
            ++pos;
            continue;
        }
        if (extraInfoTaken)
            break;
        const std::int64_t side = pos + first.sideInfoEnd;
        const bool xing = TagAt(start, size, side, "Xing") || TagAt(start, size, side - 2, "Xing");
        const bool infoTag =
            TagAt(start, size, side, "Info") || TagAt(start, size, side - 2, "Info");
        if (!xing && !infoTag)
            break;
        info.xingFound = info.xingFound || xing;
        info.extraInfoPresent = true;
        KeepExtraInfoFrame(info, start, size, pos);
        pos += first.frameLength;
        extraInfoTaken = true;
    }

    info.ConstantBitsMask = kAllButPadding;
    info.ConstantBitsValue = first.headerWord & kAllButPadding;
    const bool patched = settings.CheckBoxAllowPatchedStreams;
    if (!patched) {
        mask |= kLayerRateMask;
        value = first.headerWord & mask;
    }

    const bool layer3 = first.layerId == kLayer3;
    const bool mpeg1 = first.versionId == kMpeg1;
    const SilenceScanContext silence{start, start + size, &first, &settings, fileOffset};
    FrameTable& table = info.frames;
    std::int64_t n = 0;
    std::int64_t lastMissing = -1;
    std::int64_t availableBytes = 0;
    std::int64_t usedBits = 0;
    std::uint32_t ring[256] = {};
    unsigned ringPos = 0;
    std::int64_t populatedTo = 0;
    MpegHeader h;
    std::uint32_t decodedWord = 0;
    bool decodedOk = false;
    // One decode per distinct header word: most consecutive frames repeat their header.
    auto decode = [&](std::uint32_t word) {
        if (word != decodedWord || !decodedOk) {
            decodedOk = DecodeHeader(h, word);
            decodedWord = word;
        }
        return decodedOk;
    };

    for (;;) {
        FrameEntry& entry = table.At(n);
        entry = FrameEntry{};
        entry.offset = pos;
        if (pos + 4 >= size)
            break;

        const std::uint32_t word = HeaderWordAt(start + pos);
        const bool present = (word & mask) == value;
        if (!present) {
            if (info.missingHeaderCount < 10)
                info.MissingHeaderList.push_back(n);
            ++info.missingHeaderCount;
            lastMissing = n;
        }

        // Resynchronise: after a missing header only a header agreeing with every constant bit
        // restores the chain.
        bool found = present && decode(word);
        if (!found) {
            const std::int64_t limit = std::min(pos + window, size - 4);
            for (std::int64_t q = pos; q < limit; ++q) {
                q = NextSyncByte(start, q, limit);
                if (q >= limit)
                    break;
                const std::uint32_t candidate = HeaderWordAt(start + q);
                if ((candidate & mask) == value && decode(candidate) &&
                    (patched || present ||
                     (candidate & info.ConstantBitsMask) == info.ConstantBitsValue)) {
                    found = true;
                    pos = q;
                    break;
                }
            }
            if (!found)
                break;
            entry.offset = pos;
        }

        if (pos >= populatedTo)
            populatedTo = PrefaultAhead(start, size, pos);
        const std::uint8_t* frame = start + pos;
        const std::int64_t length = h.frameLength;
        // The chain is memory-latency bound: ask for the header a few frames on in advance.
        if (pos + kPrefetchFrames * length < size)
            __builtin_prefetch(frame + kPrefetchFrames * length);
        if (pos + length > size) {
            info.lastFrameIncomplete = true;
            break;
        }
        entry.length = static_cast<std::uint32_t>(length);
        entry.headerSize = static_cast<std::uint8_t>(h.headerSize);
        ++info.BitrateHistogram[(h.headerWord >> 20) & 15];
        // A CRC over side information that would run past the range cannot be checked.
        if (h.hasCrc && pos + 6 + kSideInfoSizeTable[h.versionId][h.channelMode] <= size) {
            entry.computedCrc = FrameCrc(h, frame);
            if (entry.computedCrc != StoredCrc(frame))
                ++info.badCrcCount;
        }
        if (length <= h.sideInfoEnd) {
            ++pos;
            continue;
        }

        if (layer3) {
            entry.silent = IsFrameSilent(silence, frame, h);
            const SideInfoBits side(frame + h.headerSize, start + size);
            const std::uint32_t mainBytes = static_cast<std::uint32_t>(length - h.sideInfoEnd);
            if (!mpeg1) {
                availableBytes += mainBytes;
                const Part23Layout layout = Part23LayoutFor(false, h.channelMode == kMono);
                for (int i = 0; i < layout.count; ++i)
                    usedBits += side.Part23Length(layout, i);
            }
            // How many earlier frames this frame's main data reaches back into.
            std::int64_t behind = side.MainDataBegin(mpeg1);
            ring[ringPos] = mainBytes;
            unsigned depth = 0;
            unsigned at = ringPos;
            for (std::int64_t steps = 0; behind > 0 && steps < n; ++steps) {
                ++depth;
                at = (at - 1) & 255u;
                behind -= ring[at];
            }
            entry.reservoirDepth = static_cast<std::uint8_t>(std::min(depth, 255u));
            ringPos = (ringPos + 1) & 255u;
        } else {
            entry.silent = IsFrameSilent(silence, frame, h);
        }

        if ((h.headerWord & info.ConstantBitsMask) != info.ConstantBitsValue) {
            const std::uint32_t differing =
                (h.headerWord ^ info.ConstantBitsValue) & info.ConstantBitsMask;
            info.ConstantBitsMask &= ~differing;
            info.ConstantBitsValue &= ~differing;
        }

        pos += length;
        ++n;
        ThrowIfStopped(progress);
        gate.Show(pos);
        CheckPoint(progress, n, 1024);
    }

    gate.Show(size);
    if (n >= 2 && table[n - 2].silent)
        table[n - 1].silent = true;
    // An empty stream has no average to judge.
    if (first.versionId == kMpeg2 && layer3 && n > 0) {
        const std::int64_t unused = (availableBytes - usedBits / 8) / n;
        info.mp3Pro = unused >= (first.channelMode == kMono ? 5 : 10);
    }
    if (info.missingHeaderCount > 0 && lastMissing == n) {
        --info.missingHeaderCount;
        info.lastFrameIncomplete = true;
        pos = table[n].offset;
    }
    table.Resize(n + 2);
    if (info.lastFrameIncomplete) {
        // A tail of 4 GiB or more saturates; entry n + 1's offset still tells its exact end.
        table[n].length =
            static_cast<std::uint32_t>(std::min<std::int64_t>(size - pos, UINT32_MAX));
        table[n + 1].offset = size;
    }
    info.frameCount = n;
}

} // namespace velmora
