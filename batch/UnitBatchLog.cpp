#include "UnitBatchLog.h"

#include "UnitIo.h"
#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitPath.h"
#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include "UnitDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace velmora {

BatchSummary Summarise(const std::vector<BatchFileReport>& reports) {
    BatchSummary s;
    for (const BatchFileReport& r : reports) {
        switch (r.outcome) {
        case BatchOutcome::Changed:
            ++s.changed;
            ++s.processed;
            break;
        case BatchOutcome::Unchanged:
            ++s.processed;
            break;
        case BatchOutcome::Skipped:
            ++s.skipped;
            break;
        case BatchOutcome::Failed:
            ++s.failed;
            break;
        case BatchOutcome::NotProcessed:
            ++s.notProcessed;
            break;
        }
    }
    return s;
}

std::string SummaryText(const BatchSummary& s) {
    std::string text = "processed " + std::to_string(s.processed) + ", changed " +
                       std::to_string(s.changed) + ", skipped " + std::to_string(s.skipped) +
                       ", failed " + std::to_string(s.failed);
    if (s.notProcessed > 0)
        text += ", not processed " + std::to_string(s.notProcessed);
    return text;
}

const char* OutcomeText(BatchOutcome outcome, bool testRun) {
    switch (outcome) {
    case BatchOutcome::Unchanged:
        return "unchanged";
    case BatchOutcome::Changed:
        return testRun ? "would change" : "changed";
    case BatchOutcome::Skipped:
        return "skipped";
    case BatchOutcome::Failed:
        return "failed";
    case BatchOutcome::NotProcessed:
        return "not processed";
    }
    return "";
}

std::string EscapeControls(std::string_view text, bool keepNewlines) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == '\n' && keepNewlines) {
            out += '\n';
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            out += escape;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string FormatBatchEntry(const BatchFileReport& r, const Settings& s) {
    const bool good = r.outcome == BatchOutcome::Changed || r.outcome == BatchOutcome::Unchanged;
    if (good && s.CheckBoxBatchLOGExcludeGoodFiles)
        return "";
    std::string e = EscapeControls(r.path) + ": " + OutcomeText(r.outcome, s.CheckBoxBatchTestRun);
    if (!r.error.empty())
        e += ": " + EscapeControls(r.error);
    e += "\n";
    if (r.analysed && s.CheckBoxBatchLOGCharacteristics)
        e += "    " + r.type + ", " + r.length + ", " + r.bitrate + ", " +
             std::to_string(r.missingHeaders) + " missing frame header(s)\n";
    if (good && s.CheckBoxBatchLOGStatistics)
        e += "    trimmed " + std::to_string(r.trimmedBegin) + " + " +
             std::to_string(r.trimmedEnd) + " frames, gain " + std::to_string(r.gainSteps) +
             " steps, " + std::to_string(r.bytesSaved) + " bytes saved\n";
    if (good && s.CheckBoxBatchLOGStatistics && r.loudnessBefore)
        e += "    loudness " + LufsText(*r.loudnessBefore) +
             (std::isfinite(*r.loudnessBefore) && r.gainSteps != 0
                  ? " -> " + LufsText(*r.loudnessBefore + r.gainSteps * GainStepDb())
                  : std::string()) +
             "\n";
    if (good && s.CheckBoxBatchLOGStatistics && r.albumLoudness)
        e += "    album loudness " + LufsText(*r.albumLoudness) +
             (std::isfinite(*r.albumLoudness) && r.gainSteps != 0
                  ? " -> " + LufsText(*r.albumLoudness + r.gainSteps * GainStepDb())
                  : std::string()) +
             "\n";
    if (r.analysed && s.CheckBoxBatchLOGAbrupt)
        e += std::string("    ending: ") + (r.abruptEnding ? "abrupt" : "natural") + "\n";
    for (const std::string& track : r.splitTracks)
        e += "    track: " + EscapeControls(track) + "\n";
    // A note may hold several lines (a message box's text): each is indented, none padded.
    for (const std::string& text : r.notes) {
        const std::string note = EscapeControls(text, true);
        for (std::size_t at = 0; at <= note.size();) {
            const std::size_t end = std::min(note.find('\n', at), note.size());
            e += (end > at ? "    " + note.substr(at, end - at) : std::string()) + "\n";
            at = end + 1;
        }
    }
    return e;
}

std::string BatchLogPath() {
    // The settings folder may not exist yet when the options were never saved.
    const std::string folder = SettingsStoreFolder();
    IgnoreFailure(::mkdir(folder.c_str(), 0777));
    return folder + "/Velmora.batch.log";
}

void CheckBatchLogTarget(const std::string& path, const std::vector<BatchInput>& inputs) {
    struct stat log {};
    if (::stat(path.c_str(), &log) != 0)
        return; // a new file, or an error the opening reports
    for (const BatchInput& input : inputs) {
        struct stat st {};
        if (::stat(input.path.c_str(), &st) == 0 && st.st_dev == log.st_dev &&
            st.st_ino == log.st_ino)
            throw VelmoraError("The LOG file \"" + path +
                               "\" is one of the batch's files; the batch was not started");
    }
    // Devices such as /dev/null or a terminal take a LOG without harm; a disk does not.
    if (!S_ISREG(log.st_mode) && !S_ISBLK(log.st_mode))
        return;
    if (S_ISREG(log.st_mode) && log.st_size == 0)
        return;
    std::string start(kBatchLogStart.size(), '\0');
    IoResult read{};
    if (const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); fd.get() >= 0)
        read = ReadFully(fd.get(), start.data(), static_cast<std::int64_t>(start.size()));
    if (!S_ISREG(log.st_mode) || read.error != 0 ||
        read.bytes != static_cast<std::int64_t>(start.size()) || start != kBatchLogStart)
        throw VelmoraError("\"" + path +
                           "\" is not empty and not a LOG file; the batch was not started");
}

BatchLog::BatchLog(const std::string& path, const Settings& settings, const MessageTable& messages)
    : m_settings(settings), m_path(path) {
    m_file = std::fopen(path.c_str(), settings.CheckBoxBatchLOGEraseAtBeginning ? "w" : "a");
    if (!m_file) {
        std::string text = MessageTable::Join(messages.MessageDlgErrorCreatingLOGfile);
        if (const std::size_t at = text.find("%s"); at != std::string::npos)
            text.replace(at, 2, path);
        throw VelmoraError(text);
    }
}

BatchLog::~BatchLog() {
    if (m_file)
        std::fclose(m_file);
}

void BatchLog::Write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() || std::fflush(m_file) != 0)
        throw VelmoraError(std::string(std::strerror(errno)) +
                           " - Could not write the LOG file \"" + m_path + "\"");
}

void BatchLog::Begin(std::size_t inputs) {
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    Write(std::string(kBatchLogStart) + when + ", " + std::to_string(inputs) + " file(s)" +
          (m_settings.CheckBoxBatchTestRun ? ", test run: no file is modified" : "") + "\n");
}

void BatchLog::Add(const BatchFileReport& report) {
    Write(FormatBatchEntry(report, m_settings));
}

void BatchLog::End(const BatchSummary& summary) {
    Write("Summary: " + SummaryText(summary) + "\n\n");
}

} // namespace velmora
