#include "UnitCueSheet.h"

#include "UnitCueParse.h"
#include "UnitOptions.h"

namespace velmora {

CueGenerateResult GenerateCueSheet(const std::string& mp3Path, StreamInfo& info, TrimPoints trim,
                                   PriorVolumeAnalysis prior, const Settings& settings,
                                   const MessageTable& messages, IProgress& progress) {
    CueGenerateResult result;
    if (prior == PriorVolumeAnalysis::None) {
        const VolumeAnalysis analysis =
            AnalyseVolume(mp3Path, info, trim.beginFrames, info.frameCount - trim.endFrames,
                          VolumeScope::Levels, settings, messages, progress);
        result.normalization = ComputeNormalization(analysis, settings);
    }
    result.sheet = GenerateCueSheetText(mp3Path, info, settings.SpinEditMinimumCueTrackLength);
    result.cuePath = ChangeFileExt(mp3Path, ".cue");
    WriteCueSheetFile(result.cuePath, result.sheet.text);
    return result;
}

} // namespace velmora
