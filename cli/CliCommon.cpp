#include "CliCommon.h"

#include "CliJson.h"

#include "UnitBatchLog.h"
#include "UnitOptionRules.h"
#include "UnitRegistryStore.h"
#include "UnitUtf8.h"
#include "VelmoraError.h"

#include <algorithm>
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
std::atomic<bool> g_quiet{false};
// Whether a bar stands on stderr's line now.
std::atomic<bool> g_barDrawn{false};

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

CliContext MakeContext(const GlobalArgs& global) {
    CliContext ctx;
    ctx.overrides = global.overrides;
    ctx.quiet = global.quiet;
    const bool useStore = !global.defaults;
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

void BeginCommand(bool quiet) {
    g_interrupted.store(false);
    g_quiet.store(quiet);
}

void ClearProgressLine() {
    if (g_barDrawn.exchange(false)) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
}

TerminalProgress::TerminalProgress(std::string label) : m_label(std::move(label)) {
    m_tty = !g_quiet.load() && isatty(STDERR_FILENO) != 0;
    InstallInterruptHandlerOnce();
    ++g_runningOperations;
}

TerminalProgress::~TerminalProgress() {
    --g_runningOperations;
    if (m_tty)
        ClearProgressLine();
}

void TerminalProgress::SetTotal(int total) {
    m_total = total;
    m_shown = -1;
}

void TerminalProgress::SetLabel(std::string label) {
    m_label = std::move(label);
    m_shown = -1;
}

void TerminalProgress::Report(int position) {
    if (!m_tty || m_total <= 0)
        return;
    constexpr int kWidth = 40;
    const int filled = std::clamp(position, 0, m_total) * kWidth / m_total;
    // Drawn again only when it grows, or after a result line took its place.
    if (filled == m_shown && g_barDrawn.load())
        return;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r\033[K%s [%s] %3d%%", m_label.c_str(), bar.c_str(),
                 filled * 100 / kWidth);
    std::fflush(stderr);
    m_shown = filled;
    g_barDrawn.store(true);
}

bool TerminalProgress::StopRequested() const {
    return g_interrupted.load();
}

ResultStream::ResultStream(std::ostream& stream, int fd)
    : std::ostream(&m_buffer), m_buffer(stream.rdbuf(), isatty(fd) != 0) {}

ResultStream::Buffer::int_type ResultStream::Buffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    if (!m_terminal)
        return m_target->sputc(traits_type::to_char_type(c));
    ClearProgressLine();
    const int_type put = m_target->sputc(traits_type::to_char_type(c));
    m_target->pubsync();
    return put;
}

std::streamsize ResultStream::Buffer::xsputn(const char* s, std::streamsize n) {
    if (!m_terminal || n == 0)
        return m_target->sputn(s, n);
    // Out at once, before a bar can be drawn again over a buffered line.
    ClearProgressLine();
    const std::streamsize written = m_target->sputn(s, n);
    m_target->pubsync();
    return written;
}

int ResultStream::Buffer::sync() {
    return m_target->pubsync();
}

std::vector<std::string> SelectedFiles(const FileListArgs& args) {
    return KeepShard(GatherInputNames(args.files, args.inputs, std::cin), args.inputs,
                     [](const std::string& name) { return name; });
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
