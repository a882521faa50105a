#include "UnitScanner.h"

#include "Progress.h"
#include "UnitIo.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitSideInfo.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr std::size_t ChunkBytes(std::int64_t entries) {
    return static_cast<std::size_t>(entries) * sizeof(FrameEntry);
}

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// A whole chunk is a whole number of huge pages.
static_assert(ChunkBytes(FrameTable::kChunkSize) % kHugePage == 0);
// From here on the last chunk is a whole one.
constexpr std::int64_t kWholeFrom = FrameTable::kChunkSize / 16;

// A small chunk: a plain anonymous mapping, grown in place.
FrameEntry* MapSmallChunk(std::int64_t entries) {
    void* p = ::mmap(nullptr, ChunkBytes(entries), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<FrameEntry*>(p);
}

// A whole chunk, aligned to huge pages and asking for them: first-touch faults on fresh memory
// are costly (on virtual machines especially), and a huge page takes one where 4 KiB pages take
// 512. Pages are still made resident only as entries reach them.
FrameEntry* MapWholeChunk() {
    const std::size_t bytes = ChunkBytes(FrameTable::kChunkSize);
    void* raw = ::mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const std::size_t tail = kHugePage - (aligned - start); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    (void)::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<FrameEntry*>(aligned);
}

} // namespace

void FrameTable::GrowLastChunk(std::int64_t entries) {
    FrameEntry* last = m_chunks.back();
    if (entries >= kWholeFrom) {
        // Moved once into a whole chunk; the entries so far are few.
        FrameEntry* whole = MapWholeChunk();
        std::memcpy(static_cast<void*>(whole), last, ChunkBytes(m_lastCapacity));
        ::munmap(last, ChunkBytes(m_lastCapacity));
        m_chunks.back() = whole;
        m_lastCapacity = kChunkSize;
        return;
    }
    void* grown = ::mremap(last, ChunkBytes(m_lastCapacity), ChunkBytes(entries), MREMAP_MAYMOVE);
    if (grown == MAP_FAILED)
        throw std::bad_alloc();
    m_chunks.back() = static_cast<FrameEntry*>(grown);
    // The new half is about to be filled: made resident in one call rather than a fault per page
    // (a kernel without the call faults them in as before).
    (void)::madvise(static_cast<char*>(grown) + ChunkBytes(m_lastCapacity),
                    ChunkBytes(entries) - ChunkBytes(m_lastCapacity), MADV_POPULATE_WRITE);
    m_lastCapacity = entries;
}

void FrameTable::Clear() {
    for (std::size_t c = 0; c < m_chunks.size(); ++c)
        ::munmap(m_chunks[c], ChunkBytes(c + 1 == m_chunks.size() ? m_lastCapacity : kChunkSize));
    m_chunks.clear();
    m_lastCapacity = 0;
    m_size = 0;
}

void FrameTable::Resize(std::int64_t n) {
    // 1024 entries (six pages) to start, doubling; a whole chunk once the stream is longer than a
    // sixteenth of one, and every further chunk whole.
    constexpr std::int64_t kFirstCapacity = 1024;
    const std::size_t chunks = static_cast<std::size_t>((n + kChunkSize - 1) >> kChunkBits);
    m_chunks.reserve(chunks);
    while (m_chunks.size() < chunks) {
        if (!m_chunks.empty() && m_lastCapacity < kChunkSize)
            GrowLastChunk(kChunkSize);
        const bool first = m_chunks.empty();
        m_chunks.push_back(first ? MapSmallChunk(kFirstCapacity) : MapWholeChunk());
        m_lastCapacity = first ? kFirstCapacity : kChunkSize;
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
        Refill(pos, want);
        return m_data;
    }
    const std::uint8_t* End() const { return m_data + m_have; }

private:
    void Refill(std::int64_t pos, std::int64_t want) {
        std::int64_t kept = 0;
        if (pos >= m_base && pos < m_base + m_have) {
            kept = m_base + m_have - pos;
            std::memmove(m_buffer.get(), m_buffer.get() + (pos - m_base),
                         static_cast<std::size_t>(kept));
        }
        m_base = pos;
        m_have = kept;
        const std::int64_t target =
            std::min(m_source.size - pos, std::max(want, kReadPiece + kFrameBytes - kept));
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
        if (m_source.listener)
            m_source.listener->BytesRead(at, m_buffer.get() + m_have, r.bytes);
        m_have += r.bytes;
    }

    const ScanSource& m_source;
    const MessageTable& m_messages;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    const std::uint8_t* m_data = nullptr;
    std::int64_t m_base = 0; // range position of m_data[0]
    std::int64_t m_have = 0; // bytes readable from m_data
};

