#include "UnitExactCut.h"

#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"
#include "UnitSideInfo.h"
#include "UnitXing.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// The header of source frame `index`, when it is a Layer III frame like the first.
std::optional<MpegHeader> FrameHeader(const StreamInfo& info, std::span<const std::uint8_t> file,
                                      std::int64_t index) {
    const FrameEntry& entry = info.frames[index];
    if (entry.offset < 0 || entry.offset + entry.length > static_cast<std::int64_t>(file.size()))
        return std::nullopt;
    MpegHeader h;
    const std::uint8_t* p = file.data() + entry.offset;
    if (entry.length < 4 || !DecodeHeader(h, HeaderWordAt(p)))
        return std::nullopt;
    const MpegHeader& first = info.firstHeader;
    if (h.layerId != kLayer3 || h.versionId != first.versionId ||
        h.sampleRate != first.sampleRate ||
        (h.channelMode == kMono) != (first.channelMode == kMono) ||
        h.frameLength != static_cast<int>(entry.length) || h.sideInfoEnd > h.frameLength)
        return std::nullopt;
    return h;
}

// Whether the scan found every frame of the first one's version, layer, sample rate and (for
// mono) channel count, so that no frame needs to be read again to know it. Stereo and joint
// stereo frames differ in the low channel-mode bit only.
bool ScanSaysFramesAlike(const StreamInfo& info) {
    constexpr std::uint32_t kVersionLayerRate = 0x000C1E00;
    constexpr std::uint32_t kModeHigh = 0x80000000, kModeLow = 0x40000000;
    const bool stereo =
        info.firstHeader.channelMode == kStereo || info.firstHeader.channelMode == kJointStereo;
    const std::uint32_t need = kVersionLayerRate | kModeHigh | (stereo ? 0 : kModeLow);
    return (info.ConstantBitsMask & need) == need &&
           (info.ConstantBitsValue & need) == (info.firstHeader.headerWord & need);
}

// The main-data bytes that precede frame `index` in the stream, as many as its main data reaches
// back; nullopt when they are not all there (or a frame on the way is not sound).
std::optional<std::vector<std::uint8_t>>
ReservoirBytes(const StreamInfo& info, std::span<const std::uint8_t> file, std::int64_t index) {
    const std::optional<MpegHeader> h = FrameHeader(info, file, index);
    if (!h)
        return std::nullopt;
    const std::uint8_t* frame = file.data() + info.frames[index].offset;
    const SideInfoBits bits(frame + h->headerSize, frame + h->frameLength);
    const auto need = static_cast<std::int64_t>(bits.MainDataBegin(h->versionId == kMpeg1));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(need));
    std::int64_t missing = need;
    for (std::int64_t at = index - 1; missing > 0; --at) {
        const std::optional<MpegHeader> before =
            at >= 0 ? FrameHeader(info, file, at) : std::nullopt;
        if (!before)
            return std::nullopt;
        const std::uint8_t* p = file.data() + info.frames[at].offset;
        const std::int64_t n =
            std::min<std::int64_t>(missing, before->frameLength - before->sideInfoEnd);
        std::memcpy(bytes.data() + (missing - n), p + before->frameLength - n,
                    static_cast<std::size_t>(n));
        missing -= n;
    }
    return bytes;
}

