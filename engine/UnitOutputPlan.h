#pragma once

#include "UnitSilence.h"
#include "UnitTags.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

struct Settings;
struct StreamInfo;

// What saving with the current trim points and options will produce.
struct OutputPlan {
    std::int64_t silenceBeginFrames = 0;
    std::int64_t silenceEndFrames = 0;
    std::int64_t framesRemoved = 0;
    std::int64_t outputFrames = 0;
    int keepIncompleteLast = 0; // 1 when the incomplete last frame is copied
    std::int64_t predictedSize = 0;
    std::int64_t bytesSaved = 0; // negative when the output grows
};

// The plan with the two texts of the trim group.
struct OutputPlanDisplay {
    bool valid = false; // false while a trim field is empty (negative)
    OutputPlan plan;
    std::string LabelSpaceSaved; // "1.5KB", "-0.5KB"; "(0KB)" when not valid
    std::string LabelTimeRemain; // "3:25", "1h02"; "(00:00)" when not valid
};

// Whether the ID3v1 mode keeps, removes or recreates the tag.
inline constexpr std::uint8_t kId3v1Remove = 0, kId3v1Keep = 1, kId3v1Recreate = 2;

struct PlanOptions {
    TagsKept tagsKept = TagsKept::Yes;
    bool outputIsWav = false;                // from OutputIsWav
    std::string_view decimalSeparator = "."; // the user's locale's, for the saved-space text
    int gainSteps = 0;                       // the gain the save adds: its tags change too
    bool recordGainUndo = false;             // WriteParams::recordGainUndo
};

// The gain steps a save of `keptFrames` frames of `info` applies: none where the stream has no
// Layer III gain fields or the save keeps no frame, and no tag may then record a change.
int AppliedGainSteps(const StreamInfo& info, std::int64_t keptFrames, int steps);

// The output plan for `trim` on the open file.
OutputPlanDisplay ComputeOutputPlan(const StreamInfo& info, const TrimPoints& trim,
                                    const Settings& settings, const PlanOptions& options);

// "%.1f" of `value` with `decimalSeparator` in place of the point, whatever the process locale.
std::string FormatOneDecimal(double value, std::string_view decimalSeparator);

} // namespace velmora
