#include "UnitOutputPlan.h"

#include "UnitExactCut.h"
#include "UnitGainTags.h"
#include "UnitOptions.h"
#include "UnitScanner.h"
#include "UnitXing.h"
#include "Unit_MP3_RIFF.h"

#include <algorithm>
#include <charconv>

namespace velmora {

std::string FormatOneDecimal(double value, std::string_view decimalSeparator) {
    char text[64];
    // to_chars never looks at the process locale, unlike printf.
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    std::string out(text, result.ptr);
    const auto point = out.find('.');
    if (point != std::string::npos)
        out.replace(point, 1, decimalSeparator);
    return out;
}

int AppliedGainSteps(const StreamInfo& info, std::int64_t keptFrames, int steps) {
    return info.firstHeader.layerId == kLayer3 && keptFrames > 0 ? steps : 0;
}

OutputPlanDisplay ComputeOutputPlan(const StreamInfo& info, const TrimPoints& trim,
                                    const Settings& settings, const PlanOptions& options) {
    const bool tagsKept = options.tagsKept == TagsKept::Yes;
    const bool outputIsWav = options.outputIsWav;
    const std::string_view decimalSeparator = options.decimalSeparator;
    OutputPlanDisplay display;
    if (trim.beginFrames < 0 || trim.endFrames < 0) {
        display.LabelSpaceSaved = "(0KB)";
        display.LabelTimeRemain = "(00:00)";
        return display;
    }
    display.valid = true;
    OutputPlan& plan = display.plan;
    const MpegHeader& silent = info.SilentFrameTemplate.header;
    auto silenceFrames = [&](int index) -> std::int64_t {
        const auto i = static_cast<std::size_t>(
            std::clamp<int>(index, 0, static_cast<int>(SilenceDurationTable.size()) - 1));
        return SamplesPerFrame(silent) ? MillisecondsToFrames(silent, SilenceDurationTable[i] * 100)
                                       : 0;
    };
    plan.silenceBeginFrames = silenceFrames(settings.ComboBoxAddSilenceBeginning);
    plan.silenceEndFrames = silenceFrames(settings.ComboBoxAddSilenceEnd);
    const std::int64_t b = trim.beginFrames;
    const std::int64_t e = trim.endFrames;
    const std::int64_t total = info.frameCount;
    plan.framesRemoved = b + e;
    plan.outputFrames = total + plan.silenceBeginFrames + plan.silenceEndFrames - b - e;

    std::int64_t size =
        (plan.silenceBeginFrames + plan.silenceEndFrames) * std::int64_t{silent.frameLength};
    plan.keepIncompleteLast =
        (info.lastFrameIncomplete && !settings.CheckBoxRemoveLastFrame && e == 0) ? 1 : 0;
    // One past the last kept frame; never beyond the entry of an incomplete tail.
    const std::int64_t n = std::min(total + plan.keepIncompleteLast - e,
                                    std::max<std::int64_t>(info.frames.size() - 1, 0));
    if (settings.CheckBoxCleanup) {
        for (std::int64_t i = std::max<std::int64_t>(b, 0); i < n; ++i)
            size += info.frames[i].length;
    } else if (b < n) {
        size += info.frames[n - 1].offset + info.frames[n - 1].length - info.frames[b].offset;
    }
    if (WantExtraInfo(info, settings))
        size += ExtraInfoLength(info, settings);
    if (outputIsWav)
        size += 58;
    const std::int64_t id3v1Present = tagsKept ? info.id3v1Size : 0;
    if (settings.RadioButtonID3Remove == kId3v1Keep)
        size += id3v1Present;
    else if (settings.RadioButtonID3Remove == kId3v1Recreate)
        size += 128;
    // Ctrl+T switches every tag off, these blocks too, as the writer leaves them out then.
    if (tagsKept)
        size += info.apeSize + info.lyrics3Size;
    if (!outputIsWav && settings.CheckBoxKeepID3v2 && tagsKept)
        size += info.id3v2.tagSize;
    size += GainTagGrowth(info, tagsKept, AppliedGainSteps(info, n - b, options.gainSteps),
                          options.recordGainUndo && !outputIsWav);
    plan.predictedSize = size;
    plan.bytesSaved = info.sourceSize - size;

    // An exact cut keeps the played samples between the points; added silence makes it a frame
    // cut.
    const bool exact = settings.CheckBoxExactCut && !outputIsWav && plan.silenceBeginFrames == 0 &&
                       plan.silenceEndFrames == 0 && info.firstHeader.layerId == kLayer3;
    display.LabelTimeRemain = exact ? FormatSecondsLength(PlayedSeconds(info, b + e))
                                    : FormatLength(info.firstHeader, plan.outputFrames);
    display.LabelSpaceSaved =
        FormatOneDecimal(static_cast<double>(plan.bytesSaved) / 1024.0, decimalSeparator) + "KB";
    return display;
}

} // namespace velmora