// Frames of silence (no bits in any granule) whose main data, read as one stream, ends with
// `reservoir`: the first frame's version, rate, channel mode and protection, no padding and no
// mode extension. A constant-bitrate stream keeps its bitrate (readers take a frame of another
// one for garbage) and gets as many frames as the bytes need; otherwise one frame of the lowest
// bitrate with room.
std::vector<std::uint8_t> CarrierFrames(const MpegHeader& first, bool constantBitrate,
                                        const std::vector<std::uint8_t>& reservoir) {
    const std::uint32_t base = first.headerWord & ~(kBitrateMask | 0x00020000u | 0x30000000u);
    const auto need = static_cast<std::int64_t>(reservoir.size());
    MpegHeader h;
    for (std::uint32_t index = constantBitrate ? (first.headerWord & kBitrateMask) >> 20 : 1;
         index < 15; ++index) {
        if (DecodeHeader(h, base | (index << 20)) &&
            (constantBitrate || h.frameLength - h.sideInfoEnd >= need))
            break;
    }
    const std::int64_t room = h.frameLength - h.sideInfoEnd;
    const std::int64_t count = std::max<std::int64_t>(1, (need + room - 1) / room);
    std::vector<std::uint8_t> frames(static_cast<std::size_t>(count * h.frameLength), 0);
    // The bytes fill the main data from the end backwards. Each frame's main data begins where
    // the bytes before it begin, so decoders that keep the bytes one frame points back to (and
    // no more) carry them on.
    std::int64_t left = need;
    for (std::int64_t k = count - 1; k >= 0; --k) {
        std::uint8_t* frame = frames.data() + k * h.frameLength;
        for (int i = 0; i < 4; ++i)
            frame[i] = static_cast<std::uint8_t>(h.headerWord >> (8 * i));
        const std::int64_t n = std::min(left, room);
        if (n > 0) // an empty reservoir has no data pointer to copy from
            std::memcpy(frame + h.frameLength - n, reservoir.data() + (left - n),
                        static_cast<std::size_t>(n));
        left -= n;
        std::uint8_t* side = frame + h.headerSize;
        if (h.versionId == kMpeg1) {
            side[0] = static_cast<std::uint8_t>(left >> 1);
            side[1] = static_cast<std::uint8_t>((left & 1) << 7);
        } else {
            side[0] = static_cast<std::uint8_t>(left);
        }
        if (h.hasCrc) {
            const std::uint16_t crc = FrameCrc(h, frame);
            frame[4] = static_cast<std::uint8_t>(crc);
            frame[5] = static_cast<std::uint8_t>(crc >> 8);
        }
    }
    return frames;
}

// Where the output starts: the first copied frame and the carrier frames before it.
struct Start {
    std::int64_t copied = 0;
    std::vector<std::uint8_t> carrier;
    std::int64_t frames = 0; // in the carrier
};

struct Span {
    std::int64_t first = 0; // raw decoded sample positions, from the first frame's first sample
    std::int64_t end = 0;
};

ExactCutPlan Fail(ExactCutProblem problem) {
    return {std::nullopt, problem};
}

// The start for a first kept sample in frame f: the latest copied frame that leaves the warm-up
// whole. Gapless decoders load at most four frames before the first one they play (the decoder
// library's preroll), so the carriers must fit in them; and the library's synthesis rounds alike
// only from a number of its 32-sample steps that is a multiple of 4 (stereo) or 8 (mono), which
// the start is chosen for where it can be.
std::optional<Start> ChooseStart(const StreamInfo& info, std::span<const std::uint8_t> file,
                                 std::int64_t raw, std::int64_t warmUp, ExactCutProblem& problem) {
    problem = ExactCutProblem::SmallFrames;
    const std::int64_t f = raw / SamplesPerFrame(info.firstHeader);
    const MpegHeader& first = info.firstHeader;
    const std::int64_t steps = SamplesPerFrame(first) / 32;
    const std::int64_t modulus = first.channelMode == kMono ? 8 : 4;
    std::optional<Start> fallback;
    for (std::int64_t c = f - warmUp; c >= 1 && c > f - 4; --c) {
        const auto reservoir = ReservoirBytes(info, file, c);
        if (!reservoir) {
            problem = ExactCutProblem::DamagedReservoir;
            return std::nullopt;
        }
        Start s;
        s.copied = c;
        s.carrier = CarrierFrames(first, !info.IsVbr(), *reservoir);
        s.frames = CarrierFrameCount(s.carrier);
        const std::int64_t outputStart = c - s.frames;
        if (outputStart < 0 || f - outputStart > 4 ||
            raw - kDecoderDelay - outputStart * SamplesPerFrame(first) > kMaxGaplessField)
            continue;
        if (outputStart * steps % modulus == 0)
            return s;
        const bool stereoAlike = outputStart * steps % 4 == 0;
        if (!fallback || (stereoAlike && (fallback->copied - fallback->frames) * steps % 4 != 0))
            fallback = std::move(s);
    }
    return fallback;
}

