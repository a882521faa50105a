#include "UnitScanner.h"

#include "Progress.h"
#include "UnitIo.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitOverview.h"
#include "UnitSideInfo.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace velmora {

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
// Enough for the longest frame and the side-information reads of a short one.
constexpr std::int64_t kFrameBytes = 2881 + 64;
// A file is read in pieces small enough to stay in the processor's cache.
constexpr std::int64_t kReadPiece = 128 * 1024;

// The scan's view of its range: memory is used in place; a file is read through one buffer that
// slides forward, keeping the unread rest of the previous piece.
class RangeReader {
public:
    RangeReader(const ScanSource& source, const MessageTable& messages)
        : m_source(source), m_messages(messages) {
        if (source.fd < 0) {
            m_data = source.memory.data();
            m_have = source.size;
        } else {
            m_buffer.reset(new std::uint8_t[kReadPiece + kFrameBytes]);
            m_data = m_buffer.get();
        }
    }

    // Points at byte `pos` (0 <= pos < size) with at least min(need, size - pos) bytes readable,
    // up to End(); `need` is at most kReadPiece. Valid until the next call.
    const std::uint8_t* Fetch(std::int64_t pos, std::int64_t need) {
        const std::int64_t want = std::min(need, m_source.size - pos);
        if (pos >= m_base && pos + want <= m_base + m_have)
            return m_data + (pos - m_base);
        Refill(pos);
        return m_data;
    }
    const std::uint8_t* End() const { return m_data + m_have; }

private:
    void Refill(std::int64_t pos) {
        std::int64_t kept = 0;
        if (pos >= m_base && pos < m_base + m_have) {
            kept = m_base + m_have - pos;
            std::memmove(m_buffer.get(), m_buffer.get() + (pos - m_base),
                         static_cast<std::size_t>(kept));
        }
        m_base = pos;
        m_have = kept;
        // Fill the whole buffer, so that the next refill comes a piece later, not a byte later.
        const std::int64_t target = std::min(m_source.size - pos, kReadPiece + kFrameBytes);
        if (m_have >= target)
            return;
        const std::int64_t at = m_source.fileOffset + m_base + m_have;
        const IoResult r = PreadFully(m_source.fd, m_buffer.get() + m_have, target - m_have, at);
        // A file cut short since it was measured reads as an error, not as a shorter stream.
        if (r.error != 0 || r.bytes < target - m_have)
            throw VelmoraError(std::string(std::strerror(r.error != 0 ? r.error : EIO)) + " - " +
                               MessageOr(m_messages, kMsgErrorAnalyzing,
                                         "Error analyzing this file - probably not an MPEG "
                                         "audio file"));
        m_have += r.bytes;
    }

    const ScanSource& m_source;
    const MessageTable& m_messages;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    const std::uint8_t* m_data = nullptr;
    std::int64_t m_base = 0; // range position of m_data[0]
    std::int64_t m_have = 0; // bytes readable from m_data
};

constexpr bool NoTableEntry(int index) {
    for (const auto& version : kBitrateTable)
        for (const auto& layer : version)
            if (layer[15] != 0)
                return false;
    for (const auto& rates : kSampleRateTable)
        if (rates[index] != 0)
            return false;
    return true;
}
static_assert(NoTableEntry(3), "bitrate index 15 and sampling-rate index 3 are never valid");

// Whether the four bytes at `p` may hold a frame header: the sync word, and none of the fields
// DecodeHeader refuses whatever the others hold (a reserved version, layer or sampling rate, or
// the bad bitrate index).
bool MayStartHeader(const std::uint8_t* p) {
    return (p[1] & 0xE0) == 0xE0 && (p[1] & 0x18) != 0x08 && (p[1] & 0x06) != 0 &&
           (p[2] & 0xF0) != 0xF0 && (p[2] & 0x0C) != 0x0C;
}

// The first position in [from, limit) where a frame header may start; limit when none. The
// caller has checked that four bytes exist at every position before limit. Skipping what cannot
// be a header keeps a long run of 0xFF bytes as cheap as any other data.
std::int64_t NextPossibleHeader(RangeReader& reader, std::int64_t from, std::int64_t limit) {
    while (from < limit) {
        // Searches what the buffer holds: asking for a whole piece at every candidate would
        // refill it for every byte of a run of sync bytes.
        const std::uint8_t* p = reader.Fetch(from, std::min(limit - from + 3, kFrameBytes));
        const std::int64_t n = std::min(limit - from, reader.End() - p - 3);
        const std::uint8_t* const end = p + n;
        for (const std::uint8_t* q = p; q < end; ++q) {
            // A run of 0xFF is stepped through here; memchr finds the start of the next one.
            if (*q != 0xFF)
                q = static_cast<const std::uint8_t*>(
                    std::memchr(q, 0xFF, static_cast<std::size_t>(end - q)));
            if (!q)
                break;
            if (MayStartHeader(q))
                return from + (q - p);
        }
        from += n;
    }
    return limit;
}

