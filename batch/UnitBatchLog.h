#pragma once

#include "UnitBatchFile.h"

#include <cstdio>
#include <string>
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

// One file's entry: "<path>: <outcome>[: <error>]", then indented lines for the notes and, by
// CheckBoxBatchLOGCharacteristics, CheckBoxBatchLOGStatistics and CheckBoxBatchLOGAbrupt, what
// the file is, what changed and how it ends. Empty when CheckBoxBatchLOGExcludeGoodFiles leaves
// it out.
std::string FormatBatchEntry(const BatchFileReport& report, const Settings& settings);

// Where the log is kept: the settings folder's "Velmora.batch.log" (the folder is created).
std::string BatchLogPath();

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
};

} // namespace velmora
