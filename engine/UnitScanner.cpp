#include "UnitScanner.h"

namespace velmora {

void FrameTable::Resize(std::int64_t n) {
    const std::size_t chunks = static_cast<std::size_t>((n + kChunkSize - 1) >> kChunkBits);
    while (m_chunks.size() < chunks)
        m_chunks.push_back(std::make_unique<FrameEntry[]>(kChunkSize));
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

} // namespace velmora