bool TagAt(RangeReader& reader, std::int64_t size, std::int64_t at, const char* tag) {
    return at >= 0 && at + 4 <= size && std::memcmp(reader.Fetch(at, 4), tag, 4) == 0;
}

bool TagAt(const std::uint8_t* start, std::int64_t size, std::int64_t at, const char* tag) {
    return at >= 0 && at + 4 <= size && std::memcmp(start + at, tag, 4) == 0;
}

// Keeps the leading extra-info frame at `pos`, with its identifier where a frame without CRC
// has it.
void KeepExtraInfoFrame(StreamInfo& info, RangeReader& reader, std::int64_t size,
                        std::int64_t pos) {
    const MpegHeader& first = info.firstHeader;
    ExtraInfoFrameCopy& copy = info.ExtraInfoFrame;
    DecodeHeader(copy.header, first.headerWord | kProtectionMask);
    const std::int64_t length = first.frameLength;
    if (pos + length > size)
        return;
    const std::int64_t kept = std::min<std::int64_t>(length, kMaxExtraInfoBytes);
    const std::uint8_t* frame = reader.Fetch(pos, kept);
    copy.bytes.assign(frame, frame + kept);
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

// The header bits every frame of the chain must show: the sync word and any required bitrate,
// then (unless patched streams are allowed) the first frame's layer and rate.
struct HeaderFilter {
    std::uint32_t mask = kSyncMask;
    std::uint32_t value = kSyncMask;

    explicit HeaderFilter(int requiredBitrateIndex) {
        if (requiredBitrateIndex > 0) {
            mask |= kBitrateMask;
            value |= static_cast<std::uint32_t>(requiredBitrateIndex & 15) << 20;
        }
    }
    bool Matches(std::uint32_t word) const { return (word & mask) == value; }
};

// The header last decoded: most consecutive frames repeat their header word.
class HeaderCache {
public:
    bool Decode(std::uint32_t word) {
        if (word != m_word || !m_ok) {
            m_ok = DecodeHeader(m_header, word);
            m_word = word;
        }
        return m_ok;
    }
    const MpegHeader& header() const { return m_header; }

private:
    MpegHeader m_header;
    std::uint32_t m_word = 0;
    bool m_ok = false;
};

struct ExtraInfoIdentifiers {
    bool xing = false;
    bool info = false;
};

// The identifier follows the side information inside the frame; a protected frame may carry it
// where a frame without CRC has it, two bytes earlier.
ExtraInfoIdentifiers ExtraInfoAt(RangeReader& reader, const MpegHeader& first, std::int64_t pos,
                                 std::int64_t size) {
    const std::int64_t side = pos + first.sideInfoEnd;
    const std::int64_t frameEnd = std::min(size, pos + first.frameLength);
    auto identifier = [&](const char* tag) {
        return TagAt(reader, frameEnd, side, tag) ||
               (first.hasCrc && TagAt(reader, frameEnd, side - 2, tag));
    };
    return {identifier("Xing"), identifier("Info")};
}

// The first audio frame's position, stepping over one leading extra-info frame (kept in `info`).
// Throws the "no header" failure when no header lies within the search window.
std::int64_t FindFirstFrame(StreamInfo& info, RangeReader& reader, std::int64_t size,
                            std::int64_t window, const HeaderFilter& filter,
                            const MessageTable& messages) {
    MpegHeader& first = info.firstHeader;
    std::int64_t pos = 0;
    bool extraInfoTaken = false;
    for (;;) {
        const std::int64_t sync =
            NextPossibleHeader(reader, pos, std::max<std::int64_t>(window, 0));
        if (sync != pos) {
            info.leadingGarbage = true;
            pos = sync;
        }
        if (pos >= window) {
            throw VelmoraError(
                MessageOr(messages, kMsgNoValidHeader,
                          "Failed to find a valid MPEG header - this is not an MP3 file!"),
                ErrorKind::NoHeader);
        }
        const std::uint32_t word = HeaderWordAt(reader.Fetch(pos, 4));
        if (!filter.Matches(word) || !DecodeHeader(first, word)) {
            info.leadingGarbage = true;
            ++pos;
            continue;
        }
        if (extraInfoTaken)
            return pos;
        const ExtraInfoIdentifiers found = ExtraInfoAt(reader, first, pos, size);
        if (!found.xing && !found.info)
            return pos;
        info.xingFound = info.xingFound || found.xing;
        info.extraInfoPresent = true;
        KeepExtraInfoFrame(info, reader, size, pos);
        pos += first.frameLength;
        extraInfoTaken = true;
    }
}

// After a missing header: the next position before `limit` whose header restores the chain, one
// that agrees with every constant bit unless `anyHeader`; -1 when there is none.
std::int64_t Resynchronise(RangeReader& reader, const StreamInfo& info, const HeaderFilter& filter,
                           HeaderCache& headers, std::int64_t pos, std::int64_t limit,
                           bool anyHeader) {
    for (std::int64_t q = pos; q < limit; ++q) {
        q = NextPossibleHeader(reader, q, limit);
        if (q >= limit)
            break;
        const std::uint32_t candidate = HeaderWordAt(reader.Fetch(q, 4));
        if (filter.Matches(candidate) && headers.Decode(candidate) &&
            (anyHeader || (candidate & info.ConstantBitsMask) == info.ConstantBitsValue))
            return q;
    }
    return -1;
}

void NoteMissingHeader(StreamInfo& info, std::int64_t index) {
    info.MissingHeaderList.push_back(index);
    ++info.missingHeaderCount;
}

// The frame's own fields, its bitrate in the histogram and its CRC check.
void RecordFrame(StreamInfo& info, FrameEntry& entry, const MpegHeader& h,
                 const std::uint8_t* frame, std::int64_t pos, std::int64_t size) {
    entry.length = static_cast<std::uint32_t>(h.frameLength);
    entry.headerSize = static_cast<std::uint8_t>(h.headerSize);
    ++info.BitrateHistogram[(h.headerWord >> 20) & 15];
    // A CRC over side information that would run past the range cannot be checked.
    if (h.hasCrc && pos + 6 + kSideInfoSizeTable[h.versionId][h.channelMode] <= size) {
        entry.computedCrc = FrameCrc(h, frame);
        if (entry.computedCrc != StoredCrc(frame))
            ++info.badCrcCount;
    }
}

// Keeps only the header bits every frame so far agrees on.
void NarrowConstantBits(StreamInfo& info, std::uint32_t word) {
    if ((word & info.ConstantBitsMask) != info.ConstantBitsValue) {
        const std::uint32_t differing = (word ^ info.ConstantBitsValue) & info.ConstantBitsMask;
        info.ConstantBitsMask &= ~differing;
        info.ConstantBitsValue &= ~differing;
    }
}

// The Layer III bit reservoir: how far back each frame's main data reaches, and for MPEG 2 and
// 2.5 the main-data bytes offered and the bits used (their gap marks mp3PRO).
class ReservoirTracker {
public:
    // How many earlier frames the main data of frame `index` reaches back into.
    std::uint8_t Follow(const std::uint8_t* side, const std::uint8_t* bytesEnd, const MpegHeader& h,
                        bool mpeg1, std::int64_t index) {
        const SideInfoBits bits(side, bytesEnd);
        const auto mainBytes = static_cast<std::uint32_t>(h.frameLength - h.sideInfoEnd);
        if (!mpeg1) {
            m_offeredBytes += mainBytes;
            const Part23Layout layout = Part23LayoutFor(mpeg1, h.channelMode == kMono);
            for (int i = 0; i < layout.count; ++i)
                m_usedBits += bits.Part23Length(layout, i);
        }
        std::int64_t behind = bits.MainDataBegin(mpeg1);
        m_ring[m_at] = mainBytes;
        unsigned depth = 0;
        unsigned at = m_at;
        for (std::int64_t steps = 0; behind > 0 && steps < index; ++steps) {
            ++depth;
            at = (at - 1) & 255u;
            behind -= m_ring[at];
        }
        m_at = (m_at + 1) & 255u;
        return static_cast<std::uint8_t>(std::min(depth, 255u));
    }
    // The unused main-data bytes per frame.
    std::int64_t UnusedPerFrame(std::int64_t frames) const {
        return (m_offeredBytes - m_usedBits / 8) / frames;
    }

private:
    std::uint32_t m_ring[256] = {}; // main-data bytes of the last 256 frames
    unsigned m_at = 0;
    std::int64_t m_offeredBytes = 0;
    std::int64_t m_usedBits = 0;
};

// Where the chain of frames ended.
struct ChainEnd {
    std::int64_t frames = 0;
    std::int64_t pos = 0;          // where the chain stopped
    std::int64_t lastMissing = -1; // the last entry whose header was missing
    std::int64_t unusedMainData = 0;
};

// Follows the chain of frames from the first one at `pos`, filling the frame table, the counts
// and the statistics.
ChainEnd FollowChain(StreamInfo& info, RangeReader& reader, const ScanSource& source,
                     std::int64_t pos, const HeaderFilter& filter, std::int64_t window,
                     const Settings& settings, IProgress& progress, ProgressGate& gate) {
    const std::int64_t size = source.size;
    const MpegHeader& first = info.firstHeader;
    const bool layer3 = first.layerId == kLayer3;
    const bool mpeg1 = first.versionId == kMpeg1;
    const bool patched = settings.CheckBoxAllowPatchedStreams;
    IScanListener* const listener = source.listener;
    const std::int64_t reach = listener ? listener->FrameToReach(first) : -1;
    const SilenceScanContext silence{size, &first, &settings, source.fileOffset};
    FrameTable& table = info.frames;
    ReservoirTracker reservoir;
    HeaderCache headers;
    std::int64_t n = 0;
    std::int64_t lastMissing = -1;
    for (;;) {
        FrameEntry& entry = table.At(n);
        entry = FrameEntry{};
        entry.offset = pos;
        if (pos + 4 >= size)
            break;

        const std::uint8_t* frame = reader.Fetch(pos, kFrameBytes);
        const std::uint32_t word = HeaderWordAt(frame);
        const bool present = filter.Matches(word);
        if (!present) {
            NoteMissingHeader(info, n);
            lastMissing = n;
        }
        // After a missing header only a header agreeing with every constant bit restores the
        // chain.
        if (!present || !headers.Decode(word)) {
            const std::int64_t found =
                Resynchronise(reader, info, filter, headers, pos, std::min(pos + window, size - 4),
                              patched || present);
            if (found < 0)
                break;
            pos = entry.offset = found;
            frame = reader.Fetch(pos, kFrameBytes);
        }

        const MpegHeader& h = headers.header();
        const std::uint8_t* const bytesEnd = reader.End();
        const std::int64_t length = h.frameLength;
        // The chain is memory-latency bound: ask for the header a few frames on in advance.
        if (kPrefetchFrames * length < bytesEnd - frame)
            __builtin_prefetch(frame + kPrefetchFrames * length);
        if (pos + length > size) {
            info.lastFrameIncomplete = true;
            break;
        }
        RecordFrame(info, entry, h, frame, pos, size);
        if (length <= h.sideInfoEnd) {
            ++pos;
            continue;
        }
        entry.silent = IsFrameSilent(silence, frame, pos, bytesEnd, h);
        if (layer3) {
            entry.reservoirDepth = reservoir.Follow(frame + h.headerSize, bytesEnd, h, mpeg1, n);
            entry.level =
                OverviewLevel(frame + h.headerSize, bytesEnd, mpeg1, h.channelMode == kMono);
        }
        NarrowConstantBits(info, h.headerWord);

        if (n == reach)
            listener->FrameReached(info, n, source.fileOffset + pos, source.fileOffset + size);
        pos += length;
        ++n;
        ThrowIfStopped(progress);
        gate.Show(pos);
        CheckPoint(progress, n, 1024);
    }
    const bool mpeg2Layer3 = first.versionId == kMpeg2 && layer3;
    // An empty stream has no average to judge.
    return {n, pos, lastMissing, mpeg2Layer3 && n > 0 ? reservoir.UnusedPerFrame(n) : 0};
}

// The end entries, the incomplete tail and the verdicts taken over the whole chain.
void FinishScan(StreamInfo& info, const ChainEnd& end, std::int64_t size) {
    FrameTable& table = info.frames;
    const std::int64_t n = end.frames;
    std::int64_t pos = end.pos;
    if (n >= 2 && table[n - 2].silent)
        table[n - 1].silent = true;
    const MpegHeader& first = info.firstHeader;
    if (first.versionId == kMpeg2 && first.layerId == kLayer3 && n > 0)
        info.mp3Pro = end.unusedMainData >= (first.channelMode == kMono ? 5 : 10);
    if (info.missingHeaderCount > 0 && end.lastMissing == n) {
        --info.missingHeaderCount;
        info.MissingHeaderList.pop_back();
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

} // namespace

void ScanStream(StreamInfo& info, const ScanSource& source, int requiredBitrateIndex,
                const Settings& settings, const MessageTable& messages, IProgress& progress) {
    static_cast<ScanResult&>(info) = ScanResult{};
    RangeReader reader(source, messages);
    const std::int64_t size = source.size;
    const std::int64_t window = std::min(size - 4, kSearchWindow);
    ProgressGate gate(progress, size);
    gate.Show(0);

    HeaderFilter filter(requiredBitrateIndex);
    const std::int64_t pos = FindFirstFrame(info, reader, size, window, filter, messages);
    const MpegHeader& first = info.firstHeader;
    info.ConstantBitsMask = kAllButPadding;
    info.ConstantBitsValue = first.headerWord & kAllButPadding;
    if (!settings.CheckBoxAllowPatchedStreams) {
        filter.mask |= kLayerRateMask;
        filter.value = first.headerWord & filter.mask;
    }
    const ChainEnd end =
        FollowChain(info, reader, source, pos, filter, window, settings, progress, gate);
    gate.Show(size);
    FinishScan(info, end, size);
}

} // namespace velmora
