#include "UnitCueSheet.h"

#include "UnitCueParse.h"
#include "UnitOptions.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace velmora {

namespace {

// Other programs resolve the FILE line from the sheet's folder, not from our working directory:
// a relative path gets its folder resolved.
std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) != nullptr)
        return std::string(resolved) + (resolved[1] == '\0' ? "" : "/") + name;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

} // namespace

CueGapRules CueGapRulesOf(const MpegHeader& header, const Settings& settings) {
    return {{},
            kMinimumGapFrames,
            MinimumCueTrackFrames(header, settings.SpinEditMinimumCueTrackLength)};
}

CueGenerateResult GenerateCueSheet(const std::string& mp3Path, StreamInfo& info, TrimPoints trim,
                                   PriorVolumeAnalysis prior, const Settings& settings,
                                   const MessageTable& messages, IProgress& progress,
                                   const std::optional<CueGapRules>& rules) {
    CueGenerateResult result =
        DetectCueSheet(mp3Path, info, trim, prior, settings, messages, progress, rules);
    result.cuePath = ChangeFileExt(mp3Path, ".cue");
    WriteCueSheetFile(result.cuePath, result.sheet.text);
    return result;
}

CueGenerateResult DetectCueSheet(const std::string& mp3Path, StreamInfo& info, TrimPoints trim,
                                 PriorVolumeAnalysis prior, const Settings& settings,
                                 const MessageTable& messages, IProgress& progress,
                                 const std::optional<CueGapRules>& rules) {
    CueGenerateResult result;
    if (prior == PriorVolumeAnalysis::None) {
        const VolumeAnalysis analysis =
            AnalyseVolume(mp3Path, info, trim.beginFrames, info.frameCount - trim.endFrames,
                          VolumeScope::Levels, messages, progress);
        StoreEnergies(analysis, info);
        result.normalization = ComputeNormalization(analysis, settings);
    }
    result.sheet = GenerateCueSheetText(AbsolutePath(mp3Path), info,
                                        rules.value_or(CueGapRulesOf(info.firstHeader, settings)));
    return result;
}

} // namespace velmora
