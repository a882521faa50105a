#include "UnitPreviewClip.h"

#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitOptions.h"

#include <algorithm>

namespace velmora {

namespace {

// The part the save keeps, heard from the begin point or up to the end point.
void KeptPart(PreviewClip& clip, const PreviewRequest& r, std::int64_t n) {
    const std::int64_t b = r.beginFrames, e = r.endFrames, total = r.totalFrames;
    if (!r.endButton) {
        clip.startFrame = b;
        n = std::min(n, total - b);
        n = std::min(n, total - e - b);
        clip.silenceBeginFrames = r.planSilenceBeginFrames;
        clip.fadeInIndex = r.fadeInPosition;
    } else {
        const std::int64_t endPos = total - e;
        clip.startFrame = endPos - n;
        if (clip.startFrame < 0) {
            clip.startFrame = 0;
            n = endPos;
        }
        if (b > clip.startFrame) {
            clip.startFrame = b;
            n = endPos - b;
        }
        clip.silenceEndFrames = r.planSilenceEndFrames;
        clip.fadeOutIndex = r.fadeOutPosition;
        clip.startFromEnd = clip.startFrame != 0 && clip.startFrame != b;
    }
    clip.frameCount = n;
    clip.endFromEnd = r.endButton || clip.startFrame + n == total - e;
}

// The part the save cuts away, heard up to the begin point or from the end point.
void TrimmedPart(PreviewClip& clip, const PreviewRequest& r, std::int64_t n) {
    if (!r.endButton) {
        clip.startFrame = r.beginFrames - n;
        if (clip.startFrame < 0) {
            clip.startFrame = 0;
            n = r.beginFrames;
        }
    } else {
        clip.startFrame = r.totalFrames - r.endFrames;
        n = std::min(n, r.totalFrames - clip.startFrame);
    }
    clip.frameCount = n;
    clip.startFromEnd = clip.endFromEnd = r.endButton;
}

} // namespace

PreviewClip ComputePreviewClip(const MpegHeader& first, const Settings& settings,
                               const PreviewRequest& request) {
    PreviewClip clip;
    // An empty field or overlapping points would put the clip outside the file.
    if (request.beginFrames < 0 || request.endFrames < 0 ||
        request.beginFrames + request.endFrames > request.totalFrames) {
        clip.outcome = PreviewOutcome::InvalidTrim;
        return clip;
    }
    const std::int64_t seconds = request.shift ? 1 : settings.SpinEditPreviewLength;
    const std::int64_t n = SecondsToFrames(first, seconds);
    if (settings.RadioGroupPreviewPlaysWhat)
        TrimmedPart(clip, request, n);
    else
        KeptPart(clip, request, n);
    if (!request.amplificationEnabled) {
        // Gain and fades exist on Layer III only.
        clip.fadeInIndex = 0;
        clip.fadeOutIndex = 0;
    } else {
        clip.gainSteps = request.amplificationPosition + (request.ctrl ? kPreviewCtrlSteps : 0);
    }
    if (clip.frameCount <= 0)
        clip.outcome = PreviewOutcome::NothingToPreview;
    return clip;
}

WriteParams MakePreviewParams(const std::string& sourcePath, const PreviewClip& clip,
                              const StreamInfo& info, std::vector<std::uint8_t>* memory,
                              const std::string& outputPath, bool exactCut) {
    WriteParams p;
    p.sourcePath = sourcePath;
    p.outputPath = outputPath;
    p.memoryTarget = outputPath.empty() ? memory : nullptr;
    p.closeAfterSave = false;
    p.writeExtraInfo = false;
    p.writeId3v1 = false;
    p.keepId3v2 = false;
    p.cleanup = true;
    p.silenceBeginFrames = clip.silenceBeginFrames;
    p.silenceEndFrames = clip.silenceEndFrames;
    p.fadeInIndex = clip.fadeInIndex;
    p.fadeOutIndex = clip.fadeOutIndex;
    p.startFrame = clip.startFrame;
    p.frameCount = clip.frameCount;
    p.fadeSpan = info.frameCount;
    p.showProgress = false;
    p.gainSteps = clip.gainSteps;
    p.exactCut = exactCut;
    // Frame boundaries in decoded samples, as the save's trim points count them.
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    const std::int64_t decoded = DecodedSamples(info);
    const auto at = [&](std::int64_t frame, bool fromEnd) {
        return std::clamp<std::int64_t>(
            fromEnd ? decoded - (info.frameCount - frame) * spf : frame * spf, 0, decoded);
    };
    p.beginSample = at(clip.startFrame, clip.startFromEnd);
    p.endSample = std::max(p.beginSample, at(clip.startFrame + clip.frameCount, clip.endFromEnd));
    return p;
}

std::string NothingToPreviewText(const MessageTable& messages) {
    return MessageOr(messages, kMsgNothingToPreview, "Nothing to preview.");
}

std::int64_t PreviewClipMilliseconds(const MpegHeader& first, const PreviewClip& clip) {
    return FramesToMilliseconds(first,
                                clip.silenceBeginFrames + clip.frameCount + clip.silenceEndFrames);
}

} // namespace velmora
