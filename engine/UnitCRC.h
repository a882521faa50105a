#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace velmora {

// MPEG audio CRC-16: polynomial 0x8005, initial 0xFFFF, MSB first, no reflection, no final XOR.
inline constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int step = 0; step < 8; ++step)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}();

inline void Crc16Update(std::span<const std::uint8_t> bytes, std::uint16_t& crc) {
    unsigned c = crc;
    for (std::uint8_t b : bytes)
        c = ((c << 8) ^ kCrc16Table[((c >> 8) ^ b) & 0xFF]) & 0xFFFF;
    crc = static_cast<std::uint16_t>(c);
}

} // namespace velmora
