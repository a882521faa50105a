#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

struct Settings;

inline constexpr std::uint16_t kMpegLayer3FormatTag = 0x55;

// The one RIFF/WAVE header written in front of WAV-embedded MP3 data; little-endian numbers.
struct RiffHeader {
    static constexpr std::size_t kSize = 58;
    static constexpr std::size_t kRiffIdOffset = 0;     // "RIFF"
    static constexpr std::size_t kRiffSizeOffset = 4;   // data size + 50
    static constexpr std::size_t kWaveIdOffset = 8;     // "WAVE"
    static constexpr std::size_t kFmtIdOffset = 12;     // "fmt "
    static constexpr std::size_t kFmtSizeOffset = 16;   // 30
    static constexpr std::size_t kFormatTagOffset = 20; // 0x55
    static constexpr std::size_t kChannelsOffset = 22;  // 1 or 2
    static constexpr std::size_t kSamplesPerSecOffset = 24;
    static constexpr std::size_t kAvgBytesPerSecOffset = 28;
    static constexpr std::size_t kBlockAlignOffset = 32;     // 1
    static constexpr std::size_t kBitsPerSampleOffset = 34;  // 0
    static constexpr std::size_t kExtraSizeOffset = 36;      // 12
    static constexpr std::size_t kMpegLayer3IdOffset = 38;   // 1
    static constexpr std::size_t kFlagsOffset = 40;          // 2: padding off
    static constexpr std::size_t kBlockSizeOffset = 44;      // data size / frames, 16 bits
    static constexpr std::size_t kFramesPerBlockOffset = 46; // 1
    static constexpr std::size_t kCodecDelayOffset = 48;     // 0
    static constexpr std::size_t kDataIdOffset = 50;         // "data"
    static constexpr std::size_t kDataSizeOffset = 54;       // data size
    static constexpr std::uint32_t kFmtChunkSize = 30;

    std::array<std::uint8_t, kSize> bytes{};
};

// The header for `dataSize` bytes after it (frames, silence and trailing tags). sampleRate must
// be above 0. No frames or no duration give 0 for the two figures derived from them. Throws
// VelmoraError when the RIFF chunk size would not fit in 32 bits.
RiffHeader BuildRiffHeader(bool stereo, std::uint32_t sampleRate, std::int64_t durationMs,
                           std::int64_t frameCount, std::int64_t dataSize);

// Offset of the audio data when `bytes` start with "RIFF" … "WAVE" "fmt " <chunk> "data" <size>,
// else 0. Neither the format tag nor the data size are read.
std::int64_t DetectRiffHeader(std::span<const std::uint8_t> bytes);

// Whether output gets the RIFF/WAVE header. saveAsTypeOverride: set while a Save As whose chosen
// file type differs from the default runs (true = the WAV type), for streams of any layer.
bool OutputIsWav(const Settings& settings, std::uint8_t layerId,
                 std::optional<bool> saveAsTypeOverride);

} // namespace velmora
