#include "UnitXing.h"

#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t GetBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void PutHeaderWord(std::uint8_t* p, std::uint32_t word) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

bool HasId(std::span<const std::uint8_t> frame, int at) {
    if (at < 0 || static_cast<std::size_t>(at) + 8 > frame.size())
        return false;
    return std::memcmp(frame.data() + at, "Xing", 4) == 0 ||
           std::memcmp(frame.data() + at, "Info", 4) == 0;
}

// Counts fit the 32-bit fields; larger values saturate rather than wrap.
std::uint32_t Field32(std::int64_t v) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, UINT32_MAX));
}

bool SourceFrameKept(const StreamInfo& info, const Settings& settings) {
    return info.extraInfoPresent && settings.CheckBoxKeepExtraInfo;
}

} // namespace

namespace {

// Eight tables, so that eight bytes go through the register at a time: table k is a byte followed
// by k zero bytes.
constexpr std::array<std::array<std::uint16_t, 256>, 8> kArcTables = [] {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        t[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}();
constexpr const std::array<std::uint16_t, 256>& kArcTable = kArcTables[0];

// A linear map of CRC registers, as the images of its 16 bits.
using CrcMap = std::array<std::uint16_t, 16>;

std::uint16_t Apply(const CrcMap& m, std::uint16_t crc) {
    std::uint16_t out = 0;
    for (int bit = 0; bit < 16; ++bit)
        if (crc >> bit & 1)
            out ^= m[static_cast<std::size_t>(bit)];
    return out;
}

CrcMap Compose(const CrcMap& outer, const CrcMap& inner) {
    CrcMap m{};
    for (std::size_t bit = 0; bit < 16; ++bit)
        m[bit] = Apply(outer, inner[bit]);
    return m;
}

// One zero byte through the register: multiplication by x^8 modulo the polynomial, whose powers
// repeat every 32767 bytes (0x8005 is (x + 1) times the primitive x^15 + x + 1).
constexpr std::int64_t kShiftPeriod = 32767;

} // namespace

std::uint16_t Crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    unsigned c = crc;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    const auto& t = kArcTables;
    for (; n >= 8; n -= 8, p += 8) {
        c ^= p[0] | (unsigned{p[1]} << 8);
        c = t[7][c & 0xFF] ^ t[6][c >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
            t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; --n, ++p)
        c = kArcTable[(c ^ *p) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

std::uint16_t Crc16ArcShift(std::uint16_t crc, std::int64_t count) {
    std::int64_t n = count % kShiftPeriod;
    if (n < 0)
        n += kShiftPeriod;
    CrcMap step{};
    for (std::size_t bit = 0; bit < 16; ++bit) {
        const unsigned c = 1u << bit;
        step[bit] = static_cast<std::uint16_t>(kArcTable[c & 0xFF] ^ (c >> 8));
    }
    for (; n > 0; n >>= 1) {
        if (n & 1)
            crc = Apply(step, crc);
        step = Compose(step, step);
    }
    return crc;
}

bool WantExtraInfo(const StreamInfo& info, const Settings& settings) {
    if (settings.CheckBoxNoExtraInfoInMPEG2 && info.firstHeader.versionId == kMpeg2)
        return false;
    const bool sourceXing = info.extraInfoPresent && info.xingFound;
    if (info.IsVbr() && info.frameCount >= 256 &&
        (sourceXing || settings.CheckBoxCreateVBRseekInfo))
        return true;
    return SourceFrameKept(info, settings);
}

std::int64_t ExtraInfoLength(const StreamInfo& info, const Settings& settings) {
    return SourceFrameKept(info, settings) ? info.ExtraInfoFrame.header.frameLength
                                           : info.SeekHeaderTemplate.frameLength;
}

std::array<std::uint8_t, 100> BuildToc(const StreamInfo& info, const OutputPlan& plan,
                                       std::int64_t startFrame, std::int64_t extraInfoLength,
                                       TocLead lead) {
    const std::int64_t silentLength = info.SilentFrameTemplate.header.frameLength;
    const std::int64_t leading = plan.silenceBeginFrames;
    const std::int64_t kept =
        plan.outputFrames - plan.silenceBeginFrames - plan.silenceEndFrames - lead.frames;
    // Added silence is part of the output: its frames count at the silent frame's length.
    auto lengthOf = [&](std::int64_t k) -> std::int64_t {
        if (k < lead.frames)
            return lead.length;
        k -= lead.frames;
        if (k < leading || k >= leading + kept)
            return silentLength;
        const std::int64_t index = startFrame + (k - leading);
        return index >= 0 && index < info.frames.size() ? info.frames[index].length : 0;
    };
    std::array<std::uint8_t, 100> toc{};
    std::int64_t j = 0;
    std::int64_t position = extraInfoLength;
    for (int i = 0; i < 100; ++i) {
        // Short outputs stop at their last frame: one past it would read as the end, 256 → 0.
        // MulDiv(j, 100, frames) < i, without a division per frame.
        while (j + 1 < plan.outputFrames && j * 100 < i * plan.outputFrames)
            position += lengthOf(j++);
        toc[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(
            std::min<std::int64_t>(MulDiv(position, 256, plan.predictedSize), 255));
    }
    return toc;
}

int FindLameTag(std::span<const std::uint8_t> frame, int sideInfoEnd) {
    if (!HasId(frame, sideInfoEnd))
        return -1;
    const std::uint32_t flags = GetBigEndian32(frame.data() + sideInfoEnd + 4);
    std::int64_t at = sideInfoEnd + 8;
    if (flags & XingLayout::kFlagFrames)
        at += 4;
    if (flags & XingLayout::kFlagBytes)
        at += 4;
    if (flags & XingLayout::kFlagToc)
        at += XingLayout::kTocSize;
    if (flags & XingLayout::kFlagQuality)
        at += 4;
    if (at + LameTagLayout::kSize > static_cast<std::int64_t>(frame.size()))
        return -1;
    const std::uint8_t* p = frame.data() + at;
    if (std::memcmp(p, "LAME", 4) != 0 && std::memcmp(p, "Lavf", 4) != 0 &&
        std::memcmp(p, "Lavc", 4) != 0)
        return -1;
    return static_cast<int>(at);
}

void UpdateKeptExtraInfo(std::span<std::uint8_t> frame, int sideInfoEnd, std::uint32_t frames,
                         std::uint32_t bytes, const std::array<std::uint8_t, 100>* toc,
                         bool trimmedBegin, bool trimmedEnd) {
    if (!HasId(frame, sideInfoEnd))
        return;
    const int lame = FindLameTag(frame, sideInfoEnd);
    std::uint8_t* p = frame.data() + sideInfoEnd;
    const std::uint32_t flags = GetBigEndian32(p + 4);
    std::size_t at = static_cast<std::size_t>(sideInfoEnd) + 8;
    auto fits = [&](std::size_t n) { return at + n <= frame.size(); };
    if ((flags & XingLayout::kFlagFrames) && fits(4)) {
        PutBigEndian32(frame.data() + at, frames);
        at += 4;
    }
    if ((flags & XingLayout::kFlagBytes) && fits(4)) {
        PutBigEndian32(frame.data() + at, bytes);
        at += 4;
    }
    if ((flags & XingLayout::kFlagToc) && toc && fits(XingLayout::kTocSize))
        std::memcpy(frame.data() + at, toc->data(), XingLayout::kTocSize);
    if (lame < 0)
        return;
    std::uint8_t* tag = frame.data() + lame;
    std::uint8_t* dp = tag + LameTagLayout::kDelayPaddingOffset;
    unsigned delay = (unsigned{dp[0]} << 4) | (dp[1] >> 4);
    unsigned padding = ((unsigned{dp[1]} & 15) << 8) | dp[2];
    // Gapless players drop the delay and padding samples: after a trim they would be real audio.
    if (trimmedBegin)
        delay = 0;
    if (trimmedEnd)
        padding = 0;
    dp[0] = static_cast<std::uint8_t>(delay >> 4);
    dp[1] = static_cast<std::uint8_t>(((delay & 15) << 4) | (padding >> 8));
    dp[2] = static_cast<std::uint8_t>(padding);
    PutBigEndian32(tag + LameTagLayout::kMusicLengthOffset, bytes);
    const std::uint16_t crc =
        Crc16Arc(frame.first(static_cast<std::size_t>(lame + LameTagLayout::kTagCrcOffset)));
    tag[LameTagLayout::kTagCrcOffset] = static_cast<std::uint8_t>(crc >> 8);
    tag[LameTagLayout::kTagCrcOffset + 1] = static_cast<std::uint8_t>(crc);
}

ExtraInfoOut BuildExtraInfoFrame(const StreamInfo& info, const Settings& settings,
                                 const OutputPlan& plan, const TrimPoints& trim,
                                 std::int64_t id3v2BytesOut) {
    ExtraInfoOut out;
    out.kept = SourceFrameKept(info, settings);
    out.header = out.kept ? info.ExtraInfoFrame.header : info.SeekHeaderTemplate;
    // Sized to the frame: a kept Layer II frame at 8 kHz can be longer than 1728 bytes.
    out.bytes.assign(static_cast<std::size_t>(std::max(out.header.frameLength, 4)), 0);
    if (out.kept) {
        const auto& source = info.ExtraInfoFrame.bytes;
        std::copy_n(source.begin(), std::min(source.size(), out.bytes.size()), out.bytes.begin());
    } else {
        PutHeaderWord(out.bytes.data(), out.header.headerWord);
    }

    const std::int64_t length = static_cast<std::int64_t>(out.bytes.size());
    const std::uint32_t frames = Field32(plan.outputFrames);
    const std::uint32_t bytes = Field32(plan.predictedSize - id3v2BytesOut);
    const int side = out.header.sideInfoEnd;
    const bool trimmedBegin = trim.beginFrames > 0;
    const bool trimmedEnd = trim.endFrames > 0;
    const auto toc = BuildToc(info, plan, trim.beginFrames, length);
    std::span<std::uint8_t> frame(out.bytes);

    std::uint32_t keptFlags = 0;
    if (out.kept && HasId(frame, side))
        keptFlags = GetBigEndian32(frame.data() + side + 4);
    constexpr std::uint32_t kFull =
        XingLayout::kFlagFrames | XingLayout::kFlagBytes | XingLayout::kFlagToc;

    if (info.IsVbr()) {
        if ((keptFlags & kFull) == kFull) {
            // The kept frame's own layout already has room: its quality field and encoder
            // extension stay where readers look for them.
            std::memcpy(frame.data() + side, "Xing", 4);
            PutBigEndian32(frame.data() + side + 4, kFull | (keptFlags & XingLayout::kFlagQuality));
            UpdateKeptExtraInfo(frame, side, frames, bytes, &toc, trimmedBegin, trimmedEnd);
            return out;
        }
        std::uint8_t xing[16 + XingLayout::kTocSize];
        std::memcpy(xing, "Xing", 4);
        PutBigEndian32(xing + XingLayout::kFlagsOffset, kFull);
        // Players read this as the number of audio frames; the extra-info frame is not one.
        PutBigEndian32(xing + XingLayout::kFramesOffset, frames);
        PutBigEndian32(xing + XingLayout::kBytesOffset, bytes);
        std::memcpy(xing + XingLayout::kTocOffset, toc.data(), toc.size());
        const std::int64_t room = std::clamp<std::int64_t>(length - side, 0, sizeof xing);
        std::memcpy(frame.data() + side, xing, static_cast<std::size_t>(room));
        return out;
    }
    // A constant-bitrate table stays as the source had it: it is linear either way.
    if (out.kept)
        UpdateKeptExtraInfo(frame, side, frames, bytes, nullptr, trimmedBegin, trimmedEnd);
    return out;
}

} // namespace velmora
