#include "CliCommon.h"
#include "CliJson.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitGainUndo.h"

#include <ostream>

namespace velmora::cli {

namespace {

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

int CmdUndo(CliContext& ctx, const UndoArgs& a, std::ostream& out, std::ostream& err) {
    const FileListArgs& parsed = a.files;
    return RunFileBatch(SelectedFiles(parsed), {parsed.json, "velmora-cli: "}, out, err,
                        [&](const std::string& file) {
                            std::optional<GainUndoResult> r;
                            {
                                TerminalProgress progress("reading " + BaseName(file));
                                const OpenResult opened = OpenWithTailAnalysis(
                                    file, ctx.settings, ctx.messages, progress, {TailDecode::Skip});
                                r = UndoGainChange(file, opened.info, ctx.messages);
                            }
                            out << Report(file, r, parsed.json) << "\n";
                        });
}

} // namespace velmora::cli
