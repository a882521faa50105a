#include "CliCommon.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitCueSheet.h"
#include "UnitSilence.h"

#include <ostream>

namespace velmora::cli {

namespace {

constexpr const char* kCueUsage =
    "Usage: velmora-cli cue FILE\n"
    "  Finds the quiet gaps of FILE, writes FILE's name with \".cue\" beside it and prints it.\n"
    "  Options: SpinEditMinimumCueTrackLength (seconds, 0 = 10 frames); with\n"
    "  CheckBoxAutoDetectSilence the silent ends are left out of the volume analysis.\n";

} // namespace

int CmdCue(CliContext& ctx, std::ostream& out, std::ostream& err) {
    if (ctx.args.size() != 1 || ctx.args[0].rfind("--", 0) == 0) {
        err << kCueUsage;
        return 2;
    }
    const std::string& path = ctx.args[0];
    TerminalProgress progress(BaseName(path));
    OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    TrimPoints trim;
    if (ctx.settings.CheckBoxAutoDetectSilence) {
        if (const auto automatic = AutoTrim(opened.info, ctx.settings, OperationState::Idle))
            trim = *automatic;
    }
    const CueGenerateResult result = GenerateCueSheet(
        path, opened.info, trim, PriorVolumeAnalysis::None, ctx.settings, ctx.messages, progress);
    std::string shown;
    for (char c : result.sheet.text)
        if (c != '\r')
            shown += c;
    out << shown;
    err << "velmora-cli: " << result.sheet.trackFrames.size() << " tracks, written to "
        << result.cuePath << "\n";
    return 0;
}

} // namespace velmora::cli
