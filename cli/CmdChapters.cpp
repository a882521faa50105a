#include "CliCommon.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitChapterSplit.h"
#include "VelmoraError.h"

#include <ostream>

namespace velmora::cli {

namespace {

constexpr const char* kChaptersUsage =
    "Usage: velmora-cli chapters FILE --from-cue SHEET\n"
    "  Writes one ID3v2 chapter (CHAP) per track of SHEET into FILE's ID3v2 tag, from its\n"
    "  INDEX 01 to the next track's, titled by its TITLE, and a table of contents (CTOC)\n"
    "  listing them; the tag's chapters before are replaced, its other frames kept.\n"
    "  Prints one line per chapter: start, end, title.\n";

} // namespace

int CmdChapters(CliContext& ctx, std::ostream& out, std::ostream& err) {
    std::string path, sheet;
    const std::vector<std::string>& args = ctx.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kChaptersUsage;
            return 0;
        }
        if (a == "--from-cue" && i + 1 < args.size() && sheet.empty()) {
            sheet = args[++i];
        } else if (a.rfind("--", 0) == 0 || !path.empty()) {
            err << kChaptersUsage;
            return 2;
        } else {
            path = a;
        }
    }
    if (path.empty() || sheet.empty()) {
        err << kChaptersUsage;
        return 2;
    }

    std::vector<Chapter> chapters;
    int version = 4;
    {
        TerminalProgress progress(BaseName(path));
        const OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
        chapters = ChaptersFromCueSheet(sheet, opened.info);
        if (opened.info.id3v2.tagSize > 0 && opened.info.id3v2.version == 3)
            version = 3;
    }
    WriteChapters(path, chapters, version);
    for (const Chapter& c : chapters)
        out << FormatChapterTime(c.startMs) << " - " << FormatChapterTime(c.endMs) << "  "
            << c.title << "\n";
    return 0;
}

} // namespace velmora::cli
