#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora {

struct FrameEntry {
    std::int64_t offset = 0;       // from the scan start, then (after the open) from the file start
    std::uint32_t length = 0;      // frame length in bytes
    std::uint32_t energy = 0;      // decoded energy; 0 where not decoded
    std::uint16_t computedCrc = 0; // as FrameCrc returns it; meaningful only with a CRC
    std::uint8_t headerSize = 0;   // 4, or 6 with a CRC
    std::uint8_t reservoirDepth = 0;
    bool silent = false;
    std::uint8_t level = 0; // the overview's level, from the side information (UnitOverview)
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

} // namespace velmora
