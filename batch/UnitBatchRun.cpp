#include "UnitBatchRun.h"

#include "UnitBatchAlbum.h"
#include "UnitBatchWorker.h"
#include "UnitCueSplit.h"
#include "UnitOptions.h"
#include "VelmoraError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace velmora {

namespace {

// The files shared by the workers and the thread that delivers their reports in order.
class Queue {
public:
    Queue(const std::vector<BatchInput>& inputs, const Settings& settings,
          const BatchFileContext& context, bool waitForAnswers, const std::atomic<bool>* faceStop)
        : m_inputs(inputs), m_settings(settings), m_context(context), m_faceStop(faceStop),
          m_waitForAnswers(waitForAnswers && !settings.CheckBatchBoxStopOnError),
          m_reports(inputs.size()), m_done(inputs.size(), false) {}

    void Work() {
        EnterBatchWorker(m_settings);
        WorkerProgress progress(m_stop, m_faceStop);
        while (true) {
            std::size_t i = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop.load() || m_unanswered == 0; });
                if (progress.StopRequested() || m_next >= m_inputs.size())
                    break;
                i = m_next++;
            }
            BatchFileReport r = ProcessBatchFile(m_inputs[i], m_context, progress);
            {
                std::lock_guard lock(m_mutex);
                // Decided here, before this worker takes another file, so that a batch that
                // stops on an error stops at the same file whatever the timing.
                if (r.outcome == BatchOutcome::Failed &&
                    (m_settings.CheckBatchBoxStopOnError || r.stopsBatch))
                    m_stop.store(true);
                else if (r.outcome == BatchOutcome::Failed && m_waitForAnswers)
                    ++m_unanswered;
                m_reports[i] = std::move(r);
                m_done[i] = true;
            }
            m_changed.notify_all();
        }
        {
            std::lock_guard lock(m_mutex);
            ++m_finishedWorkers;
        }
        m_changed.notify_all();
    }

    // Waits up to `wait` for the report at `index`; true when it is there.
    bool WaitFor(std::size_t index, std::chrono::milliseconds wait, int workers) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, wait,
                           [&] { return m_done[index] || m_finishedWorkers == workers; });
        return m_done[index];
    }
    bool AllFinished(int workers) {
        std::lock_guard lock(m_mutex);
        return m_finishedWorkers == workers;
    }
    BatchFileReport& ReportAt(std::size_t index) { return m_reports[index]; }
    std::vector<BatchFileReport> TakeReports() { return std::move(m_reports); }
    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stop.store(true);
        }
        m_changed.notify_all();
    }
    // The face has answered Ignore about a failed file.
    void Answered() {
        {
            std::lock_guard lock(m_mutex);
            if (m_unanswered > 0)
                --m_unanswered;
        }
        m_changed.notify_all();
    }

private:
    const std::vector<BatchInput>& m_inputs;
    const Settings& m_settings;
    const BatchFileContext& m_context;
    const std::atomic<bool>* m_faceStop;
    const bool m_waitForAnswers;
    int m_unanswered = 0; // failed files whose Abort or Ignore is awaited
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<bool> m_stop{false};
    std::size_t m_next = 0;
    int m_finishedWorkers = 0;
    std::vector<BatchFileReport> m_reports;
    std::vector<bool> m_done;
};

// Stops and joins the workers on every way out of RunBatch.
class Workers {
public:
    Workers(Queue& queue, int count) : m_queue(queue) {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([&queue] { queue.Work(); });
    }
    ~Workers() {
        m_queue.Stop();
        for (std::thread& t : m_threads)
            t.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

private:
    Queue& m_queue;
    std::vector<std::thread> m_threads;
};

// Writes to the LOG until it fails once; then stops the batch and keeps the error.
struct LogWriter {
    std::optional<BatchLog>& log;
    Queue& queue;
    std::string error;

    template <typename Step> void Write(const Step& step) {
        if (!log)
            return;
        try {
            step();
        } catch (const VelmoraError& e) {
            error = e.what();
            log.reset();
            queue.Stop();
        }
    }
};

// The cores this process may run on (a container or taskset may allow fewer than the machine has).
int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

int BatchWorkerCount(int jobs, std::size_t files, const Settings& settings) {
    if (settings.CheckBatchBoxStopOnError)
        return 1;
    int n = jobs > 0 ? jobs : UsableCores();
    n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(n), files));
    return std::max(n, 1);
}

std::vector<BatchFileReport> RunBatch(const std::vector<BatchInput>& inputs,
                                      const Settings& settings, const MessageTable& messages,
                                      const BatchRunOptions& options, IBatchObserver& observer) {
    std::optional<BatchLog> log;
    if (settings.CheckBoxBatchCreateLOG) {
        const std::string logPath = options.logPath.empty() ? BatchLogPath() : options.logPath;
        CheckBatchLogTarget(logPath, inputs);
        log.emplace(logPath, settings, messages);
        log->Begin(inputs.size());
    }
    SplitOutputClaims trackClaims;
    // Album mode measures every folder before any file changes.
    const std::atomic<bool> noStop{false};
    const BatchAlbums albums =
        MeasureAlbums(inputs, settings, messages, options.refusedPaths,
                      BatchWorkerCount(options.jobs, inputs.size(), settings),
                      options.stopFlag ? *options.stopFlag : noStop, [&observer] {
                          observer.Idle();
                          return observer.StopRequested();
                      });
    const BatchFileContext context{
        settings, messages, options.refusedPaths, &trackClaims, options.overwriteTracks, &albums};
    Queue queue(inputs, settings, context, options.waitForAnswers, options.stopFlag);
    const int workerCount = BatchWorkerCount(options.jobs, inputs.size(), settings);
    // A LOG that can no longer be written stops the batch; the files in hand still finish and
    // every report still reaches the face.
    LogWriter logWriter{log, queue, {}};
    if (observer.StopRequested())
        queue.Stop();
    {
        Workers workers(queue, workerCount);
        bool aborted = false;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (observer.StopRequested())
                queue.Stop();
            while (!queue.WaitFor(i, kIdleInterval, workerCount)) {
                if (queue.AllFinished(workerCount))
                    break;
                observer.Idle();
                if (observer.StopRequested())
                    queue.Stop();
            }
            BatchFileReport& r = queue.ReportAt(i);
            if (r.path.empty()) {
                r.path = inputs[i].path;
                r.outcome = BatchOutcome::NotProcessed;
                r.error = "the batch was stopped";
            }
            logWriter.Write([&] { log->Add(r); });
            observer.FileDone(i, r);
            // After an Abort, files already in hand that fail are not asked about again.
            if (r.outcome == BatchOutcome::Failed && !settings.CheckBatchBoxStopOnError &&
                !aborted) {
                aborted = observer.AbortOnError(r);
                if (aborted)
                    queue.Stop();
                else
                    queue.Answered();
            }
        }
    }
    std::vector<BatchFileReport> reports = queue.TakeReports();
    logWriter.Write([&] { log->End(Summarise(reports)); });
    if (!logWriter.error.empty())
        throw BatchLogError(logWriter.error, std::move(reports));
    return reports;
}

bool ApplyIdlePriority() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const bool cpu = ::setpriority(PRIO_PROCESS, tid, 19) == 0;
    constexpr long kWhoProcess = 1, kClassIdle = 3, kClassShift = 13;
    const bool io = ::syscall(SYS_ioprio_set, kWhoProcess, static_cast<long>(tid),
                              kClassIdle << kClassShift) == 0;
    return cpu && io;
}

} // namespace velmora