// Whether the source's extra-info frame goes out with the new fields stamped into its extension.
bool GaplessFrameKept(const StreamInfo& info, const Settings& settings) {
    if (!info.extraInfoPresent || !settings.CheckBoxKeepExtraInfo)
        return false;
    std::span<const std::uint8_t> frame(info.ExtraInfoFrame.bytes);
    const int side = info.ExtraInfoFrame.header.sideInfoEnd;
    if (FindLameTag(frame, side) < 0 ||
        static_cast<std::int64_t>(frame.size()) != info.ExtraInfoFrame.header.frameLength)
        return false;
    // A VBR file's frame is kept only when its own layout has the seek table.
    constexpr std::uint32_t kFull =
        XingLayout::kFlagFrames | XingLayout::kFlagBytes | XingLayout::kFlagToc;
    const std::uint8_t* f = frame.data() + side + XingLayout::kFlagsOffset;
    const std::uint32_t flags = (std::uint32_t{f[0]} << 24) | (f[1] << 16) | (f[2] << 8) | f[3];
    return !info.IsVbr() || (flags & kFull) == kFull;
}

} // namespace

std::int64_t CarrierFrameCount(const std::vector<std::uint8_t>& carrier) {
    MpegHeader h;
    if (carrier.size() < 4 || !DecodeHeader(h, HeaderWordAt(carrier.data())) || h.frameLength <= 0)
        return 0;
    return static_cast<std::int64_t>(carrier.size()) / h.frameLength;
}

namespace {

std::optional<GaplessFields> GaplessFieldsIn(std::span<const std::uint8_t> frame,
                                             const MpegHeader& h) {
    int lame = FindLameTag(frame, h.sideInfoEnd);
    // The encoder puts its data where the side information ends without a CRC, CRC or not.
    if (lame < 0 && h.hasCrc)
        lame = FindLameTag(frame, h.sideInfoEnd - 2);
    if (lame < 0)
        return std::nullopt;
    const std::uint8_t* dp = frame.data() + lame + LameTagLayout::kDelayPaddingOffset;
    return GaplessFields{(dp[0] << 4) | (dp[1] >> 4), ((dp[1] & 15) << 8) | dp[2]};
}

} // namespace

std::optional<GaplessFields> SourceGapless(const StreamInfo& info) {
    if (!info.extraInfoPresent)
        return std::nullopt;
    return GaplessFieldsIn(info.ExtraInfoFrame.bytes, info.ExtraInfoFrame.header);
}

std::optional<GaplessFields> GaplessFieldsOf(std::span<const std::uint8_t> mp3) {
    MpegHeader h;
    if (mp3.size() < 4 || !DecodeHeader(h, HeaderWordAt(mp3.data())) || h.layerId != kLayer3)
        return std::nullopt;
    return GaplessFieldsIn(mp3.first(std::min(mp3.size(), static_cast<std::size_t>(h.frameLength))),
                           h);
}

std::int64_t DecodedSamples(const StreamInfo& info) {
    const std::int64_t raw = info.frameCount * SamplesPerFrame(info.firstHeader);
    const std::optional<GaplessFields> g = SourceGapless(info);
    if (!g)
        return raw;
    return std::max<std::int64_t>(0, raw - g->delay - g->padding);
}

std::int64_t PlayedSeconds(const StreamInfo& info, std::int64_t removedFrames) {
    const MpegHeader& h = info.firstHeader;
    if (h.sampleRate == 0)
        return 0;
    const std::int64_t played = DecodedSamples(info) - removedFrames * SamplesPerFrame(h);
    return std::max<std::int64_t>(0, played) / static_cast<std::int64_t>(h.sampleRate);
}

