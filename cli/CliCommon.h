#pragma once

#include "CliArgs.h"
#include "CliInputs.h"
#include "Progress.h"
#include "UnitCueGenerate.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitSilence.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace velmora::cli {

// What every command gets: the user's settings (with one-run overrides) and the message texts.
struct CliContext {
    Settings settings;
    Settings stored;                    // the defaults or the store, before the overrides
    std::vector<std::string> overrides; // the --option NAME=VALUE texts, in order
    MessageTable messages = MessageTable::English();
    std::vector<std::string> warnings; // values of the store that were refused
    bool quiet = false;                // --quiet: no progress bars, no notes
    bool outputIsTerminal = false;     // the results go to a terminal (no audio there)
};

// Builds the context: the defaults, then the user's settings store unless --defaults is given,
// then the overrides. Throws VelmoraError on a bad override. A stored value the check refuses
// keeps its default and leaves a warning.
CliContext MakeContext(const GlobalArgs& global);

// Applies NAME=VALUE to the settings, validating the name and the value as the Options window
// would.
void ApplyOptionAssignment(Settings& settings, const std::string& assignment);

// Set by Ctrl+C, SIGTERM or SIGHUP while a TerminalProgress exists; readable from any thread.
const std::atomic<bool>& InterruptFlag();

// Starts a command: forgets a Ctrl+C from an earlier command run in the same process; `quiet`
// draws no progress bar.
void BeginCommand(bool quiet = false);

// A progress bar on stderr when it is a terminal, one per phase: "reading NAME", "measuring
// NAME", "saving NAME". Ctrl+C (or SIGTERM or SIGHUP) while one exists asks the operation to
// stop, and the request stands until the command ends, so that every later file stops at once;
// the signal while none exists (at a prompt, say) ends the process as usual.
class TerminalProgress final : public IProgress {
public:
    explicit TerminalProgress(std::string label);
    ~TerminalProgress() override;
    void SetTotal(int total) override;
    void Report(int position) override;
    void ProcessMessages() override {}
    bool StopRequested() const override;
    // The next phase: a new label, and the bar from 0 again.
    void SetLabel(std::string label);

private:
    std::string m_label;
    int m_total = 0;
    int m_shown = -1; // the filled width drawn last
    bool m_tty = false;
};

// Takes the progress bar off the terminal's line, if one is drawn there (the next report draws
// it again).
void ClearProgressLine();

// `stream` with the progress bar cleared before anything is written to it, when it shares the
// terminal with the bar (`fd` is its descriptor).
class ResultStream final : public std::ostream {
public:
    ResultStream(std::ostream& stream, int fd);

private:
    class Buffer final : public std::streambuf {
    public:
        Buffer(std::streambuf* target, bool terminal) : m_target(target), m_terminal(terminal) {}

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;

    private:
        std::streambuf* m_target;
        bool m_terminal;
    };
    Buffer m_buffer;
};

// The names given and listed, each once, of the selected shard.
std::vector<std::string> SelectedFiles(const FileListArgs& args);

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

// The gap rules of the options with the command's --threshold, --min-gap and --min-track.
CueGapRules GapRulesOf(const GapArgs& gaps, const MpegHeader& header, const Settings& settings);
// The silent ends left out of the gap search (CheckBoxAutoDetectSilence).
TrimPoints CueTrim(const StreamInfo& info, const Settings& settings);

int CmdInfo(CliContext& ctx, const InfoArgs& a, std::ostream& out, std::ostream& err);
int CmdSettings(CliContext& ctx, const SettingsArgs& a, std::ostream& out, std::ostream& err);
int CmdNormalize(CliContext& ctx, const NormalizeArgs& a, std::ostream& out, std::ostream& err);
int CmdSave(CliContext& ctx, const SaveArgs& a, std::ostream& out, std::ostream& err);
int CmdCue(CliContext& ctx, const CueArgs& a, std::ostream& out, std::ostream& err);
int CmdSplit(CliContext& ctx, const SplitArgs& a, std::ostream& out, std::ostream& err);
int CmdChapters(CliContext& ctx, const ChaptersArgs& a, std::ostream& out, std::ostream& err);
int CmdBatch(CliContext& ctx, const BatchArgs& a, std::ostream& out, std::ostream& err);
int CmdUndo(CliContext& ctx, const UndoArgs& a, std::ostream& out, std::ostream& err);

} // namespace velmora::cli
