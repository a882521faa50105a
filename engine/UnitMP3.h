#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace velmora {

// Masks on the header word (the four header bytes read little-endian).
inline constexpr std::uint32_t kSyncMask = 0x0000E0FF;
inline constexpr std::uint32_t kLayerRateMask = 0x000C0600;
inline constexpr std::uint32_t kBitrateMask = 0x00F00000;
inline constexpr std::uint32_t kPaddingMask = 0x00020000;
inline constexpr std::uint32_t kProtectionMask = 0x00000100;
inline constexpr std::uint32_t kPrivateMask = 0x00010000;
inline constexpr std::uint32_t kChannelModeMask = 0xC0000000;
inline constexpr std::uint32_t kModeExtensionMask = 0x30000000;

enum VersionId : std::uint8_t { kMpeg25 = 0, kVersionReserved = 1, kMpeg2 = 2, kMpeg1 = 3 };
enum LayerId : std::uint8_t { kLayerReserved = 0, kLayer3 = 1, kLayer2 = 2, kLayer1 = 3 };
enum ChannelMode : std::uint8_t { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kMono = 3 };

struct MpegHeader {
    std::uint32_t headerWord = 0;
    std::uint8_t versionId = 0;
    std::uint8_t layerId = 0;
    std::uint16_t bitrateKbps = 0;
    std::uint32_t sampleRate = 0;
    std::int32_t headerSize = 0;
    std::int32_t sideInfoEnd = 0;
    std::int32_t frameLength = 0;
    std::uint8_t channelMode = 0;
    bool hasCrc = false;
};

// Tables, indexed by the raw version and layer codes.
inline constexpr std::uint16_t kSamplesPerFrameTable[4][4] = {
    {0, 576, 1152, 384}, {0, 0, 0, 0}, {0, 576, 1152, 384}, {0, 1152, 1152, 384}};
inline constexpr std::uint8_t kSlotSizeTable[4] = {0, 1, 1, 4};
inline constexpr std::uint16_t kBitrateTable[4][4][16] = {
    // MPEG-2.5
    {{0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    // reserved
    {{0}, {0}, {0}, {0}},
    // MPEG-2
    {{0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    // MPEG-1
    {{0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}};
inline constexpr std::uint32_t kSampleRateTable[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};
inline constexpr std::uint8_t kSideInfoSizeTable[4][4] = {
    {17, 17, 17, 9}, {0, 0, 0, 0}, {17, 17, 17, 9}, {32, 32, 32, 17}};

// The little-endian header word of the four bytes at p.
inline std::uint32_t HeaderWordAt(const std::uint8_t* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap32(w);
    return w;
}

// Fills `h` from `word`; false when the header is not acceptable (sync bits are not checked).
bool DecodeHeader(MpegHeader& h, std::uint32_t word);

inline int SamplesPerFrame(const MpegHeader& h) {
    return kSamplesPerFrameTable[h.versionId & 3][h.layerId & 3];
}

// The frame's CRC, returned so that storing it little-endian at bytes 4-5 writes it in stream
// order. `frame` must hold at least headerSize-less side information: 6 + side-info bytes.
std::uint16_t FrameCrc(const MpegHeader& h, const std::uint8_t* frame);
// The CRC stored at frame bytes 4-5, in the same form as FrameCrc returns it.
inline std::uint16_t StoredCrc(const std::uint8_t* frame) {
    return static_cast<std::uint16_t>(frame[4] | (frame[5] << 8));
}

// Frame and time arithmetic. Products are formed in 64 bits; results truncate unless noted.
std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);
std::int64_t FramesToSeconds(const MpegHeader& h, std::int64_t frames);
std::int64_t FramesToMilliseconds(const MpegHeader& h, std::int64_t frames);
std::int64_t SecondsToFrames(const MpegHeader& h, std::int64_t seconds); // rounds up
std::int64_t MillisecondsToFrames(const MpegHeader& h, std::int64_t milliseconds);

std::string FormatSeconds(const MpegHeader& h, std::int64_t frames, int decimals);
std::string FormatClock(const MpegHeader& h, std::int64_t frames);
std::string FormatCueTime(const MpegHeader& h, std::int64_t frames);
std::string FormatLength(const MpegHeader& h, std::int64_t frames);
// The same for a length in whole seconds: "3:25", "1h02".
std::string FormatSecondsLength(std::int64_t seconds);
std::string FormatLengthWords(const MpegHeader& h, std::int64_t frames);

// Texts used by the information display and the command line.
const char* VersionText(std::uint8_t versionId);       // "1", "2", "2.5"
const char* LayerText(std::uint8_t layerId);           // "I", "II", "III"
const char* ChannelModeText(std::uint8_t channelMode); // "stereo", "joint-stereo", ...

} // namespace velmora
