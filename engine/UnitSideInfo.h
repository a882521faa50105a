#pragma once

#include <cstdint>
#include <cstring>

namespace velmora {

// Layer III side information as the scanner and the silence tests read it.
// Bit positions count from the first side-information byte, most significant bit first.
struct Part23Layout {
    int count;
    int positions[4];
};

// The version is the stream's first header's; the channel mode is the frame's own.
inline constexpr Part23Layout Part23LayoutFor(bool mpeg1, bool mono) {
    if (mpeg1)
        return mono ? Part23Layout{2, {18, 77, 0, 0}} : Part23Layout{4, {20, 79, 138, 197}};
    return mono ? Part23Layout{1, {9, 0, 0, 0}} : Part23Layout{2, {10, 73, 0, 0}};
}

// Enough side-information bytes for every field above, plus the byte a 3-byte read may touch.
inline constexpr int kSideInfoReadBytes = 30;

// The side information of one frame, copied into a zero-padded buffer only where the frame
// lies so close to the end of the range that a direct read could run past it.
class SideInfoBits {
public:
    SideInfoBits(const std::uint8_t* side, const std::uint8_t* rangeEnd) : m_bytes(side) {
        if (rangeEnd - side < kSideInfoReadBytes) {
            std::memset(m_padded, 0, sizeof m_padded);
            const auto available = rangeEnd - side;
            if (available > 0)
                std::memcpy(m_padded, side, static_cast<std::size_t>(available));
            m_bytes = m_padded;
        }
    }
    SideInfoBits(const SideInfoBits&) = delete;
    SideInfoBits& operator=(const SideInfoBits&) = delete;

    // Up to 16 bits at bit `pos`.
    std::uint32_t Bits(int pos, int width) const {
        const std::uint8_t* b = m_bytes + (pos >> 3);
        const std::uint32_t v = (std::uint32_t{b[0]} << 16) | (std::uint32_t{b[1]} << 8) | b[2];
        return (v >> (24 - (pos & 7) - width)) & ((1u << width) - 1);
    }
    std::uint32_t MainDataBegin(bool mpeg1) const { return Bits(0, mpeg1 ? 9 : 8); }
    std::uint32_t Part23Length(const Part23Layout& layout, int i) const {
        return Bits(layout.positions[i], 12);
    }
    // Granule and channel i's global_gain, after its part2_3_length and big_values.
    std::uint32_t GlobalGain(const Part23Layout& layout, int i) const {
        return Bits(layout.positions[i] + 21, 8);
    }

private:
    const std::uint8_t* m_bytes;
    std::uint8_t m_padded[kSideInfoReadBytes];
};

} // namespace velmora
