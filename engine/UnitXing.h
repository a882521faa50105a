#pragma once

#include "UnitMP3.h"
#include "UnitSilence.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

struct OutputPlan;
struct Settings;
struct StreamInfo;

// The extra-info frame that goes in front of the output's audio.
struct ExtraInfoOut {
    MpegHeader header;
    std::vector<std::uint8_t> bytes; // header.frameLength bytes
    bool kept = false;               // built from the source's own frame
};

// Byte layout of the Xing data, from the frame's side-information end; numbers big-endian.
struct XingLayout {
    static constexpr int kIdOffset = 0;     // "Xing" or "Info"
    static constexpr int kFlagsOffset = 4;  // 1 frames, 2 bytes, 4 TOC, 8 quality
    static constexpr int kFramesOffset = 8; // when all of frames, bytes and TOC are present
    static constexpr int kBytesOffset = 12;
    static constexpr int kTocOffset = 16;
    static constexpr int kTocSize = 100;
    static constexpr int kSize = 120; // with a quality field
    static constexpr std::uint32_t kFlagFrames = 1, kFlagBytes = 2, kFlagToc = 4, kFlagQuality = 8;
};

// Byte layout of the encoder's extension after the Xing data, from its "LAME" version string.
struct LameTagLayout {
    static constexpr int kDelayPaddingOffset = 21; // 12 bits delay, 12 bits padding
    static constexpr int kMusicLengthOffset = 28;  // 32-bit big-endian
    static constexpr int kMusicCrcOffset = 32;
    static constexpr int kTagCrcOffset = 34; // CRC-16/ARC of every frame byte before it
    static constexpr int kSize = 36;
};

// Whether the output gets an extra-info frame.
bool WantExtraInfo(const StreamInfo& info, const Settings& settings);

// The length of the frame BuildExtraInfoFrame will produce (whether or not it is wanted).
std::int64_t ExtraInfoLength(const StreamInfo& info, const Settings& settings);

// The extra-info frame for the output of `plan` with `trim` (trim.beginFrames is the first
// copied frame). id3v2BytesOut: the ID3v2 bytes the output carries (not part of the byte count).
ExtraInfoOut BuildExtraInfoFrame(const StreamInfo& info, const Settings& settings,
                                 const OutputPlan& plan, const TrimPoints& trim,
                                 std::int64_t id3v2BytesOut);

// Frames that go out before the copied ones and any added silence (an exact cut's carrier
// frames), all of one length.
struct TocLead {
    std::int64_t frames = 0;
    std::int64_t length = 0;
};

// The 100-entry seek table for an output whose extra-info frame is `extraInfoLength` bytes.
std::array<std::uint8_t, 100> BuildToc(const StreamInfo& info, const OutputPlan& plan,
                                       std::int64_t startFrame, std::int64_t extraInfoLength,
                                       TocLead lead = {});

// Brings a kept frame's counts up to date: the Xing/Info frame and byte counts (and its TOC when
// `toc` is given and the frame has one), and, when the encoder's extension follows, the delay
// (0 after a trim at the beginning), the padding (0 after a trim at the end), the music length
// and the extension's own CRC. `frame` holds the whole frame; `sideInfoEnd` is where its
// identifier stands.
void UpdateKeptExtraInfo(std::span<std::uint8_t> frame, int sideInfoEnd, std::uint32_t frames,
                         std::uint32_t bytes, const std::array<std::uint8_t, 100>* toc,
                         bool trimmedBegin, bool trimmedEnd);

// Where the encoder's extension starts in `frame`, or -1.
int FindLameTag(std::span<const std::uint8_t> frame, int sideInfoEnd);

// CRC-16/ARC (polynomial 0x8005 reflected, initial 0), as the encoder's extension stores it;
// `crc` continues one over the bytes before.
std::uint16_t Crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);
// The CRC of bytes A followed by `count` bytes B, from `crc` of A alone: CRC(A B) is
// Crc16ArcShift(CRC(A), |B|) ^ CRC(B). A negative count takes the bytes off again.
std::uint16_t Crc16ArcShift(std::uint16_t crc, std::int64_t count);

} // namespace velmora
