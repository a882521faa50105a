#include "CliCommon.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitChapterSplit.h"
#include "VelmoraError.h"

#include <ostream>

namespace velmora::cli {

int CmdChapters(CliContext& ctx, const ChaptersArgs& a, std::ostream& out, std::ostream&) {
    const std::string& path = a.file;
    const std::string& sheet = a.sheet;
    std::vector<Chapter> chapters;
    int version = 4;
    {
        TerminalProgress progress("reading " + BaseName(path));
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
