#pragma once

#include "UnitCueGenerate.h"
#include "UnitSilence.h"
#include "UnitVolume.h"

#include <optional>
#include <string>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;

struct CueGenerateResult {
    GeneratedCueSheet sheet;
    std::string cuePath;
    // Set when the volume analysis ran first: what the volume controls now show.
    std::optional<NormalizationResult> normalization;
};

// Whether the frames' energies are those of a volume analysis run since the open.
enum class PriorVolumeAnalysis : bool { None, Done };

// The rules the options give: the file's own threshold, 20 frames of gap and
// SpinEditMinimumCueTrackLength.
CueGapRules CueGapRulesOf(const MpegHeader& header, const Settings& settings);

// Finds the quiet gaps of the open file and writes the sheet beside it (mp3Path with ".cue"); its
// FILE line holds the absolute path. Without an earlier volume analysis the frames between the
// trim points are decoded first, as the Auto volume action does; its errors stop the command
// before anything is written. Without `rules`, those of the options.
CueGenerateResult GenerateCueSheet(const std::string& mp3Path, StreamInfo& info, TrimPoints trim,
                                   PriorVolumeAnalysis prior, const Settings& settings,
                                   const MessageTable& messages, IProgress& progress,
                                   const std::optional<CueGapRules>& rules = std::nullopt);

// The same sheet, not written anywhere (cuePath stays empty).
CueGenerateResult DetectCueSheet(const std::string& mp3Path, StreamInfo& info, TrimPoints trim,
                                 PriorVolumeAnalysis prior, const Settings& settings,
                                 const MessageTable& messages, IProgress& progress,
                                 const std::optional<CueGapRules>& rules = std::nullopt);

} // namespace velmora
