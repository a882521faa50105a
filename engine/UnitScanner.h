#pragma once

#include "UnitID3v2.h"
#include "UnitMP3.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;

struct FrameEntry {
    std::int64_t offset = 0;       // from the scan start, then (after the open) from the file start
    std::uint32_t length = 0;      // frame length in bytes
    std::uint32_t energy = 0;      // decoded energy; 0 where not decoded
    std::uint16_t computedCrc = 0; // as FrameCrc returns it; meaningful only with a CRC
    std::uint8_t headerSize = 0;   // 4, or 6 with a CRC
    std::uint8_t reservoirDepth = 0;
    bool silent = false;
};
static_assert(sizeof(FrameEntry) == 24);
// All-zero bytes are a default entry: the table zeroes its chunks with memset.
static_assert(std::is_aggregate_v<FrameEntry> && std::is_trivially_copyable_v<FrameEntry>);

// Frames 0 … count - 1 and the two end entries. Stored in fixed chunks so that a long
// recording never needs one huge block nor a doubling copy.
class FrameTable {
public:
    static constexpr int kChunkBits = 18; // 6 MiB: three huge pages
    static constexpr std::int64_t kChunkSize = std::int64_t{1} << kChunkBits;

    FrameTable() = default;
    FrameTable(FrameTable&& other) noexcept { Swap(other); }
    FrameTable& operator=(FrameTable&& other) noexcept {
        FrameTable moved(std::move(other));
        Swap(moved);
        return *this;
    }
    FrameTable(const FrameTable&) = delete;
    FrameTable& operator=(const FrameTable&) = delete;
    ~FrameTable() { Clear(); }

    FrameEntry& operator[](std::int64_t i) {
        CheckIndex(i);
        return m_chunks[static_cast<std::size_t>(i >> kChunkBits)][i & (kChunkSize - 1)];
    }
    const FrameEntry& operator[](std::int64_t i) const {
        CheckIndex(i);
        return m_chunks[static_cast<std::size_t>(i >> kChunkBits)][i & (kChunkSize - 1)];
    }
    std::int64_t size() const { return m_size; }
    // Makes entries 0 … n - 1 exist; new entries are zeroed.
    void Resize(std::int64_t n);
    void Clear();
    // Ensures entry i exists (growing by whole chunks) and returns it.
    FrameEntry& At(std::int64_t i) {
        if (i >= m_size)
            Resize(i + 1);
        return (*this)[i];
    }
    std::int64_t MemoryBytes() const {
        if (m_chunks.empty())
            return 0;
        return (static_cast<std::int64_t>(m_chunks.size() - 1) * kChunkSize + m_lastCapacity) *
               static_cast<std::int64_t>(sizeof(FrameEntry));
    }

private:
    // Chunks are anonymous mappings, so new entries come zeroed from the system without a pass of
    // their own. Only the first may hold fewer than kChunkSize entries (grown in place while the
    // stream is short), so a short stream never pays for a whole chunk. Entries past the size are
    // always zero.
    void GrowLastChunk(std::int64_t entries);
    void CheckIndex([[maybe_unused]] std::int64_t i) const {
#if VELMORA_INDEX_CHECKS
        if (i < 0 || i >= m_size)
            __builtin_trap();
#endif
    }
    void Swap(FrameTable& other) noexcept {
        m_chunks.swap(other.m_chunks);
        std::swap(m_lastCapacity, other.m_lastCapacity);
        std::swap(m_size, other.m_size);
    }
    std::vector<FrameEntry*> m_chunks;
    std::int64_t m_lastCapacity = 0;
    std::int64_t m_size = 0;
};

// The leading extra-info ("Xing"/"Info") frame as found in the source.
struct ExtraInfoFrameCopy {
    MpegHeader header;               // decoded as if it had no CRC
    std::vector<std::uint8_t> bytes; // up to 2881; identifier moved to the no-CRC place
};

struct SilentFrameTemplateData {
    MpegHeader header;
    std::vector<std::uint8_t> image; // one frame of digital silence, at most 1728 bytes
};

// What decides the head of an output: the first header, the bitrate statistics and the leading
// extra-info frame. A forecast copies it from a scan under way.
struct StreamShape {
    MpegHeader firstHeader;
    std::array<std::int64_t, 16> BitrateHistogram{};
    std::uint32_t ConstantBitsMask = 0;
    std::uint32_t ConstantBitsValue = 0;
    bool extraInfoPresent = false;
    bool xingFound = false;
    ExtraInfoFrameCopy ExtraInfoFrame;
};

