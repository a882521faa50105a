#pragma once

#include "UnitBatchFile.h"

#include "VelmoraError.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct MessageTable;
struct Settings;

// What a batch did, counted over its reports.
struct BatchSummary {
    int processed = 0; // files opened and taken through the steps (changed or not)
    int changed = 0;   // in a test run: would change
    int skipped = 0;
    int failed = 0;
    int notProcessed = 0; // after a stop
};
BatchSummary Summarise(const std::vector<BatchFileReport>& reports);
// "processed 12, changed 10, skipped 1, failed 1"
std::string SummaryText(const BatchSummary& summary);

// The word for an outcome: "unchanged", "changed", "skipped", "failed", "not processed"; a test
// run's changes read "would change".
const char* OutcomeText(BatchOutcome outcome, bool testRun);

// `text` with its control characters written out ("\n", "\r", "\t", "\x1b", and "\u009b" for
// the C1 controls in UTF-8), so that a file name can neither forge a line nor steer a terminal.
// `keepNewlines` leaves the line ends of a message of several lines.
std::string EscapeControls(std::string_view text, bool keepNewlines = false);

// One file's entry: "<path>: <outcome>[: <error>]", then indented lines for the notes and, by
// CheckBoxBatchLOGCharacteristics, CheckBoxBatchLOGStatistics and CheckBoxBatchLOGAbrupt, what
// the file is, what changed and how it ends. Empty when CheckBoxBatchLOGExcludeGoodFiles leaves
// it out. Control characters in the texts are escaped.
std::string FormatBatchEntry(const BatchFileReport& report, const Settings& settings);

// Where the log is kept: the settings folder's "Velmora.batch.log" (the folder is created).
std::string BatchLogPath();

// The first line of every batch in a LOG starts so; a file that starts otherwise is not one.
inline constexpr std::string_view kBatchLogStart = "Batch of ";

// Refuses, before the batch starts, a LOG path that is one of the batch's files (by any name)
// or a file that holds something other than a LOG: the LOG would overwrite or grow it.
void CheckBatchLogTarget(const std::string& path, const std::vector<BatchInput>& inputs);

// The error of a LOG that could not be written while the batch ran. The batch stops as at a
// stop request; every file's report is delivered first and comes with the error.
class BatchLogError : public VelmoraError {
public:
    BatchLogError(const std::string& text, std::vector<BatchFileReport> reports)
        : VelmoraError(text), m_reports(std::move(reports)) {}
    const std::vector<BatchFileReport>& reports() const { return m_reports; }

private:
    std::vector<BatchFileReport> m_reports;
};

// The log file, opened (created, emptied or appended to) before a batch starts.
class BatchLog {
public:
    // Throws VelmoraError with "MessageDlgErrorCreatingLOGfile" when the file cannot be opened.
    BatchLog(const std::string& path, const Settings& settings, const MessageTable& messages);
    ~BatchLog();
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;

    void Begin(std::size_t inputs);
    void Add(const BatchFileReport& report);
    void End(const BatchSummary& summary);

private:
    void Write(const std::string& text);
    std::FILE* m_file = nullptr;
    const Settings& m_settings;
    std::string m_path;
};

} // namespace velmora
