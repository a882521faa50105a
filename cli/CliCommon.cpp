#include "CliCommon.h"

#include "VelmoraError.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace velmora::cli {

namespace {

std::atomic<bool> g_interrupted{false};

void OnSigint(int) { g_interrupted.store(true); }

bool ParseInt(const std::string& text, std::int32_t& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

void ApplyOptionAssignment(Settings& settings, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos)
        throw VelmoraError("--option needs NAME=VALUE, got \"" + assignment + "\"");
    const std::string name = assignment.substr(0, eq);
    const std::string value = assignment.substr(eq + 1);
    const OptionBinding* b = FindOption(name);
    if (!b)
        throw VelmoraError("Unknown option \"" + name + "\"");
    if (b->kind == OptionKind::Text) {
        if (value.size() > 30)
            throw VelmoraError("\"" + name + "\" takes at most 30 characters");
        SetText(settings, *b, value);
        return;
    }
    std::int32_t v = 0;
    if (b->kind == OptionKind::Switch && (value == "on" || value == "true")) {
        v = -1;
    } else if (b->kind == OptionKind::Switch && (value == "off" || value == "false")) {
        v = 0;
    } else if (!ParseInt(value, v)) {
        throw VelmoraError("\"" + name + "\" needs a whole number, got \"" + value + "\"");
    }
    SetStoredInt(settings, *b, v);
}

CliContext MakeContext(std::vector<std::string> args) {
    CliContext ctx;
    std::vector<std::string> overrides;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--defaults") {
            continue; // the stored settings are not read yet; defaults are the starting point
        } else if (args[i] == "--option") {
            if (i + 1 >= args.size())
                throw VelmoraError("--option needs NAME=VALUE");
            overrides.push_back(args[++i]);
        } else if (args[i].rfind("--option=", 0) == 0) {
            overrides.push_back(args[i].substr(9));
        } else {
            ctx.args.push_back(args[i]);
        }
    }
    for (const std::string& o : overrides)
        ApplyOptionAssignment(ctx.settings, o);
    return ctx;
}

TerminalProgress::TerminalProgress(std::string label) : m_label(std::move(label)) {
    m_tty = isatty(STDERR_FILENO) != 0;
    g_interrupted.store(false);
    std::signal(SIGINT, OnSigint);
}

TerminalProgress::~TerminalProgress() {
    std::signal(SIGINT, SIG_DFL);
    if (m_drawn)
        std::fprintf(stderr, "\r\033[K");
}

void TerminalProgress::SetTotal(int total) { m_total = total; }

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

bool TerminalProgress::StopRequested() const { return g_interrupted.load(); }

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace velmora::cli