ExactStartPlan PlanExactStart(const StreamInfo& info, std::span<const std::uint8_t> file,
                              std::int64_t begin) {
    ExactStartPlan plan;
    const MpegHeader& first = info.firstHeader;
    if (first.layerId != kLayer3) {
        plan.problem = ExactCutProblem::NotLayer3;
        return plan;
    }
    if (info.missingHeaderCount > 0 || info.frameCount <= 0) {
        plan.problem = ExactCutProblem::MixedStream;
        return plan;
    }
    const std::int64_t spf = SamplesPerFrame(first);
    const std::optional<GaplessFields> source = SourceGapless(info);
    // Where the played samples start in the decoder's raw output.
    plan.shift = source ? source->delay + kDecoderDelay : 0;
    begin = std::clamp<std::int64_t>(begin, 0, DecodedSamples(info));
    plan.rawBegin = begin + plan.shift;
    if (plan.rawBegin < kDecoderDelay) {
        plan.problem = ExactCutProblem::BeforeDecoderDelay;
        return plan;
    }
    const std::int64_t f = plan.rawBegin / spf;
    // A granule plays right once the two before it decoded whole (overlap and filter bank).
    const std::int64_t warmUp = spf == 1152 ? 1 : 2;
    if (begin > 0 && f - warmUp > 1) {
        std::optional<Start> start = ChooseStart(info, file, plan.rawBegin, warmUp, plan.problem);
        if (!start)
            return plan;
        plan.problem = ExactCutProblem::None;
        plan.copiedFrame = start->copied;
        plan.outputStart = start->copied - start->frames;
        plan.reservoirFrame = std::move(start->carrier);
    }
    return plan;
}

ExactCutPlan PlanExactCut(const StreamInfo& info, std::span<const std::uint8_t> file,
                          std::int64_t begin, std::int64_t end) {
    ExactStartPlan start = PlanExactStart(info, file, begin);
    if (start.problem != ExactCutProblem::None)
        return Fail(start.problem);
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    end = std::clamp<std::int64_t>(end, start.rawBegin - start.shift, DecodedSamples(info));
    const Span raw{start.rawBegin, end + start.shift};
    // Cuts that keep an end keep every frame there, as the frame cut does.
    const std::int64_t last =
        end == DecodedSamples(info)
            ? info.frameCount - 1
            : std::min((std::max(raw.end, raw.first + 1) - 1) / spf, info.frameCount - 1);
    const std::int64_t c = start.copiedFrame;
    for (std::int64_t i = c; i <= last && !ScanSaysFramesAlike(info); ++i) {
        if (!FrameHeader(info, file, i))
            return Fail(ExactCutProblem::MixedStream);
    }
    ExactCut cut;
    cut.startFrame = c;
    cut.frameCount = last - c + 1;
    cut.reservoirFrame = std::move(start.reservoirFrame);
    const std::int64_t delay = raw.first - kDecoderDelay - start.outputStart * spf;
    const std::int64_t padding = (last + 1) * spf + kDecoderDelay - raw.end;
    if (delay < 0 || delay > kMaxGaplessField || padding < 0 || padding > kMaxGaplessField)
        return Fail(ExactCutProblem::MixedStream);
    cut.fields = {static_cast<int>(delay), static_cast<int>(padding)};
    return {cut, ExactCutProblem::None};
}

std::string ExactCutProblemText(ExactCutProblem problem) {
    switch (problem) {
    case ExactCutProblem::None:
        return {};
    case ExactCutProblem::NotLayer3:
        return "exact cut not possible: not a Layer III stream; cut on frame boundaries";
    case ExactCutProblem::MixedStream:
        return "exact cut not possible: the stream changes or has missing frames; cut on frame "
               "boundaries";
    case ExactCutProblem::DamagedReservoir:
        return "exact cut not possible: the bit reservoir is damaged at the cut; cut on frame "
               "boundaries";
    case ExactCutProblem::SmallFrames:
        return "exact cut not possible: the frames are too small to carry the bit reservoir; cut "
               "on frame boundaries";
    case ExactCutProblem::BeforeDecoderDelay:
        return "exact cut not possible within the first 529 samples of a file without encoder "
               "delay information; cut on frame boundaries";
    case ExactCutProblem::AddedSilence:
        return "exact cut not possible with added silence; cut on frame boundaries";
    }
    return {};
}

