#include "CliCommon.h"
#include "CliJson.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitGainUndo.h"

#include <ostream>

namespace velmora::cli {

namespace {

constexpr const char* kUndoUsage =
    "Usage: velmora-cli undo [--json] FILE...\n"
    "  Reverses the gain changes recorded in each file's APE item MP3GAIN_UNDO (written by\n"
    "  every gain change of this program, and by other lossless volume tools), in place; the\n"
    "  ReplayGain values follow and the item goes.\n"
    "  --json  one JSON object per file, one per line\n";

std::string Report(const std::string& file, const std::optional<GainUndoResult>& r, bool json) {
    if (json) {
        Json line = JsonFileLine(file);
        line["undone"] = r.has_value();
        line["steps"] = r ? Json(r->steps) : Json(nullptr);
        line["frames"] = r ? Json(r->frames) : Json(nullptr);
        line["notes"] = JsonTextList(r ? r->tags.notes : std::vector<std::string>{});
        return JsonLineText(line);
    }
    if (!r)
        return file + ": no undo information";
    char db[32];
    std::snprintf(db, sizeof db, "%+.1f dB", 1.5 * r->steps);
    std::string text = file + ": " + (r->steps >= 0 ? "+" : "") + std::to_string(r->steps) +
                       " steps (" + db + ") on " + std::to_string(r->frames) + " frames";
    for (const std::string& note : r->tags.notes)
        text += "\n  note: " + note;
    return text;
}

} // namespace

int CmdUndo(CliContext& ctx, std::ostream& out, std::ostream& err) {
    FileListArgs parsed;
    if (const auto stop = ParseFileListArgs(ctx.args, kUndoUsage, parsed, out, err))
        return *stop;
    return RunFileBatch(parsed.files, {parsed.json, "velmora-cli: "}, out, err,
                        [&](const std::string& file) {
                            std::optional<GainUndoResult> r;
                            {
                                TerminalProgress progress(BaseName(file));
                                const OpenResult opened = OpenWithTailAnalysis(
                                    file, ctx.settings, ctx.messages, progress, {TailDecode::Skip});
                                r = UndoGainChange(file, opened.info, ctx.messages);
                            }
                            out << Report(file, r, parsed.json) << "\n";
                        });
}

} // namespace velmora::cli
