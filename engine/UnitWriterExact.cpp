// Turns the samples an exact cut keeps into the frames the writer copies.

#include "UnitExactCut.h"
#include "UnitFileView.h"
#include "UnitWriter.h"
#include "UnitWriterParts.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

// A RIFF wrapper is played by players that read no extra-info frame.
bool ExactCutAsked(const WriteParams& params, const WriteContext& context) {
    return params.exactCut && !context.outputIsWav && params.frameCount > 0;
}

} // namespace

WriteParams PlanExactWrite(const WriteParams& params, const StreamInfo& info,
                           const WriteContext& context, std::string& warning) {
    if (!ExactCutAsked(params, context))
        return params;
    if (params.silenceBeginFrames > 0 || params.silenceEndFrames > 0) {
        warning = ExactCutProblemText(ExactCutProblem::AddedSilence);
        return params;
    }
    ExactCutPlan plan;
    {
        const FileView view =
            OpenFileView(params.sourcePath, FileAccess::ReadOnly, context.messages);
        plan = PlanExactCut(info, view.bytes(), params.beginSample, params.endSample);
    }
    if (!plan.cut) {
        // A source without delay information cut at its very start and at a frame's end: the
        // frame cut is exact already.
        const std::int64_t spf = SamplesPerFrame(info.firstHeader);
        const bool frameCutExact = plan.problem == ExactCutProblem::BeforeDecoderDelay &&
                                   params.beginSample == 0 && params.endSample % spf == 0;
        // Layer I and II keep no bit reservoir and no granule overlap: they are cut on frame
        // boundaries as they always were, without a word.
        if (!frameCutExact && plan.problem != ExactCutProblem::NotLayer3)
            warning = ExactCutProblemText(plan.problem);
        return params;
    }
    WriteParams exact = params;
    exact.startFrame = plan.cut->startFrame;
    exact.frameCount = plan.cut->frameCount;
    // A preview measures its fades against the whole file, a save against what it keeps.
    exact.fadeSpan = params.fadeSpan > params.frameCount ? params.fadeSpan : plan.cut->frameCount;
    exact.gapless = plan.cut->fields;
    exact.reservoirFrame = std::move(plan.cut->reservoirFrame);
    exact.earlyCopy = params.earlyCopy;
    return exact;
}

EarlyCopy::Placement PlaceEarlyCopy(const WriteParams& params, const StreamInfo& forecast,
                                    const WriteContext& context) {
    WriteParams p = params;
    if (ExactCutAsked(p, context) && p.silenceBeginFrames == 0 && p.silenceEndFrames == 0) {
        const FileView view = OpenFileView(p.sourcePath, FileAccess::ReadOnly, context.messages);
        ExactStartPlan start = PlanExactStart(forecast, view.bytes(), p.beginSample);
        // Otherwise the cut falls back to the frame cut, or finds its problem after the start.
        if (start.problem == ExactCutProblem::None) {
            p.startFrame = start.copiedFrame;
            p.reservoirFrame = std::move(start.reservoirFrame);
            p.gapless = GaplessFields{};
        }
    }
    return {p.startFrame, OutputHeadLength(p, forecast, context)};
}

namespace writer {

namespace {

// The CRC of the source bytes [first, end), from the music CRC of the source's encoder extension
// and the bytes outside the stretch, when the extension describes the stream and those bytes are
// fewer.
std::optional<std::uint16_t> StretchCrc(const StreamInfo& info, std::span<const std::uint8_t> file,
                                        std::int64_t first, std::int64_t end) {
    const std::optional<SourceMusic> music = SourceMusicCrc(info);
    if (!music || first < music->begin || end > music->end ||
        music->end > static_cast<std::int64_t>(file.size()) ||
        (first - music->begin) + (music->end - end) >= end - first)
        return std::nullopt;
    const auto bytes = [&](std::int64_t from, std::int64_t to) {
        return file.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    };
    // music = before, stretch, after
    const std::uint16_t before = Crc16Arc(bytes(music->begin, first));
    const std::uint16_t after = Crc16Arc(bytes(end, music->end));
    const std::uint16_t throughStretch =
        Crc16ArcShift(static_cast<std::uint16_t>(music->crc ^ after), -(music->end - end));
    return static_cast<std::uint16_t>(throughStretch ^ Crc16ArcShift(before, end - first));
}

// The CRC of the copied frames as they go out, read one by one. A gain or fade changes no byte
// past the side information.
std::uint16_t CopiedFramesCrc(const WriteParams& params, const StreamInfo& info,
                              const Layout& layout, std::span<const std::uint8_t> file,
                              std::uint16_t crc) {
    constexpr std::int64_t kChanging = 6 + 32; // header, CRC, the longest side information
    std::uint8_t work[kChanging];
    const bool fading = layout.fades.fadeInIndex != 0 || layout.fades.fadeOutIndex != 0;
    for (std::int64_t i = 0; i < params.frameCount; ++i) {
        const std::int64_t index = params.startFrame + i;
        const FrameEntry& entry = info.frames[index];
        const std::int64_t length = CopyLength(params, info, i);
        const std::span<const std::uint8_t> bytes =
            file.subspan(static_cast<std::size_t>(entry.offset), static_cast<std::size_t>(length));
        const int delta =
            (fading ? FadeOffset(layout.fades, info.firstHeader, i) : 0) + layout.gainSteps;
        std::size_t head = 0;
        if (delta != 0) {
            head = static_cast<std::size_t>(
                std::min<std::int64_t>({kChanging, std::int64_t{entry.length}, length}));
            std::memcpy(work, bytes.data(), head);
            ApplyFrameDelta(work, static_cast<std::int64_t>(head), delta,
                            index < info.frameCount ? std::optional(entry.computedCrc)
                                                    : std::nullopt);
            crc = Crc16Arc(std::span<const std::uint8_t>(work, head), crc);
        }
        crc = Crc16Arc(bytes.subspan(head), crc);
    }
    return crc;
}

} // namespace

void StampOutputMusicCrc(const WriteParams& params, const StreamInfo& info, Layout& layout,
                         const WriteContext& context) {
    const FileView view = OpenFileView(params.sourcePath, FileAccess::ReadOnly, context.messages);
    const std::span<const std::uint8_t> file = view.bytes();
    const std::int64_t last = params.startFrame + params.frameCount - 1;
    const std::int64_t first = info.frames[params.startFrame].offset;
    const std::int64_t end =
        info.frames[last].offset + CopyLength(params, info, params.frameCount - 1);
    // A source that shrank since it was opened fails in the writer.
    if (end > static_cast<std::int64_t>(file.size()))
        return;
    const std::uint16_t carriers = Crc16Arc(params.reservoirFrame);
    const bool unchanged =
        layout.gainSteps == 0 && layout.fades.fadeInIndex == 0 && layout.fades.fadeOutIndex == 0;
    std::optional<std::uint16_t> stretch;
    if (unchanged && end - first == layout.framesBytes)
        stretch = StretchCrc(info, file, first, end);
    const std::uint16_t crc =
        stretch ? static_cast<std::uint16_t>(Crc16ArcShift(carriers, end - first) ^ *stretch)
                : CopiedFramesCrc(params, info, layout, file, carriers);
    StampMusicCrc(layout.extraInfo.bytes, layout.extraInfo.header.sideInfoEnd, crc);
}

} // namespace writer

} // namespace velmora
