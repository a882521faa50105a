// Cuts streams built frame by frame from the input (bitrates, reservoir pointers, channel modes,
// sample rates, CRCs, an encoder extension with its delay and padding, a truncated end) at
// sample positions the input picks, and checks the exact cut's promises: it either falls back
// to the frame cut's very bytes with a warning, or its output scans as a stream whose extension
// plays exactly the samples asked for, whose first copied frame reads the reservoir bytes it read
// in the source, and whose copied frames are the source's; the early copy gives the same file.
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitExactCut.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitSideInfo.h"
#include "UnitWriter.h"
#include "UnitXing.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr std::size_t kKnobBytes = 6;
constexpr std::size_t kFrameBytes = 4; // one frame's description
constexpr std::size_t kMaxFrames = 120;
// An output must have this many frames before its own analysis must succeed.
constexpr std::int64_t kCountedFrames = 8;

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/velmora-fuzz-exact-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        root = pattern;
    }
    ~Scratch() {
        for (const char* name : {"/a.mp3", "/exact.mp3", "/frames.mp3", "/early.mp3"})
            ::unlink((root + name).c_str());
        ::rmdir(root.c_str());
    }
    std::string File(const char* name) const { return root + "/" + name; }
    std::string root;
};

const Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stream the input describes: knobs first, then four bytes a frame.
std::vector<std::uint8_t> BuildStream(std::span<const std::uint8_t> in) {
    const std::uint8_t k = in[0];
    FrameSpec base;
    base.versionId = std::array<std::uint8_t, 3>{3, 2, 0}[(k & 3) % 3];
    base.channelMode = k & 4 ? 3 : 1;
    base.crc = k & 8;
    std::vector<std::uint8_t> out;
    if (k & 16) {
        // An extra-info frame with the encoder's extension: delay and padding from the input.
        FrameSpec x = base;
        x.bitrateIndex = 14;
        x.crc = false;
        std::vector<std::uint8_t> frame = BuildExtraInfoFrame(x, "Info", 0, 0);
        MpegHeader h;
        DecodeHeader(h, HeaderWord(x));
        std::uint8_t* tag = frame.data() + h.sideInfoEnd + 16;
        if (h.sideInfoEnd + 16 + LameTagLayout::kSize <= h.frameLength) {
            std::memcpy(tag, "LAME3.100", 9);
            tag[LameTagLayout::kDelayPaddingOffset] = in[5];
            tag[LameTagLayout::kDelayPaddingOffset + 1] = in[4];
            tag[LameTagLayout::kDelayPaddingOffset + 2] = in[3];
        }
        out.insert(out.end(), frame.begin(), frame.end());
    }
    const std::size_t frames = std::min((in.size() - kKnobBytes) / kFrameBytes, kMaxFrames);
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint8_t* d = in.data() + kKnobBytes + i * kFrameBytes;
        FrameSpec f = base;
        f.bitrateIndex = static_cast<std::uint8_t>(k & 32 ? 1 + d[0] % 14 : 9);
        f.padding = d[0] & 16;
        if (d[0] & 32) // another channel mode, now and then
            f.channelMode = f.channelMode == 3 ? 1 : 3;
        if ((d[0] & 0xC0) == 0xC0) // another sample rate, rarely
            f.sampleRateIndex = 1;
        f.mainDataBegin = ((d[1] << 8) | d[2]) & 511;
        f.part23Length = {d[3] * 8, d[3] * 7, d[3] * 5, d[3] * 3};
        f.globalGain = {150, 150, 150, 150};
        f.fill = static_cast<std::uint8_t>(d[3] ^ 0x5A);
        AppendFrames(out, f, 1);
    }
    if (k & 64) // a truncated last frame
        out.resize(out.size() - std::min<std::size_t>(out.size(), 1 + in[2] % 64));
    return out;
}

// The main-data bytes frame `index` of `file` reads from the frames before it; empty with the
// marker set when they are not all there.
std::vector<std::uint8_t> Reservoir(std::span<const std::uint8_t> file, const StreamInfo& info,
                                    std::int64_t index, bool& whole) {
    whole = false;
    const FrameEntry& e = info.frames[index];
    MpegHeader h;
    if (!DecodeHeader(h, HeaderWordAt(file.data() + e.offset)))
        return {};
    const SideInfoBits bits(file.data() + e.offset + h.headerSize, file.data() + file.size());
    std::int64_t missing = bits.MainDataBegin(h.versionId == kMpeg1);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(missing));
    for (std::int64_t at = index - 1; missing > 0; --at) {
        if (at < 0)
            return {};
        const FrameEntry& before = info.frames[at];
        MpegHeader b;
        if (!DecodeHeader(b, HeaderWordAt(file.data() + before.offset)))
            return {};
        const std::int64_t n = std::min<std::int64_t>(missing, b.frameLength - b.sideInfoEnd);
        std::memcpy(bytes.data() + (missing - n), file.data() + before.offset + b.frameLength - n,
                    static_cast<std::size_t>(n));
        missing -= n;
    }
    whole = true;
    return bytes;
}

