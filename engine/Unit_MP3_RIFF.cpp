#include "Unit_MP3_RIFF.h"

#include "UnitMP3.h"
#include "UnitOptions.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

constexpr std::int64_t kDetectMinimumSize = 70;
constexpr std::int64_t kRiffSizeBias = 50; // header bytes after the RIFF size field
constexpr std::int64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

void Put16(RiffHeader& h, std::size_t offset, std::uint32_t value) {
    h.bytes[offset] = static_cast<std::uint8_t>(value);
    h.bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(RiffHeader& h, std::size_t offset, std::uint32_t value) {
    Put16(h, offset, value & 0xFFFF);
    Put16(h, offset + 2, value >> 16);
}

void PutId(RiffHeader& h, std::size_t offset, const char* id) {
    std::memcpy(h.bytes.data() + offset, id, 4);
}

std::int64_t Get32(std::span<const std::uint8_t> b, std::int64_t offset) {
    const std::uint8_t* p = b.data() + offset;
    return std::int64_t{p[0]} | std::int64_t{p[1]} << 8 | std::int64_t{p[2]} << 16 |
           std::int64_t{p[3]} << 24;
}

bool IdAt(std::span<const std::uint8_t> b, std::int64_t offset, const char* id) {
    return std::memcmp(b.data() + offset, id, 4) == 0;
}

} // namespace

RiffHeader BuildRiffHeader(bool stereo, std::uint32_t sampleRate, std::int64_t durationMs,
                           std::int64_t frameCount, std::int64_t dataSize) {
    VELMORA_ASSERT(sampleRate > 0, "Unit_MP3_RIFF");
    VELMORA_ASSERT(dataSize >= 0, "Unit_MP3_RIFF");
    // Sizes come from the file being saved: a wrapped copy beyond 4 GiB cannot be described.
    if (dataSize + kRiffSizeBias > kMaxU32)
        throw VelmoraError("The output is too large for a WAV-embedded MP3 file");
    // A track of no frames (a CUE index at the very end) gets zeros rather than a division.
    const std::int64_t avgBytesPerSec =
        durationMs > 0 ? std::min(MulDiv(dataSize, 1000, durationMs), kMaxU32) : 0;
    const std::int64_t blockSize = frameCount > 0 ? dataSize / frameCount : 0;

    RiffHeader h;
    PutId(h, RiffHeader::kRiffIdOffset, "RIFF");
    Put32(h, RiffHeader::kRiffSizeOffset, static_cast<std::uint32_t>(dataSize + kRiffSizeBias));
    PutId(h, RiffHeader::kWaveIdOffset, "WAVE");
    PutId(h, RiffHeader::kFmtIdOffset, "fmt ");
    Put32(h, RiffHeader::kFmtSizeOffset, RiffHeader::kFmtChunkSize);
    Put16(h, RiffHeader::kFormatTagOffset, kMpegLayer3FormatTag);
    Put16(h, RiffHeader::kChannelsOffset, stereo ? 2 : 1);
    Put32(h, RiffHeader::kSamplesPerSecOffset, sampleRate);
    Put32(h, RiffHeader::kAvgBytesPerSecOffset, static_cast<std::uint32_t>(avgBytesPerSec));
    Put16(h, RiffHeader::kBlockAlignOffset, 1);
    Put16(h, RiffHeader::kBitsPerSampleOffset, 0);
    Put16(h, RiffHeader::kExtraSizeOffset, 12);
    Put16(h, RiffHeader::kMpegLayer3IdOffset, 1);
    Put32(h, RiffHeader::kFlagsOffset, 2);
    Put16(h, RiffHeader::kBlockSizeOffset, static_cast<std::uint32_t>(blockSize & 0xFFFF));
    Put16(h, RiffHeader::kFramesPerBlockOffset, 1);
    Put16(h, RiffHeader::kCodecDelayOffset, 0);
    PutId(h, RiffHeader::kDataIdOffset, "data");
    Put32(h, RiffHeader::kDataSizeOffset, static_cast<std::uint32_t>(dataSize));
    return h;
}

std::int64_t DetectRiffHeader(std::span<const std::uint8_t> bytes) {
    const std::int64_t size = static_cast<std::int64_t>(bytes.size());
    if (size < kDetectMinimumSize)
        return 0;
    if (!IdAt(bytes, 0, "RIFF") || !IdAt(bytes, 8, "WAVE") || !IdAt(bytes, 12, "fmt "))
        return 0;
    const std::int64_t n = Get32(bytes, 16);
    if (size < n + 28 || !IdAt(bytes, 20 + n, "data"))
        return 0;
    return n + 28;
}

bool OutputIsWav(const Settings& settings, std::uint8_t layerId,
                 std::optional<bool> saveAsTypeOverride) {
    if (saveAsTypeOverride)
        return *saveAsTypeOverride;
    return settings.CheckBoxSaveWAV && layerId == kLayer3;
}

} // namespace velmora
