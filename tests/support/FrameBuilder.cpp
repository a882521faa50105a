#include "FrameBuilder.h"

#include "UnitMP3.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace velmora::test {

void PutBits(std::uint8_t* bytes, int pos, int width, std::uint32_t value) {
    for (int i = 0; i < width; ++i) {
        const int bit = pos + i;
        const bool on = (value >> (width - 1 - i)) & 1;
        const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (bit & 7));
        if (on)
            bytes[bit >> 3] |= mask;
        else
            bytes[bit >> 3] &= static_cast<std::uint8_t>(~mask);
    }
}

std::uint32_t GetBits(const std::uint8_t* bytes, int pos, int width) {
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        const int bit = pos + i;
        v = (v << 1) | ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
    }
    return v;
}

std::uint32_t HeaderWord(const FrameSpec& s) {
    std::uint8_t b[4];
    b[0] = 0xFF;
    b[1] =
        static_cast<std::uint8_t>(0xE0 | (s.versionId << 3) | (s.layerId << 1) | (s.crc ? 0 : 1));
    b[2] = static_cast<std::uint8_t>((s.bitrateIndex << 4) | (s.sampleRateIndex << 2) |
                                     (s.padding ? 2 : 0) | (s.privateBit ? 1 : 0));
    b[3] = static_cast<std::uint8_t>((s.channelMode << 6) | (s.modeExtension << 4));
    return HeaderWordAt(b);
}

MpegHeader Mpeg1Layer3Header() {
    const std::uint8_t b[4] = {0xFF, 0xFB, 0x90, 0x64};
    MpegHeader h;
    DecodeHeader(h, HeaderWordAt(b));
    return h;
}

FrameSpec AudibleFrameSpec(int mainBytes) {
    FrameSpec s;
    s.part23Length = {800, 800, 800, 800};
    s.fill = 0;
    for (int i = 0; i < mainBytes; ++i)
        s.mainData.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return s;
}

int SlotCount(const FrameSpec& s) {
    const int channels = s.channelMode == 3 ? 1 : 2;
    return s.versionId == 3 ? 2 * channels : channels;
}

int Part23Position(const FrameSpec& s, int slot) {
    const bool mono = s.channelMode == 3;
    if (s.versionId == 3)
        return (mono ? 18 : 20) + 59 * slot;
    return (mono ? 9 : 10) + 63 * slot;
}

std::vector<std::uint8_t> BuildFrame(const FrameSpec& s) {
    MpegHeader h;
    const std::uint32_t word = HeaderWord(s);
    if (!DecodeHeader(h, word))
        throw std::invalid_argument("FrameBuilder: header not acceptable");
    std::vector<std::uint8_t> f(static_cast<std::size_t>(h.frameLength), s.fill);
    for (int i = 0; i < 4; ++i)
        f[i] = static_cast<std::uint8_t>(word >> (8 * i));
    const int sideBytes = kSideInfoSizeTable[h.versionId][h.channelMode];
    std::uint8_t* side = f.data() + h.headerSize;
    if (h.headerSize + sideBytes <= h.frameLength) {
        std::memset(side, 0, static_cast<std::size_t>(sideBytes));
        if (s.layerId == 1) {
            PutBits(side, 0, s.versionId == 3 ? 9 : 8, static_cast<std::uint32_t>(s.mainDataBegin));
            for (int slot = 0; slot < SlotCount(s); ++slot) {
                const int pos = Part23Position(s, slot);
                PutBits(side, pos, 12, static_cast<std::uint32_t>(s.part23Length[slot]));
                PutBits(side, pos + 21, 8, static_cast<std::uint32_t>(s.globalGain[slot]));
            }
        }
        const std::size_t mainStart = static_cast<std::size_t>(h.sideInfoEnd);
        for (std::size_t i = 0; i < s.mainData.size() && mainStart + i < f.size(); ++i)
            f[mainStart + i] = s.mainData[i];
    }
    if (s.crc && f.size() >= static_cast<std::size_t>(6 + sideBytes)) {
        std::uint16_t crc = FrameCrc(h, f.data());
        if (s.badCrc)
            crc ^= 0x0101;
        f[4] = static_cast<std::uint8_t>(crc & 0xFF);
        f[5] = static_cast<std::uint8_t>(crc >> 8);
    }
    return f;
}

void AppendFrames(std::vector<std::uint8_t>& out, const FrameSpec& spec, int count) {
    const std::vector<std::uint8_t> frame = BuildFrame(spec);
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), frame.begin(), frame.end());
}

std::vector<std::uint8_t> BuildExtraInfoFrame(const FrameSpec& spec, const char* tag,
                                              std::uint32_t frames, std::uint32_t bytes) {
    FrameSpec s = spec;
    s.fill = 0;
    std::vector<std::uint8_t> f = BuildFrame(s);
    MpegHeader h;
    DecodeHeader(h, HeaderWord(s));
    std::uint8_t* x = f.data() + h.sideInfoEnd;
    std::memcpy(x, tag, 4);
    x[7] = 3; // frames and bytes fields present
    for (int i = 0; i < 4; ++i) {
        x[8 + i] = static_cast<std::uint8_t>(frames >> (24 - 8 * i));
        x[12 + i] = static_cast<std::uint8_t>(bytes >> (24 - 8 * i));
    }
    if (s.crc) {
        const std::uint16_t crc = FrameCrc(h, f.data());
        f[4] = static_cast<std::uint8_t>(crc & 0xFF);
        f[5] = static_cast<std::uint8_t>(crc >> 8);
    }
    return f;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path().string()) {}

TempDir::TempDir(const std::string& parent) {
    std::string tmpl = (std::filesystem::path(parent) / "velmora-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::uint8_t> DistinctFrames(int count) {
    std::vector<std::uint8_t> out;
    for (int k = 0; k < count; ++k) {
        FrameSpec s;
        s.part23Length = {500, 500, 500, 500};
        s.globalGain = {100 + k % 20, 120, 130, 140};
        s.fill = static_cast<std::uint8_t>(k);
        const auto f = BuildFrame(s);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

} // namespace velmora::test