// Everything one scan sets; each scan starts from a default one.
struct ScanResult : StreamShape {
    std::int64_t frameCount = 0;
    FrameTable frames; // frameCount entries plus the two end entries
    std::int64_t missingHeaderCount = 0;
    std::vector<std::int64_t> MissingHeaderList; // the first 10
    std::int64_t badCrcCount = 0;
    bool leadingGarbage = false;
    bool lastFrameIncomplete = false;
    bool mp3Pro = false;
};

// The tags and the RIFF header around the audio (offsets from the file start), found by the open
// before it scans.
struct TagLayout {
    std::int64_t id3v1Size = 0;
    std::array<std::uint8_t, 128> id3v1Bytes{};
    std::int64_t apeSize = 0, apeOffset = 0;
    std::int64_t lyrics3Size = 0, lyrics3Offset = 0;
    std::int64_t riffHeaderSize = 0;
    TID3v2 id3v2;
};

struct StreamInfo : ScanResult, TagLayout {
    // Set by the open pipeline (offsets from the file start).
    std::int64_t sourceSize = 0;
    std::int64_t sourceTimeNs = 0; // last-write time, nanoseconds since the epoch
    std::int64_t audioStart = 0;
    bool retried = false;
    MpegHeader SeekHeaderTemplate;
    SilentFrameTemplateData SilentFrameTemplate;
    bool abruptEnding = false;

    bool IsVbr() const { return (ConstantBitsMask & kBitrateMask) != kBitrateMask; }
    int DominantBitrateIndex() const;
};

// Follows a scan from one chosen frame on, seeing the bytes it reads (a Save As from the command
// line copies the kept frames while the file is still being analysed). Offsets are file offsets.
class IScanListener {
public:
    virtual ~IScanListener() = default;
    // Asked once the stream's first header is known: the index of the frame to report, or -1.
    virtual std::int64_t FrameToReach(const MpegHeader& first) = 0;
    // Frame `index` lies complete at `offset`. `partial` is the scan so far (its counts and
    // templates are not yet set); `bytes` holds `count` bytes from `offset` on, the frame and
    // what the scan has read after it; `rangeEnd` is where the scanned range ends.
    virtual void FrameReached(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                              std::int64_t rangeEnd, const std::uint8_t* bytes,
                              std::int64_t count) = 0;
    // `count` bytes at `offset`, read from the file after that (a file source only).
    virtual void BytesRead(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) = 0;
};

// The range a scan reads: bytes held in memory, or a stretch of an open file that the scan reads
// piece by piece through a small reused buffer (a recording is never held whole, and reading it
// costs less than walking it through a mapping page by page).
struct ScanSource {
    std::span<const std::uint8_t> memory; // the range itself, when fd < 0
    int fd = -1;
    std::int64_t fileOffset = 0; // where the range starts in the file
    std::int64_t size = 0;
    IScanListener* listener = nullptr;

    static ScanSource Memory(std::span<const std::uint8_t> bytes, std::int64_t fileOffset = 0) {
        return {bytes, -1, fileOffset, static_cast<std::int64_t>(bytes.size()), nullptr};
    }
    static ScanSource File(int fd, std::int64_t offset, std::int64_t size) {
        return {{}, fd, offset, size, nullptr};
    }
};

// Scans the range into `info` (offsets in the table are from the range's start).
// requiredBitrateIndex: 0 for none. The silence tests compare file-aligned words, hence the
// range's file offset. Throws VelmoraError on failure (a file that cannot be read, or one cut
// short while it is read, included); `info` is then unusable.
void ScanStream(StreamInfo& info, const ScanSource& source, int requiredBitrateIndex,
                const Settings& settings, const MessageTable& messages, IProgress& progress);

// The same for a range in memory that starts at `fileOffset` in the file.
inline void ScanStream(StreamInfo& info, std::span<const std::uint8_t> data,
                       int requiredBitrateIndex, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       std::int64_t fileOffset = 0) {
    ScanStream(info, ScanSource::Memory(data, fileOffset), requiredBitrateIndex, settings, messages,
               progress);
}

} // namespace velmora
