// Turns the samples an exact cut keeps into the frames the writer copies.

#include "UnitExactCut.h"
#include "UnitFileView.h"
#include "UnitWriter.h"

namespace velmora {

WriteParams PlanExactWrite(const WriteParams& params, const StreamInfo& info,
                           const WriteContext& context, std::string& warning) {
    // A RIFF wrapper is played by players that read no extra-info frame.
    if (!params.exactCut || context.outputIsWav || params.frameCount == 0)
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
    exact.fadeSpan = plan.cut->frameCount;
    exact.gapless = plan.cut->fields;
    exact.reservoirFrame = std::move(plan.cut->reservoirFrame);
    exact.earlyCopy = params.earlyCopy;
    return exact;
}

} // namespace velmora
