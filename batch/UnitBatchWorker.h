#pragma once

#include "Progress.h"
#include "UnitScanner.h"

#include <atomic>
#include <chrono>
#include <string>

// What the batch's workers share: those of the run and those of album mode's measuring pass.
// Internal to the batch.

namespace velmora {

struct MessageTable;
struct Settings;

// How often the thread that waits for the workers looks at the face.
inline constexpr std::chrono::milliseconds kIdleInterval{50};

// A worker's progress: it shows nothing and pumps nothing; it only carries the batch's stop and
// the face's own (a signal), which the worker sees at once.
class WorkerProgress final : public IProgress {
public:
    WorkerProgress(const std::atomic<bool>& stop, const std::atomic<bool>* faceStop)
        : m_stop(stop), m_faceStop(faceStop) {}
    void SetTotal(int) override {}
    void Report(int) override {}
    void ProcessMessages() override {}
    bool StopRequested() const override {
        return m_stop.load() || (m_faceStop && m_faceStop->load());
    }

private:
    const std::atomic<bool>& m_stop;
    const std::atomic<bool>* m_faceStop;
};

// Called first on every worker thread: with CheckBoxBatchRunInIdlePriority, the thread goes to
// the lowest CPU priority and the idle I/O class.
void EnterBatchWorker(const Settings& settings);

// Whether two paths name the same file (false when either cannot be stat'ed).
bool SameFile(const std::string& a, const std::string& b);

// The file's stream, opened again without decoding its tail.
StreamInfo Reopen(const std::string& path, const Settings& settings, const MessageTable& messages,
                  IProgress& progress);

} // namespace velmora
