#include "UnitBatchLog.h"

#include "UnitIo.h"
#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitPath.h"
#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cmath>
#include <ctime>
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

std::string FormatBatchEntry(const BatchFileReport& r, const Settings& s) {
    const bool good = r.outcome == BatchOutcome::Changed || r.outcome == BatchOutcome::Unchanged;
    if (good && s.CheckBoxBatchLOGExcludeGoodFiles)
        return "";
    std::string e = r.path + ": " + OutcomeText(r.outcome, s.CheckBoxBatchTestRun);
    if (!r.error.empty())
        e += ": " + r.error;
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
    if (r.analysed && s.CheckBoxBatchLOGAbrupt)
        e += std::string("    ending: ") + (r.abruptEnding ? "abrupt" : "natural") + "\n";
    for (const std::string& track : r.splitTracks)
        e += "    track: " + track + "\n";
    // A note may hold several lines (a message box's text): each is indented, none padded.
    for (const std::string& note : r.notes)
        for (std::size_t at = 0; at <= note.size();) {
            const std::size_t end = std::min(note.find('\n', at), note.size());
            e += (end > at ? "    " + note.substr(at, end - at) : std::string()) + "\n";
            at = end + 1;
        }
    return e;
}

std::string BatchLogPath() {
    // The settings folder may not exist yet when the options were never saved.
    const std::string folder = SettingsStoreFolder();
    IgnoreFailure(::mkdir(folder.c_str(), 0777));
    return folder + "/Velmora.batch.log";
}

BatchLog::BatchLog(const std::string& path, const Settings& settings, const MessageTable& messages)
    : m_settings(settings) {
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
        throw VelmoraError("Could not write the LOG file");
}

void BatchLog::Begin(std::size_t inputs) {
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    Write(std::string("Batch of ") + when + ", " + std::to_string(inputs) + " file(s)" +
          (m_settings.CheckBoxBatchTestRun ? ", test run: no file is modified" : "") + "\n");
}

void BatchLog::Add(const BatchFileReport& report) {
    Write(FormatBatchEntry(report, m_settings));
}

void BatchLog::End(const BatchSummary& summary) {
    Write("Summary: " + SummaryText(summary) + "\n\n");
}

} // namespace velmora