MpegHeader GaplessHeaderTemplate(const MpegHeader& first) {
    // Protection off, no padding, the lowest bitrate that holds the Xing data and the extension.
    std::uint32_t word = (first.headerWord & 0xCF0FFFFF) | 0x00100100;
    MpegHeader h;
    bool ok = DecodeHeader(h, word);
    while (ok && h.frameLength < h.sideInfoEnd + XingLayout::kSize + LameTagLayout::kSize) {
        const std::uint32_t index = ((word >> 20) + 1) & 15;
        VELMORA_ASSERT(index != 0 && index != 15, "UnitExactCut");
        word = (word & ~kBitrateMask) | (index << 20);
        ok = DecodeHeader(h, word);
    }
    VELMORA_ASSERT(ok, "UnitExactCut");
    return h;
}

std::int64_t GaplessExtraInfoLength(const StreamInfo& info, const Settings& settings) {
    return GaplessFrameKept(info, settings) ? info.ExtraInfoFrame.header.frameLength
                                            : GaplessHeaderTemplate(info.firstHeader).frameLength;
}

ExtraInfoOut BuildGaplessExtraInfoFrame(const StreamInfo& info, const Settings& settings,
                                        const OutputPlan& plan, const TrimPoints& trim,
                                        std::int64_t id3v2BytesOut, GaplessFields fields,
                                        const std::vector<std::uint8_t>& carriers) {
    ExtraInfoOut out;
    const std::int64_t carrierCount = CarrierFrameCount(carriers);
    const TocLead lead{carrierCount, carrierCount > 0
                                         ? static_cast<std::int64_t>(carriers.size()) / carrierCount
                                         : 0};
    const bool kept = GaplessFrameKept(info, settings);
    if (kept) {
        out = BuildExtraInfoFrame(info, settings, plan, trim, id3v2BytesOut);
    } else {
        out.header = GaplessHeaderTemplate(info.firstHeader);
        out.bytes.assign(static_cast<std::size_t>(out.header.frameLength), 0);
        for (int i = 0; i < 4; ++i)
            out.bytes[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(out.header.headerWord >> (8 * i));
    }
    const std::int64_t length = static_cast<std::int64_t>(out.bytes.size());
    const auto toc = BuildToc(info, plan, trim.beginFrames, length, lead);
    // A kept VBR frame has the full layout (GaplessFrameKept): its table counts the carriers too.
    if (kept && info.IsVbr())
        std::memcpy(out.bytes.data() + out.header.sideInfoEnd + XingLayout::kTocOffset, toc.data(),
                    toc.size());
    const auto frames =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(plan.outputFrames, 0, UINT32_MAX));
    const auto bytes = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(plan.predictedSize - id3v2BytesOut, 0, UINT32_MAX));
    const bool stamped = StampGaplessFields(out.bytes, out.header.sideInfoEnd, info.IsVbr(), frames,
                                            bytes, toc, fields);
    VELMORA_ASSERT(stamped, "UnitExactCut");
    return out;
}

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void StampTagCrc(std::span<std::uint8_t> frame, int lame) {
    const std::uint16_t crc =
        Crc16Arc(frame.first(static_cast<std::size_t>(lame + LameTagLayout::kTagCrcOffset)));
    frame[static_cast<std::size_t>(lame + LameTagLayout::kTagCrcOffset)] =
        static_cast<std::uint8_t>(crc >> 8);
    frame[static_cast<std::size_t>(lame + LameTagLayout::kTagCrcOffset + 1)] =
        static_cast<std::uint8_t>(crc);
}

} // namespace

