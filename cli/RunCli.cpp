#include "RunCli.h"

#include "CliCommon.h"
#include "UnitBatchLog.h"
#include "VelmoraError.h"

#include <iostream>
#include <ostream>
#include <unistd.h>

namespace velmora {

namespace {

int RunCommand(cli::CliContext& ctx, const cli::CommandLine& line, std::ostream& out,
               std::ostream& err) {
    const std::string& c = line.command;
    if (c == "info")
        return cli::CmdInfo(ctx, line.info, out, err);
    if (c == "settings")
        return cli::CmdSettings(ctx, line.settings, out, err);
    if (c == "normalize")
        return cli::CmdNormalize(ctx, line.normalize, out, err);
    if (c == "save")
        return cli::CmdSave(ctx, line.save, out, err);
    if (c == "cue")
        return cli::CmdCue(ctx, line.cue, out, err);
    if (c == "split")
        return cli::CmdSplit(ctx, line.split, out, err);
    if (c == "chapters")
        return cli::CmdChapters(ctx, line.chapters, out, err);
    if (c == "undo")
        return cli::CmdUndo(ctx, line.undo, out, err);
    return cli::CmdBatch(ctx, line.batch, out, err);
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const cli::ParseOutcome parsed = cli::ParseCommandLine(args);
    if (parsed.exitStatus) {
        (*parsed.exitStatus == 0 ? out : err) << parsed.text;
        return *parsed.exitStatus;
    }
    const cli::CommandLine& line = parsed.line;
    // Results never share the terminal's line with a progress bar.
    cli::ResultStream results(out, &out == &std::cout ? STDOUT_FILENO : -1);
    cli::ResultStream messages(err, &err == &std::cerr ? STDERR_FILENO : -1);
    cli::BeginCommand(line.global.quiet);
    cli::CliContext ctx;
    try {
        ctx = cli::MakeContext(line.global);
        ctx.outputIsTerminal = &out == &std::cout && isatty(STDOUT_FILENO) != 0;
    } catch (const std::exception& e) {
        messages << "velmora-cli: " << EscapeControls(e.what(), true) << " (see \"velmora-cli "
                 << line.command << " --help\")\n";
        return 2;
    }
    try {
        for (const std::string& warning : ctx.warnings)
            messages << "velmora-cli: " << warning << "\n";
        const int status = RunCommand(ctx, line, results, messages);
        results.flush();
        return status;
    } catch (const std::exception& e) {
        results.flush();
        messages << "velmora-cli: " << EscapeControls(e.what(), true) << "\n";
        return 1;
    }
}

} // namespace velmora
