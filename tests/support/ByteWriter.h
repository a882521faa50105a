#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora::test {

// Builds byte literals one field at a time, so a test can name each field on its own line.
class ByteWriter {
public:
    ByteWriter& Text(std::string_view text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    ByteWriter& Byte(std::uint8_t b) {
        m_bytes.push_back(b);
        return *this;
    }
    ByteWriter& Bytes(std::initializer_list<std::uint8_t> bytes) {
        m_bytes.insert(m_bytes.end(), bytes);
        return *this;
    }
    ByteWriter& Fill(std::size_t count, std::uint8_t b) {
        m_bytes.insert(m_bytes.end(), count, b);
        return *this;
    }
    ByteWriter& Append(const std::vector<std::uint8_t>& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    ByteWriter& Le16(std::uint32_t v) { return Byte(v & 0xFF).Byte((v >> 8) & 0xFF); }
    ByteWriter& Le32(std::uint32_t v) { return Le16(v & 0xFFFF).Le16(v >> 16); }
    ByteWriter& Be24(std::uint32_t v) {
        return Byte((v >> 16) & 0xFF).Byte((v >> 8) & 0xFF).Byte(v & 0xFF);
    }
    ByteWriter& Be32(std::uint32_t v) { return Byte(v >> 24).Be24(v & 0xFFFFFF); }
    ByteWriter& Syncsafe32(std::uint32_t v) {
        return Byte((v >> 21) & 0x7F).Byte((v >> 14) & 0x7F).Byte((v >> 7) & 0x7F).Byte(v & 0x7F);
    }

    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    operator const std::vector<std::uint8_t>&() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace velmora::test