WriteParams SaveParams(const std::string& source, const std::string& output, const StreamInfo& info,
                       const Settings& s, std::int64_t begin, std::int64_t end) {
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    const TrimPoints trim{std::min(begin / spf, info.frameCount),
                          std::max<std::int64_t>(0, info.frameCount - (end + spf - 1) / spf)};
    const OutputPlan plan = ComputeOutputPlan(info, trim, s, {}).plan;
    WriteParams p = MakeSaveParams(source, output, info, trim, plan, s, 0, 0, 0);
    p.beginSample = begin;
    p.endSample = end;
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kKnobBytes + kFrameBytes * 8)
        return 0;
    const std::span<const std::uint8_t> in(data, size);
    const Scratch& scratch = TheScratch();
    const std::vector<std::uint8_t> file = BuildStream(in);
    WriteFile(scratch.File("a.mp3"), file);

    static const MessageTable messages = MessageTable::English();
    Settings s;
    s.CheckBoxExactCut = true;
    s.CheckBoxAllowPatchedStreams = in[0] & 128;
    s.CheckBoxSave_WithTime = false;
    s.CheckBoxPreserveDate = false;
    NullProgress progress;
    StreamInfo info;
    try {
        info = OpenSourceFile(scratch.File("a.mp3"), s, messages, progress, {}).info;
    } catch (const VelmoraError&) {
        return 0;
    }
    const std::int64_t decoded = DecodedSamples(info);
    const std::int64_t begin = decoded * in[1] / 255;
    const std::int64_t end = std::max(begin, decoded - decoded * in[2] / 255);
    const WriteContext context{s, messages};

    const WriteParams params =
        SaveParams(scratch.File("a.mp3"), scratch.File("exact.mp3"), info, s, begin, end);
    WriteResult exact;
    try {
        exact = WriteOutput(params, info, context, progress);
    } catch (const VelmoraError& e) {
        Check(!std::string_view(e.what()).starts_with("Assertion failed"));
        return 0;
    }
    const std::vector<std::uint8_t> out = ReadBytes(scratch.File("exact.mp3"));

    // The early copy gives the same file, used or not.
    {
        EarlyCopy::Forecast forecast;
        forecast.copyStep = 4096; // several steps even for small inputs
        const std::int64_t spf = SamplesPerFrame(info.firstHeader);
        forecast.startFrame = [&](const MpegHeader&) { return begin / spf; };
        forecast.place = [&](const StreamInfo& f) {
            return PlaceEarlyCopy(
                SaveParams(scratch.File("a.mp3"), scratch.File("early.mp3"), f, s, begin, end), f,
                context);
        };
        EarlyCopy early(scratch.File("a.mp3"), scratch.File("early.mp3"), forecast);
        StreamInfo again =
            OpenSourceFile(scratch.File("a.mp3"), s, messages, progress, {}, nullptr, &early).info;
        WriteParams p =
            SaveParams(scratch.File("a.mp3"), scratch.File("early.mp3"), again, s, begin, end);
        p.earlyCopy = &early;
        WriteOutput(p, again, context, progress);
        Check(ReadBytes(scratch.File("early.mp3")) == out);
    }

    if (!exact.exactCutWarning.empty()) {
        // The fallback is the frame cut, byte for byte.
        Settings frameCut = s;
        frameCut.CheckBoxExactCut = false;
        WriteOutput(SaveParams(scratch.File("a.mp3"), scratch.File("frames.mp3"), info, frameCut,
                               begin, end),
                    info, {frameCut, messages}, progress);
        Check(ReadBytes(scratch.File("frames.mp3")) == out);
        return 0;
    }
    const ExactCutPlan plan = PlanExactCut(info, file, begin, end);
    // Nothing kept, or a cut the frame cut makes exactly.
    if (params.frameCount == 0 || !plan.cut)
        return 0;
    StreamInfo written;
    try {
        written = OpenSourceFile(scratch.File("exact.mp3"), s, messages, progress, {}).info;
    } catch (const VelmoraError&) {
        // Shorter streams are judged by the open's acceptance rules, not by what they contain.
        Check(exact.outputFrames < kCountedFrames);
        return 0;
    }
    Check(written.missingHeaderCount == 0 && written.extraInfoPresent);
    Check(written.frameCount == exact.outputFrames);
    const std::optional<GaplessFields> fields = SourceGapless(written);
    Check(fields.has_value());
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    Check(written.frameCount * spf - fields->delay - fields->padding == end - begin);

    // The copied frames follow the carriers unchanged, and the first reads what it read before.
    const std::int64_t carriers = CarrierFrameCount(plan.cut->reservoirFrame);
    const std::int64_t c = plan.cut->startFrame;
    for (std::int64_t i = 0; i < plan.cut->frameCount; ++i) {
        const FrameEntry& from = info.frames[c + i];
        const FrameEntry& to = written.frames[carriers + i];
        Check(from.length == to.length &&
              std::equal(file.begin() + from.offset, file.begin() + from.offset + from.length,
                         out.begin() + to.offset));
    }
    if (c > 0) {
        bool sourceWhole = false, outputWhole = false;
        const auto before = Reservoir(file, info, c, sourceWhole);
        const auto after = Reservoir(out, written, carriers, outputWhole);
        Check(sourceWhole && outputWhole && before == after);
    }
    return 0;
}
