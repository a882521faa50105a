#include "CliCommon.h"

#include "CliJson.h"

#include "UnitBatchLog.h"
#include "UnitOptionRules.h"
#include "UnitRegistryStore.h"
#include "UnitUtf8.h"
#include "VelmoraError.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <ostream>
#include <unistd.h>

namespace velmora::cli {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_runningOperations{0};

// Ctrl+C, a terminal closed (SIGHUP) and a polite kill (SIGTERM) alike: while an operation runs,
// the stop is asked for and the file being written is finished first.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnStopSignal(int signal) {
    if (g_runningOperations.load() == 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_interrupted.store(true);
}

void InstallInterruptHandlerOnce() {
    static const bool installed = [] {
        for (const int signal : kStopSignals)
            std::signal(signal, OnStopSignal);
        return true;
    }();
    (void)installed;
}

} // namespace

void ApplyOptionAssignment(Settings& settings, const std::string& assignment) {
    if (assignment.find('=') == std::string::npos)
        throw VelmoraError("--option needs NAME=VALUE, got \"" + assignment + "\"");
    AssignOption(settings, assignment);
}

CliContext MakeContext(std::vector<std::string> args) {
    CliContext ctx;
    bool useStore = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--defaults") {
            useStore = false;
        } else if (args[i] == "--option") {
            if (i + 1 >= args.size())
                throw VelmoraError("--option needs NAME=VALUE");
            ctx.overrides.push_back(args[++i]);
        } else if (args[i].rfind("--option=", 0) == 0) {
            ctx.overrides.push_back(args[i].substr(9));
        } else {
            ctx.args.push_back(args[i]);
        }
    }
    LoadDefaults(ctx.stored);
    if (useStore) {
        const std::string store = SettingsStorePath();
        std::vector<std::string> refused;
        ctx.stored = LoadStoredSettings(store, &refused);
        for (const std::string& text : refused)
            ctx.warnings.push_back(store + ": " + text + "; the default is used");
    }
    ctx.settings = ctx.stored;
    for (const std::string& o : ctx.overrides)
        ApplyOptionAssignment(ctx.settings, o);
    return ctx;
}

const std::atomic<bool>& InterruptFlag() {
    return g_interrupted;
}

void BeginCommand() {
    g_interrupted.store(false);
}

TerminalProgress::TerminalProgress(std::string label) : m_label(std::move(label)) {
    m_tty = isatty(STDERR_FILENO) != 0;
    InstallInterruptHandlerOnce();
    ++g_runningOperations;
}

TerminalProgress::~TerminalProgress() {
    --g_runningOperations;
    if (m_drawn)
        std::fprintf(stderr, "\r\033[K");
}

void TerminalProgress::SetTotal(int total) {
    m_total = total;
}

void TerminalProgress::Report(int position) {
    if (!m_tty || m_total <= 0)
        return;
    constexpr int kWidth = 40;
    const int filled = position * kWidth / m_total;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", m_label.c_str(), bar.c_str(), position * 100 / m_total);
    std::fflush(stderr);
    m_drawn = true;
}

bool TerminalProgress::StopRequested() const {
    return g_interrupted.load();
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h")
            return true;
    return false;
}

std::optional<int> ParseFileListArgs(const std::vector<std::string>& args, const char* usage,
                                     FileListArgs& parsed, std::ostream& out, std::ostream& err) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string bad;
        if (!optionsEnded && a == "--json") {
            parsed.json = true;
        } else if (!optionsEnded && a == "--json=display") {
            parsed.json = parsed.jsonDisplay = true;
        } else if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (a == "--help" || a == "-h")) {
            out << usage;
            return 0;
        } else if (!optionsEnded && TakeInputOption(args, i, parsed.inputs, bad)) {
            if (!bad.empty()) {
                err << "velmora-cli: " << bad << "\n" << usage;
                return 2;
            }
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            err << "velmora-cli: unknown option \"" << a << "\"\n" << usage;
            return 2;
        } else {
            parsed.files.push_back(a);
        }
    }
    if (parsed.files.empty() && !parsed.inputs.filesFrom) {
        err << usage;
        return 2;
    }
    parsed.files = KeepShard(GatherInputNames(parsed.files, parsed.inputs, std::cin), parsed.inputs,
                             [](const std::string& name) { return name; });
    return std::nullopt;
}

int RunFileBatch(const std::vector<std::string>& files, const FileBatch& batch, std::ostream& out,
                 std::ostream& err, const std::function<void(const std::string& file)>& examine) {
    int status = 0;
    for (const std::string& file : files) {
        try {
            examine(file);
        } catch (const std::exception& e) {
            status = 1;
            if (batch.json)
                out << JsonErrorLine(file, e.what()) << "\n";
            else
                err << batch.errorPrefix << EscapeControls(file) << ": "
                    << EscapeControls(e.what(), true) << "\n";
            // Ctrl+C ends the whole command, not just the file being read.
            if (IsStopRequest(e)) {
                out.flush();
                break;
            }
        }
        out.flush();
    }
    return status;
}

} // namespace velmora::cli
