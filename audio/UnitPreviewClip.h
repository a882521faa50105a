#pragma once

#include "UnitWriter.h"

#include <cstdint>
#include <string>

namespace velmora {

struct MessageTable;
struct MpegHeader;
struct Settings;

// What the preview buttons read from the window when they are clicked.
struct PreviewRequest {
    bool endButton = false;       // BitBtnTestEnd; otherwise BitBtnTestBegin
    bool shift = false;           // a one-second clip
    bool ctrl = false;            // 8 steps louder (Layer III)
    std::int64_t beginFrames = 0; // SpinEditBeginF, -1 while empty
    std::int64_t endFrames = 0;   // SpinEditEndF, -1 while empty
    std::int64_t totalFrames = 0;
    std::int64_t planSilenceBeginFrames = 0; // OutputPlan
    std::int64_t planSilenceEndFrames = 0;
    int fadeInPosition = 0; // TrackBarFadeIn
    int fadeOutPosition = 0;
    int amplificationPosition = 0;     // TrackBarAmplification
    bool amplificationEnabled = false; // the bar is enabled on Layer III files only
};

enum class PreviewOutcome {
    Play,             // a clip to render
    NothingToPreview, // "Nothing to preview."
    InvalidTrim,      // a trim field is empty or the points overlap: the button goes up silently
};

// The clip a preview button plays, as the writer's parameters.
struct PreviewClip {
    PreviewOutcome outcome = PreviewOutcome::Play;
    std::int64_t startFrame = 0;
    std::int64_t frameCount = 0;
    std::int64_t silenceBeginFrames = 0;
    std::int64_t silenceEndFrames = 0;
    int fadeInIndex = 0;
    int fadeOutIndex = 0;
    int gainSteps = 0;
    // Where the clip's first and last frame boundaries lie for an exact cut: counted from the
    // file's start, as a save counts its begin point, or from its end, as it counts its end point.
    bool startFromEnd = false;
    bool endFromEnd = false;
};

inline constexpr int kPreviewCtrlSteps = 8;

// The clip of BitBtnTestBeginClick / BitBtnTestEndClick for SpinEditPreviewLength and
// RadioGroupPreviewPlaysWhat.
PreviewClip ComputePreviewClip(const MpegHeader& first, const Settings& settings,
                               const PreviewRequest& request);

// The writer's parameters for a preview of `clip`: a memory target (`memory` set) or the file
// `outputPath`; no tags, frames only, fades measured against the whole file. An exact cut starts
// and ends the clip where a save starts and ends the kept audio, behind the extra-info frame that
// says so; otherwise there is no extra-info frame.
WriteParams MakePreviewParams(const std::string& sourcePath, const PreviewClip& clip,
                              const StreamInfo& info, std::vector<std::uint8_t>* memory,
                              const std::string& outputPath = {}, bool exactCut = false);

// "Nothing to preview." in the user's language.
std::string NothingToPreviewText(const MessageTable& messages);

// The clip's length with its added silence, for the player's watchdog.
std::int64_t PreviewClipMilliseconds(const MpegHeader& first, const PreviewClip& clip);

} // namespace velmora