std::optional<SourceMusic> SourceMusicCrc(const StreamInfo& info) {
    if (!info.extraInfoPresent || info.frameCount <= 0 || info.lastFrameIncomplete ||
        info.leadingGarbage || info.missingHeaderCount > 0)
        return std::nullopt;
    std::span<const std::uint8_t> frame(info.ExtraInfoFrame.bytes);
    const int lame = FindLameTag(frame, info.ExtraInfoFrame.header.sideInfoEnd);
    if (lame < 0)
        return std::nullopt;
    const std::uint8_t* tag = frame.data() + lame;
    SourceMusic music;
    music.begin = info.frames[0].offset;
    const FrameEntry& last = info.frames[info.frameCount - 1];
    music.end = last.offset + last.length;
    music.crc = static_cast<std::uint16_t>((tag[LameTagLayout::kMusicCrcOffset] << 8) |
                                           tag[LameTagLayout::kMusicCrcOffset + 1]);
    // The extension counts the music from the extra-info frame's start, and nothing after it.
    const std::int64_t infoStart = music.begin - info.ExtraInfoFrame.header.frameLength;
    if (infoStart != info.audioStart ||
        BigEndian32(tag + LameTagLayout::kMusicLengthOffset) != music.end - infoStart)
        return std::nullopt;
    return music;
}

bool StampMusicCrc(std::span<std::uint8_t> frame, int sideInfoEnd, std::uint16_t musicCrc) {
    const int lame = FindLameTag(frame, sideInfoEnd);
    if (lame < 0)
        return false;
    frame[static_cast<std::size_t>(lame + LameTagLayout::kMusicCrcOffset)] =
        static_cast<std::uint8_t>(musicCrc >> 8);
    frame[static_cast<std::size_t>(lame + LameTagLayout::kMusicCrcOffset + 1)] =
        static_cast<std::uint8_t>(musicCrc);
    StampTagCrc(frame, lame);
    return true;
}

bool StampGaplessFields(std::span<std::uint8_t> frame, int sideInfoEnd, bool vbr,
                        std::uint32_t frames, std::uint32_t bytes,
                        const std::array<std::uint8_t, 100>& toc, GaplessFields fields) {
    int lame = FindLameTag(frame, sideInfoEnd);
    if (lame < 0) {
        const std::size_t need =
            static_cast<std::size_t>(sideInfoEnd) + XingLayout::kSize + LameTagLayout::kSize;
        if (sideInfoEnd < 4 || frame.size() < need)
            return false;
        std::fill(frame.begin() + 4, frame.end(), std::uint8_t{0});
        std::uint8_t* x = frame.data() + sideInfoEnd;
        std::memcpy(x, vbr ? "Xing" : "Info", 4);
        PutBigEndian32(x + XingLayout::kFlagsOffset,
                       XingLayout::kFlagFrames | XingLayout::kFlagBytes | XingLayout::kFlagToc |
                           XingLayout::kFlagQuality);
        PutBigEndian32(x + XingLayout::kFramesOffset, frames);
        PutBigEndian32(x + XingLayout::kBytesOffset, bytes);
        std::memcpy(x + XingLayout::kTocOffset, toc.data(), toc.size());
        lame = sideInfoEnd + XingLayout::kSize;
        std::memcpy(frame.data() + lame, "LAME3.100", 9);
    }
    std::uint8_t* tag = frame.data() + lame;
    std::uint8_t* dp = tag + LameTagLayout::kDelayPaddingOffset;
    dp[0] = static_cast<std::uint8_t>(fields.delay >> 4);
    dp[1] = static_cast<std::uint8_t>(((fields.delay & 15) << 4) | (fields.padding >> 8));
    dp[2] = static_cast<std::uint8_t>(fields.padding);
    PutBigEndian32(tag + LameTagLayout::kMusicLengthOffset, bytes);
    StampTagCrc(frame, lame);
    return true;
}

} // namespace velmora
