#include "CliCommon.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitBatchLog.h"
#include "UnitChapterSplit.h"
#include "UnitCueSheet.h"
#include "UnitCueSplit.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <ostream>

namespace velmora::cli {

namespace {

// Splits at the quiet gaps found as `cue` finds them, without writing a sheet.
SplitResult SplitAtGaps(CliContext& ctx, const SplitArgs& a, StreamInfo& info,
                        const SplitControls& controls, TerminalProgress& progress,
                        const TrackWritten& print) {
    const Settings& settings = ctx.settings;
    progress.SetLabel("measuring " + BaseName(a.file));
    const CueGenerateResult detected =
        DetectCueSheet(a.file, info, CueTrim(info, settings), PriorVolumeAnalysis::None, settings,
                       ctx.messages, progress, GapRulesOf(a.gaps, info.firstHeader, settings));
    const bool wav = OutputIsWav(settings, info.firstHeader.layerId, std::nullopt);
    const CueTrackTable table =
        ParseCueSheetText(detected.sheet.text, {info.firstHeader, info.frameCount, wav});
    SplitResult result;
    result.found = true;
    SplitByTrackTable(a.file, info, table, controls, settings, ctx.messages, progress, print,
                      result);
    return result;
}

} // namespace

int CmdSplit(CliContext& ctx, const SplitArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& path = a.file;
    SplitControls controls;
    controls.gainSteps = a.gain.value_or(ctx.settings.TrackBarDefaultAmplification);
    controls.fadeInIndex = a.fadeIn;
    controls.fadeOutIndex = a.fadeOut;
    controls.overwrite = a.overwrite;
    controls.outputFolder = a.outputDir;
    controls.namePattern = a.names;
    controls.writeTags = !a.noTags;

    TerminalProgress progress("reading " + BaseName(path));
    OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    int track = 1;
    progress.SetLabel("writing track 1 of " + BaseName(path));
    const TrackWritten print = [&](const std::string& written) {
        out << EscapeControls(written) << "\n" << std::flush;
        progress.SetLabel("writing track " + std::to_string(++track) + " of " + BaseName(path));
    };
    SplitResult result;
    if (a.silence) {
        result = SplitAtGaps(ctx, a, opened.info, controls, progress, print);
    } else {
        const auto split = a.chapters ? SplitByChapters : SplitByCueSheet;
        result = split(path, opened.info, controls, ctx.settings, ctx.messages, progress, print);
    }
    if (!result.found && a.chapters) {
        err << "velmora-cli: no chapters in the ID3v2 tag of " << EscapeControls(path) << "\n";
        return 1;
    }
    if (!result.found) {
        err << "velmora-cli: no CUE sheet: neither " << EscapeControls(ChangeFileExt(path, ".cue"))
            << " nor one embedded in the file's ID3v2 tag (--silence splits at the quiet gaps)\n";
        return 1;
    }
    for (const std::string& warning : result.warnings)
        err << "velmora-cli: warning: " << warning << "\n";
    if (!ctx.quiet)
        err << "velmora-cli: " << result.written.size() << " tracks written to "
            << EscapeControls(result.folder)
            << (result.embedded ? " (sheet taken from the ID3v2 tag)" : "") << "\n";
    return 0;
}

} // namespace velmora::cli
