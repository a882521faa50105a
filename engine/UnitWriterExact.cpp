// Turns the samples an exact cut keeps into the frames the writer copies.

#include "UnitExactCut.h"
#include "UnitFileView.h"
#include "UnitWriter.h"

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

} // namespace velmora
