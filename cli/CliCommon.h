#pragma once

#include "CliInputs.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// What every command gets: the user's settings (with one-run overrides), the message texts and
// the remaining arguments.
struct CliContext {
    Settings settings;
    Settings stored;                    // the defaults or the store, before the overrides
    std::vector<std::string> overrides; // the --option NAME=VALUE texts, in order
    MessageTable messages = MessageTable::English();
    std::vector<std::string> args;     // after the command name, common options removed
    std::vector<std::string> warnings; // values of the store that were refused
};

// Takes --defaults and --option NAME=VALUE out of `args` and builds the context: the defaults,
// then the user's settings store unless --defaults is given, then the overrides. Throws
// VelmoraError with a usage text on a bad option. A stored value the check refuses keeps its
// default and leaves a warning.
CliContext MakeContext(std::vector<std::string> args);

// Applies NAME=VALUE to the settings, validating the name and the value as the Options window
// would.
void ApplyOptionAssignment(Settings& settings, const std::string& assignment);

// Set by Ctrl+C, SIGTERM or SIGHUP while a TerminalProgress exists; readable from any thread.
const std::atomic<bool>& InterruptFlag();

// Starts a command: forgets a Ctrl+C from an earlier command run in the same process.
void BeginCommand();

// A progress bar on stderr when it is a terminal. Ctrl+C (or SIGTERM or SIGHUP) while one exists
// asks the operation to stop, and the request stands until the command ends, so that every later
// file stops at once; the signal while none exists (at a prompt, say) ends the process as usual.
class TerminalProgress final : public IProgress {
public:
    explicit TerminalProgress(std::string label);
    ~TerminalProgress() override;
    void SetTotal(int total) override;
    void Report(int position) override;
    void ProcessMessages() override {}
    bool StopRequested() const override;

private:
    std::string m_label;
    int m_total = 0;
    bool m_tty = false;
    bool m_drawn = false;
};

// Whether any argument is --help or -h.
bool AsksForHelp(const std::vector<std::string>& args);

// The arguments of the commands that take "[--json] [--files-from FILE [-0]] [--shard K/N]
// FILE...": "--" ends the options. `files` are the names given and listed, each once, of the
// selected shard.
struct FileListArgs {
    bool json = false;
    bool jsonDisplay = false; // --json=display: the display texts too
    std::vector<std::string> files;
    InputSelection inputs;
};
// Returns the exit status when the command should stop here (help shown, or a usage error).
std::optional<int> ParseFileListArgs(const std::vector<std::string>& args, const char* usage,
                                     FileListArgs& parsed, std::ostream& out, std::ostream& err);

// The loop of the commands that take several files: `examine` each file in turn. A file that
// fails is reported (a JSON error object on `out`, or "<errorPrefix><file>: <text>" on `err`)
// and the next one follows, except after a stop request, which ends the whole command. Returns
// the exit status: 1 when any file failed or the command was stopped.
struct FileBatch {
    bool json = false;
    const char* errorPrefix = "";
};
int RunFileBatch(const std::vector<std::string>& files, const FileBatch& batch, std::ostream& out,
                 std::ostream& err, const std::function<void(const std::string& file)>& examine);

using CommandFn = int (*)(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdInfo(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdSettings(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdNormalize(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdSave(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdCue(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdSplit(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdChapters(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdBatch(CliContext& ctx, std::ostream& out, std::ostream& err);
int CmdUndo(CliContext& ctx, std::ostream& out, std::ostream& err);

} // namespace velmora::cli
