#include "CliCommon.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitBatchLog.h"
#include "UnitChapterSplit.h"
#include "UnitCueSplit.h"
#include "VelmoraError.h"

#include <ostream>

namespace velmora::cli {

namespace {

constexpr const char* kSplitUsage =
    "Usage: velmora-cli split FILE [--chapters] [--gain STEPS] [--fade-in INDEX]\n"
    "                         [--fade-out INDEX] [--overwrite]\n"
    "  Writes one file per track of the CUE sheet beside FILE (FILE's name with \".cue\") or\n"
    "  embedded in its ID3v2 tag, into a folder named after the album, and prints each one.\n"
    "  A track file that exists already stops the split before anything is written.\n"
    "  --chapters  one file per chapter of FILE's ID3v2 tag instead, named by its title\n"
    "  --overwrite  replaces existing track files (never FILE itself)\n"
    "  --gain     global-gain steps of 1.5 dB, -8 … 8 (default TrackBarDefaultAmplification)\n"
    "  --fade-in, --fade-out  fade lengths by position 0 … 32\n"
    "  Options: RadioGroupCueSplit (1: the middle 30 s of each track), CheckBoxCleanup,\n"
    "  ComboBoxAddSilenceBeginning, ComboBoxAddSilenceEnd, CheckBoxSaveWAV.\n";

int IntArgument(const std::string& flag, const std::string& text, int low, int high) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < low || value > high)
        throw VelmoraError(flag + " needs a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", got \"" + text + "\"");
    return value;
}

} // namespace

int CmdSplit(CliContext& ctx, std::ostream& out, std::ostream& err) {
    std::string path;
    bool chapters = false;
    SplitControls controls;
    controls.gainSteps = ctx.settings.TrackBarDefaultAmplification;
    const std::vector<std::string>& args = ctx.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue = a == "--gain" || a == "--fade-in" || a == "--fade-out";
        if (takesValue && i + 1 >= args.size()) {
            err << kSplitUsage;
            return 2;
        }
        if (a == "--gain")
            controls.gainSteps = IntArgument(a, args[++i], -8, 8);
        else if (a == "--fade-in")
            controls.fadeInIndex = IntArgument(a, args[++i], 0, 32);
        else if (a == "--fade-out")
            controls.fadeOutIndex = IntArgument(a, args[++i], 0, 32);
        else if (a == "--overwrite")
            controls.overwrite = true;
        else if (a == "--chapters")
            chapters = true;
        else if (a.rfind("--", 0) == 0 || !path.empty()) {
            err << kSplitUsage;
            return 2;
        } else
            path = a;
    }
    if (path.empty()) {
        err << kSplitUsage;
        return 2;
    }

    TerminalProgress progress(BaseName(path));
    OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    const TrackWritten print = [&out](const std::string& written) {
        out << EscapeControls(written) << "\n" << std::flush;
    };
    const auto split = chapters ? SplitByChapters : SplitByCueSheet;
    const SplitResult result =
        split(path, opened.info, controls, ctx.settings, ctx.messages, progress, print);
    if (!result.found && chapters) {
        err << "velmora-cli: no chapters in the ID3v2 tag of " << path << "\n";
        return 1;
    }
    if (!result.found) {
        err << "velmora-cli: no CUE sheet: neither " << EscapeControls(ChangeFileExt(path, ".cue"))
            << " nor one embedded in the file's ID3v2 tag\n";
        return 1;
    }
    for (const std::string& warning : result.warnings)
        err << "velmora-cli: warning: " << warning << "\n";
    err << "velmora-cli: " << result.written.size() << " tracks written to "
        << EscapeControls(result.folder)
        << (result.embedded ? " (sheet taken from the ID3v2 tag)" : "") << "\n";
    return 0;
}

} // namespace velmora::cli
