#include "UnitFrameTable.h"

#include "UnitIo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

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
    IgnoreFailure(::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE));
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
    IgnoreFailure(::madvise(static_cast<char*>(grown) + ChunkBytes(m_lastCapacity),
                            ChunkBytes(entries) - ChunkBytes(m_lastCapacity), MADV_POPULATE_WRITE));
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

} // namespace velmora
