#include "UnitMP3.h"

#include "UnitCRC.h"

#include <cstdio>

namespace velmora {

bool DecodeHeader(MpegHeader& h, std::uint32_t word) {
    h.headerWord = word;
    h.versionId = static_cast<std::uint8_t>((word >> 11) & 3);
    if (h.versionId == kVersionReserved)
        return false;
    h.layerId = static_cast<std::uint8_t>((word >> 9) & 3);
    if (h.layerId == kLayerReserved)
        return false;
    h.sampleRate = kSampleRateTable[h.versionId][(word >> 18) & 3];
    if (h.sampleRate == 0)
        return false;
    h.bitrateKbps = kBitrateTable[h.versionId][h.layerId][(word >> 20) & 15];
    if (h.bitrateKbps == 0)
        return false;
    h.channelMode = static_cast<std::uint8_t>((word >> 30) & 3);
    h.hasCrc = (word & kProtectionMask) == 0;
    const std::uint32_t slot = kSlotSizeTable[h.layerId];
    std::uint32_t length =
        kSamplesPerFrameTable[h.versionId][h.layerId] * h.bitrateKbps * 125u / h.sampleRate;
    length -= length % slot;
    if (word & kPaddingMask)
        length += slot;
    h.frameLength = static_cast<std::int32_t>(length);
    h.headerSize = h.hasCrc ? 6 : 4;
    h.sideInfoEnd = kSideInfoSizeTable[h.versionId][h.channelMode] + h.headerSize;
    return true;
}

std::uint16_t FrameCrc(const MpegHeader& h, const std::uint8_t* frame) {
    std::uint16_t crc = 0xFFFF;
    Crc16Update(std::span(frame + 2, 2), crc);
    Crc16Update(std::span(frame + 6, kSideInfoSizeTable[h.versionId & 3][h.channelMode & 3]), crc);
    return static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
}

std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
    if (c == 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<__int128>(a) * b / c);
}

std::int64_t FramesToSeconds(const MpegHeader& h, std::int64_t frames) {
    if (h.sampleRate == 0)
        return 0;
    return frames * SamplesPerFrame(h) / static_cast<std::int64_t>(h.sampleRate);
}

std::int64_t FramesToMilliseconds(const MpegHeader& h, std::int64_t frames) {
    return MulDiv(frames * SamplesPerFrame(h), 1000, h.sampleRate);
}

std::int64_t SecondsToFrames(const MpegHeader& h, std::int64_t seconds) {
    const std::int64_t spf = SamplesPerFrame(h);
    if (spf == 0)
        return 1;
    return (static_cast<std::int64_t>(h.sampleRate) * seconds + spf - 1) / spf;
}

std::int64_t MillisecondsToFrames(const MpegHeader& h, std::int64_t milliseconds) {
    return MulDiv(milliseconds, h.sampleRate, static_cast<std::int64_t>(SamplesPerFrame(h)) * 1000);
}

std::string FormatSeconds(const MpegHeader& h, std::int64_t frames, int decimals) {
    const std::int64_t ms = FramesToMilliseconds(h, frames);
    std::string text = std::to_string(ms / 1000);
    if (decimals > 0) {
        text += '.';
        std::int64_t divisor = 100;
        for (int i = 0; i < decimals && divisor > 0; ++i, divisor /= 10)
            text += static_cast<char>('0' + (ms / divisor) % 10);
    }
    return text + "s";
}

std::string FormatClock(const MpegHeader& h, std::int64_t frames) {
    const std::int64_t ms = FramesToMilliseconds(h, frames);
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02d.%02d", static_cast<long long>(ms / 60000),
                  static_cast<int>((ms / 1000) % 60), static_cast<int>((ms / 10) % 100));
    return text;
}

std::string FormatCueTime(const MpegHeader& h, std::int64_t frames) {
    const std::int64_t ms = FramesToMilliseconds(h, frames);
    // Two minute digits at least; from 100 minutes on the minutes simply take more digits.
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(ms / 60000),
                  static_cast<int>((ms / 1000) % 60), static_cast<int>((ms / 10) % 100));
    return text;
}

std::string FormatLength(const MpegHeader& h, std::int64_t frames) {
    return FormatSecondsLength(FramesToSeconds(h, frames));
}

std::string FormatSecondsLength(std::int64_t s) {
    char text[64];
    if (s < 3600)
        std::snprintf(text, sizeof text, "%lld:%02d", static_cast<long long>(s / 60),
                      static_cast<int>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lldh%02d", static_cast<long long>(s / 3600),
                      static_cast<int>((s % 3600) / 60));
    return text;
}

std::string FormatLengthWords(const MpegHeader& h, std::int64_t frames) {
    const std::int64_t s = FramesToSeconds(h, frames);
    char text[64];
    if (s < 3600)
        std::snprintf(text, sizeof text, "%lldm %02ds", static_cast<long long>(s / 60),
                      static_cast<int>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lldh %02d", static_cast<long long>(s / 3600),
                      static_cast<int>((s % 3600) / 60));
    return text;
}

const char* VersionText(std::uint8_t versionId) {
    switch (versionId) {
    case kMpeg1:
        return "1";
    case kMpeg2:
        return "2";
    case kMpeg25:
        return "2.5";
    default:
        return "?";
    }
}

const char* LayerText(std::uint8_t layerId) {
    switch (layerId) {
    case kLayer1:
        return "I";
    case kLayer2:
        return "II";
    case kLayer3:
        return "III";
    default:
        return "?";
    }
}

const char* ChannelModeText(std::uint8_t channelMode) {
    static constexpr const char* kNames[4] = {"stereo", "joint-stereo", "dual-channel",
                                              "single-channel"};
    return kNames[channelMode & 3];
}

} // namespace velmora