// The first position in [from, limit) holding 0xFF, the first sync byte; limit when none.
std::int64_t NextSyncByte(RangeReader& reader, std::int64_t from, std::int64_t limit) {
    while (from < limit) {
        const std::int64_t n = std::min(limit - from, kReadPiece);
        const std::uint8_t* p = reader.Fetch(from, n);
        if (const void* hit = std::memchr(p, 0xFF, static_cast<std::size_t>(n)))
            return from + (static_cast<const std::uint8_t*>(hit) - p);
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

} // namespace

void ScanStream(StreamInfo& info, const ScanSource& source, int requiredBitrateIndex,
                const Settings& settings, const MessageTable& messages, IProgress& progress) {
    static_cast<ScanResult&>(info) = ScanResult{};
    RangeReader reader(source, messages);
    const std::int64_t size = source.size;
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
        const std::int64_t sync = NextSyncByte(reader, pos, std::max<std::int64_t>(window, 0));
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
        if ((word & mask) != value || !DecodeHeader(first, word)) {
            info.leadingGarbage = true;
            ++pos;
            continue;
        }
        if (extraInfoTaken)
            break;
        // The identifier follows the side information inside the frame; a protected frame may
        // carry it where a frame without CRC has it, two bytes earlier.
        const std::int64_t side = pos + first.sideInfoEnd;
        const std::int64_t frameEnd = std::min(size, pos + first.frameLength);
        auto identifier = [&](const char* tag) {
            return TagAt(reader, frameEnd, side, tag) ||
                   (first.hasCrc && TagAt(reader, frameEnd, side - 2, tag));
        };
        const bool xing = identifier("Xing");
        const bool infoTag = identifier("Info");
        if (!xing && !infoTag)
            break;
        info.xingFound = info.xingFound || xing;
        info.extraInfoPresent = true;
        KeepExtraInfoFrame(info, reader, size, pos);
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
    IScanListener* const listener = source.listener;
    const std::int64_t reach = listener ? listener->FrameToReach(first) : -1;
    const SilenceScanContext silence{size, &first, &settings, source.fileOffset};
    FrameTable& table = info.frames;
    std::int64_t n = 0;
    std::int64_t lastMissing = -1;
    std::int64_t availableBytes = 0;
    std::int64_t usedBits = 0;
    std::uint32_t ring[256] = {};
    unsigned ringPos = 0;
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

        const std::uint8_t* frame = reader.Fetch(pos, kFrameBytes);
        const std::uint32_t word = HeaderWordAt(frame);
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
                q = NextSyncByte(reader, q, limit);
                if (q >= limit)
                    break;
                const std::uint32_t candidate = HeaderWordAt(reader.Fetch(q, 4));
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
            frame = reader.Fetch(pos, kFrameBytes);
        }

        const std::uint8_t* const bytesEnd = reader.End();
        const std::int64_t length = h.frameLength;
        // The chain is memory-latency bound: ask for the header a few frames on in advance.
        if (kPrefetchFrames * length < bytesEnd - frame)
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
            entry.silent = IsFrameSilent(silence, frame, pos, bytesEnd, h);
            const SideInfoBits side(frame + h.headerSize, bytesEnd);
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
            entry.silent = IsFrameSilent(silence, frame, pos, bytesEnd, h);
        }

        if ((h.headerWord & info.ConstantBitsMask) != info.ConstantBitsValue) {
            const std::uint32_t differing =
                (h.headerWord ^ info.ConstantBitsValue) & info.ConstantBitsMask;
            info.ConstantBitsMask &= ~differing;
            info.ConstantBitsValue &= ~differing;
        }

        if (n == reach)
            listener->FrameReached(info, n, source.fileOffset + pos, source.fileOffset + size,
                                   frame, bytesEnd - frame);
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
