#pragma once

#include "UnitBatchFile.h"
#include "UnitBatchLog.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

// What the face that runs a batch sees. Every call comes on the thread that called RunBatch,
// never on a worker's, so the face may pump its own event loop in Idle.
class IBatchObserver {
public:
    virtual ~IBatchObserver() = default;
    // The files in input order, each once its own and every earlier file's report is done.
    virtual void FileDone(std::size_t index, const BatchFileReport& report) = 0;
    // Called about every 50 ms while workers run.
    virtual void Idle() {}
    // Whether the face asks the batch to stop: the files in hand finish their current write, no
    // other file starts.
    virtual bool StopRequested() { return false; }
    // A failed file when CheckBatchBoxStopOnError is off: true stops the batch (Abort), false
    // goes on (Ignore).
    virtual bool AbortOnError(const BatchFileReport&) { return false; }
};

struct BatchRunOptions {
    int jobs = 0;                          // workers; 0: one per core
    std::vector<std::string> refusedPaths; // the editor's open file
    std::string logPath;                   // with CheckBoxBatchCreateLOG; empty: BatchLogPath()
    // Someone answers AbortOnError: after a failed file the workers take no other file until
    // the answer, so that Abort leaves the files after it untouched.
    bool waitForAnswers = false;
    bool overwriteTracks = false; // the CUE split may replace existing files (never its own)
    // A stop the face sets from any thread or a signal handler (Ctrl+C, SIGTERM): the workers
    // see it themselves, so no file starts once it is set, however soon after the last one.
    const std::atomic<bool>* stopFlag = nullptr;
};

// The workers a batch uses: `jobs` (or the cores), never more than the files, and one when the
// batch stops on an error, so that the files processed never depend on the number of workers.
int BatchWorkerCount(int jobs, std::size_t files, const Settings& settings);

// Runs the batch over the expanded inputs with N workers, each with its own progress and, with
// CheckBoxBatchRunInIdlePriority, at the lowest CPU priority and in the idle I/O class. Returns
// the reports in input order; the log, when asked for, is written in that order too. Throws
// VelmoraError ("MessageDlgErrorCreatingLOGfile") before any file is touched when the log cannot
// be created.
std::vector<BatchFileReport> RunBatch(const std::vector<BatchInput>& inputs,
                                      const Settings& settings, const MessageTable& messages,
                                      const BatchRunOptions& options, IBatchObserver& observer);

// Puts the calling thread at the lowest CPU priority and in the idle I/O class; false when the
// system refused either.
bool ApplyIdlePriority();

} // namespace velmora
