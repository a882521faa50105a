#include "RunCli.h"

#include "CliCommon.h"
#include "UnitBatchLog.h"
#include "VelmoraError.h"

#include <cstring>
#include <ostream>

namespace velmora {

namespace {

struct Command {
    const char* name;
    cli::CommandFn fn;
    const char* summary;
};

const Command kCommands[] = {
    {"info", cli::CmdInfo, "info [--json] FILE...       what the scan finds in each file"},
    {"settings", cli::CmdSettings,
     "settings [--json] [--set NAME=VALUE]... [--import [PATH]] [--export [PATH]]"},
    {"normalize", cli::CmdNormalize, "normalize [--json] FILE...  the normalisation value"},
    {"save", cli::CmdSave,
     "save FILE [-o OUTPUT] [--begin POS] [--end POS] [--auto-trim] [--gain STEPS]\n"
     "       [--fade-in INDEX] [--fade-out INDEX] [--wav|--mp3] [--dry-run]"},
    {"cue", cli::CmdCue, "cue FILE                    write a CUE sheet from the quiet gaps"},
    {"split", cli::CmdSplit,
     "split FILE [--chapters] [--gain STEPS] [--fade-in INDEX] [--fade-out INDEX] [--overwrite]\n"
     "                              split by the CUE sheet beside or in it, or by chapters"},
    {"chapters", cli::CmdChapters,
     "chapters FILE --from-cue SHEET\n"
     "                              write chapters from a CUE sheet into the ID3v2 tag"},
    {"undo", cli::CmdUndo, "undo [--json] FILE...       reverse the recorded gain changes"},
    {"batch", cli::CmdBatch,
     "batch [--jobs N] [--json] [--log FILE] [--overwrite] PATH...\n"
     "                              the batch steps over files and folders"},
};

void Usage(std::ostream& out) {
    out << "Usage: velmora-cli COMMAND [--defaults] [--option NAME=VALUE]... ARGS\n"
           "       velmora-cli --help | --version\n\nCommands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.summary << "\n";
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        Usage(args.empty() ? err : out);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        out << "velmora-cli " VELMORA_VERSION "\n";
        return 0;
    }
    for (const Command& c : kCommands) {
        if (args[0] != c.name)
            continue;
        try {
            cli::BeginCommand();
            cli::CliContext ctx = cli::MakeContext({args.begin() + 1, args.end()});
            for (const std::string& warning : ctx.warnings)
                err << "velmora-cli: " << warning << "\n";
            return c.fn(ctx, out, err);
        } catch (const std::exception& e) {
            err << "velmora-cli: " << EscapeControls(e.what(), true) << "\n";
            return 1;
        }
    }
    err << "velmora-cli: unknown command \"" << args[0] << "\"\n";
    Usage(err);
    return 2;
}

} // namespace velmora
