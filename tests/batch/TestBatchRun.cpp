#include "BatchFixtures.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

using O = BatchOutcome;

Settings EveryStep() {
    Settings s;
    s.CheckBoxBatchRemoveSilence = true;
    s.CheckBoxBatchVolumeNormalize = true;
    s.TrackBarBatchFadeIn = 3;
    s.TrackBarBatchFadeOut = 5;
    s.CheckBoxBatchSplitCUE = true;
    s.CheckBoxBatchMoveAbrupt = true;
    s.CheckBoxProcessSubfolders = true;
    s.CheckBoxBatchCreateLOG = true;
    s.CheckBoxBatchLOGCharacteristics = true;
    s.CheckBoxBatchLOGStatistics = true;
    s.CheckBoxBatchLOGAbrupt = true;
    return s;
}

std::vector<BatchFileReport> RunOn(const std::string& tree, const Settings& s, int jobs,
                                   const std::string& log, IBatchObserver* observer = nullptr) {
    RecordingObserver recorder;
    BatchRunOptions options;
    options.jobs = jobs;
    options.logPath = log;
    return RunBatch(ExpandBatchInputs({tree}, s), s, MessageTable::English(), options,
                    observer ? *observer : recorder);
}

} // namespace

TEST(BatchRun, TestRunLeavesEveryByteAndTimeAndLogsWhatItWouldDo) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const auto before = Snapshot(tree);
    Settings s = EveryStep();
    s.CheckBoxBatchTestRun = true;
    s.CheckBoxBatchCreateThumbnail = true;
    s.ComboBoxLengthThumbnail = 0; // 15 s: longer than every file
    const std::vector<BatchFileReport> reports = RunOn(tree, s, 2, dir.File("log"));
    EXPECT_EQ(Snapshot(tree), before);
    EXPECT_EQ(Outcomes(reports, tree), (std::map<std::string, O>{{"abrupt.mp3", O::Changed},
                                                                 {"album.mp3", O::Changed},
                                                                 {"bad.mp3", O::Changed},
                                                                 {"corrupt.mp3", O::Failed},
                                                                 {"notes.mp3", O::Failed},
                                                                 {"quiet.mp3", O::Changed},
                                                                 {"sub/deep.mp3", O::Changed}}));
    const std::string log = LogBody(dir.File("log"));
    EXPECT_NE(log.find(tree + "/abrupt.mp3: would change\n"), std::string::npos) << log;
    EXPECT_NE(log.find("    would move to Abrupt endings\n"), std::string::npos) << log;
    EXPECT_NE(log.find("    would split according to its CUE sheet\n"), std::string::npos);
    EXPECT_NE(log.find("    would keep a thumbnail of "), std::string::npos);
    // The Open command's warning for missing headers, one indented line per line.
    EXPECT_NE(log.find("\n    This file has one or more missing frame headers and might be "
                       "corrupted.\n    Make sure"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(tree + "/notes.mp3: failed: "), std::string::npos);
    EXPECT_NE(log.find("Summary: processed 5, changed 5, skipped 0, failed 2\n"), std::string::npos)
        << log;
}

TEST(BatchRun, OneAndTwoWorkersGiveTheSameFilesLogAndOrder) {
    TempDir one, two;
    const std::string a = CopyBatchTree(one), b = CopyBatchTree(two);
    const Settings s = EveryStep();
    RecordingObserver seen;
    RunOn(a, s, 1, one.File("log"));
    RunOn(b, s, 2, two.File("log"), &seen);
    const auto filesA = Snapshot(a), filesB = Snapshot(b);
    ASSERT_EQ(filesA.size(), filesB.size());
    for (const auto& [name, state] : filesA)
        EXPECT_EQ(filesB.at(name).bytes, state.bytes) << name;
    std::string logA = LogBody(one.File("log")), logB = LogBody(two.File("log"));
    for (std::string* log : {&logA, &logB}) // the paths differ by their folder only
        for (std::size_t at; (at = log->find(log == &logA ? a : b)) != std::string::npos;)
            log->replace(at, (log == &logA ? a : b).size(), "TREE");
    EXPECT_EQ(logA, logB);
    EXPECT_NE(logA.find("TREE/Abrupt endings/abrupt.mp3"), std::string::npos) << logA;
    EXPECT_EQ(seen.order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(filesA.count("Abrupt endings/abrupt.mp3"));
    EXPECT_TRUE(filesA.count("album/01.mp3") && filesA.count("album/02.mp3"));
}

TEST(BatchRun, MissingHeadersAreSkippedOrStopTheBatchAsTheOptionsSay) {
    const struct {
        bool skip, stopOnError, stopsOnBad;
        O bad, afterBad; // bad.mp3 and corrupt.mp3, the file after it
    } cases[] = {
        {false, false, false, O::Changed, O::Failed},
        {true, false, false, O::Skipped, O::Failed},
        {true, false, true, O::Skipped, O::Failed}, // stops only under stop-on-error
        {false, true, true, O::Failed, O::NotProcessed},
        {true, true, false, O::Skipped, O::Failed},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string tree = CopyBatchTree(dir);
        Settings s;
        s.CheckBoxBatchTestRun = true;
        s.CheckBoxBatchRemoveSilence = true;
        s.CheckBoxBatchSkipBadFiles = c.skip;
        s.CheckBatchBoxStopOnError = c.stopOnError;
        s.CheckBoxBatchStopsOnBadFiles = c.stopsOnBad;
        const auto outcomes = Outcomes(RunOn(tree, s, 2, ""), tree);
        EXPECT_EQ(outcomes.at("bad.mp3"), c.bad) << c.skip << c.stopOnError << c.stopsOnBad;
        EXPECT_EQ(outcomes.at("corrupt.mp3"), c.afterBad)
            << c.skip << c.stopOnError << c.stopsOnBad;
    }
}

TEST(BatchRun, StopRequestStartsNoOtherFileAndLeavesAFileBeforeItsWriteUntouched) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const auto before = Snapshot(tree);
    Settings s;
    s.CheckBoxBatchRemoveSilence = true;
    RecordingObserver stopper;
    stopper.stopAfter = 0;
    const std::vector<BatchFileReport> reports = RunOn(tree, s, 2, "", &stopper);
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(SummaryText(Summarise(reports)),
              "processed 0, changed 0, skipped 0, failed 0, not processed 6");
    EXPECT_EQ(Snapshot(tree), before);

    // A worker asked to stop while it analyses: the file stays as it was.
    struct Stopping final : IProgress {
        void SetTotal(int) override {}
        void Report(int) override {}
        void ProcessMessages() override {}
        bool StopRequested() const override { return true; }
    } stopping;
    const BatchFileContext context{s, MessageTable::English(), {}};
    const BatchFileReport r = ProcessBatchFile({tree + "/quiet.mp3", ""}, context, stopping);
    EXPECT_EQ(r.outcome, O::NotProcessed);
    EXPECT_EQ(r.error, "Stopped at user request");
    EXPECT_EQ(Snapshot(tree), before);
}

TEST(BatchRun, VanishedFileAndOpenEditorFileAreRecordedAndTheRestGoesOn) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    Settings s;
    s.CheckBoxBatchRemoveSilence = true;
    const std::vector<BatchInput> inputs = ExpandBatchInputs({tree}, s);
    fs::remove(tree + "/album.mp3");
    BatchRunOptions options;
    options.refusedPaths = {tree + "/quiet.mp3"};
    RecordingObserver observer;
    const auto reports = RunBatch(inputs, s, MessageTable::English(), options, observer);
    const auto outcomes = Outcomes(reports, tree);
    EXPECT_EQ(outcomes.at("album.mp3"), O::Failed);
    EXPECT_EQ(outcomes.at("quiet.mp3"), O::Skipped);
    EXPECT_EQ(outcomes.at("abrupt.mp3"), O::Changed);
    EXPECT_EQ(SummaryText(Summarise(reports)), "processed 2, changed 2, skipped 1, failed 3");
}

TEST(BatchLog, OptionsChooseTheLinesAndALogThatCannotBeCreatedStopsTheStart) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const std::string log = dir.File("batch.log");
    Settings s;
    s.CheckBoxBatchTestRun = true;
    s.CheckBoxBatchCreateLOG = true;
    RunOn(tree, s, 2, log);
    std::string body = LogBody(log);
    EXPECT_NE(body.find(tree + "/quiet.mp3: unchanged\nSummary: processed 4, changed 1, skipped 0, "
                               "failed 2\n"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("    ending:"), std::string::npos);

    s.CheckBoxBatchLOGExcludeGoodFiles = true;
    s.CheckBoxBatchLOGAbrupt = true;
    RunOn(tree, s, 2, log); // appended
    body = LogBody(log);
    EXPECT_NE(body.find("\nBatch of "), std::string::npos) << body; // the second run's header
    s.CheckBoxBatchLOGEraseAtBeginning = true;
    RunOn(tree, s, 2, log);
    body = LogBody(log);
    EXPECT_EQ(body.find("Batch of "), std::string::npos) << body;
    EXPECT_EQ(body.find("quiet.mp3"), std::string::npos) << body;
    EXPECT_EQ(body.find("bad.mp3"), std::string::npos) << body;
    EXPECT_NE(body.find("corrupt.mp3: failed"), std::string::npos);
    EXPECT_EQ(body.find("Summary: processed 4, changed 1, skipped 0, failed 2"),
              body.rfind("Summary"));

    const auto before = Snapshot(tree);
    s.CheckBoxBatchTestRun = false;
    try {
        RunOn(tree, s, 2, dir.File("no/such/folder/log"));
        FAIL();
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error creating LOG file '" + dir.File("no/such/folder/log") + "'");
    }
    EXPECT_EQ(Snapshot(tree), before);
}

TEST(BatchLog, ALogThatIsAnInputOrHoldsSomethingElseIsRefusedBeforeTheBatchStarts) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const std::string earlier = "Batch of 2026-01-01 10:00:00, 1 file(s)\nx.mp3: changed\n";
    fs::create_hard_link(tree + "/quiet.mp3", dir.File("link.mp3"));
    fs::copy_file(tree + "/abrupt.mp3", dir.File("other.mp3"));
    WriteFile(dir.File("notes.txt"), {'B', 'a', 't', 'c', 'h', '\n'});
    const std::string input = "The LOG file \"%\" is one of the batch's files";
    const std::string other = "\"%\" is not empty and not a LOG file";
    const struct {
        std::string log;
        std::string error; // "%" stands for the LOG's path; empty: accepted
    } cases[] = {
        {tree + "/quiet.mp3", input},
        {dir.File("link.mp3"), input},
        {tree + "/sub/loop/album.mp3", input},
        {dir.File("other.mp3"), other},
        {dir.File("notes.txt"), other},
        {dir.File("empty.log"), ""},
        {dir.File("earlier.log"), ""},
        {dir.File("new.log"), ""},
        {"/dev/null", ""},
    };
    for (const bool testRun : {true, false})
        for (const auto& c : cases) {
            WriteFile(dir.File("empty.log"), {});
            WriteFile(dir.File("earlier.log"), {earlier.begin(), earlier.end()});
            fs::remove(dir.File("new.log"));
            const auto before = Snapshot(dir.path());
            Settings s;
            s.CheckBoxBatchCreateLOG = true;
            s.CheckBoxBatchTestRun = testRun;
            s.CheckBoxBatchLOGEraseAtBeginning = testRun; // either way the file is refused
            s.TrackBarDefaultAmplification = 1;           // a real run changes every file
            std::string error;
            try {
                RunOn(tree, s, 2, c.log);
            } catch (const VelmoraError& e) {
                error = e.what();
            }
            if (c.error.empty()) {
                // Accepted: an earlier LOG is appended to, an empty or new one started.
                EXPECT_EQ(error, "") << c.log;
                const std::vector<std::uint8_t> bytes = ReadFile(c.log);
                const std::string text(bytes.begin(), bytes.end());
                if (c.log == "/dev/null")
                    continue;
                EXPECT_EQ(
                    text.rfind(c.log == dir.File("earlier.log") && !testRun ? earlier : "Batch of ",
                               0),
                    0u)
                    << text;
                EXPECT_NE(text.find("\nSummary: processed 4, changed 4,"), std::string::npos);
                continue;
            }
            std::string expected = c.error;
            expected.replace(expected.find('%'), 1, c.log);
            EXPECT_EQ(error, expected + "; the batch was not started") << c.log;
            EXPECT_EQ(Snapshot(dir.path()), before) << c.log; // no file touched, the LOG neither
        }
}

TEST(BatchRun, IdlePriorityIsTheLowestCpuPriorityAndTheIdleIoClass) {
    const int callerNice = ::getpriority(PRIO_PROCESS, 0);
    int nice = 0;
    long ioprio = 0;
    bool applied = false;
    std::thread worker([&] {
        applied = ApplyIdlePriority();
        const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
        nice = ::getpriority(PRIO_PROCESS, tid);
        ioprio = ::syscall(SYS_ioprio_get, 1, static_cast<long>(tid));
    });
    worker.join();
    EXPECT_TRUE(applied);
    EXPECT_EQ(nice, 19);
    EXPECT_EQ(ioprio >> 13, 3);                            // IOPRIO_CLASS_IDLE
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), callerNice); // the caller's thread keeps its own
}

TEST(BatchRun, WorkersAreTheJobsOrTheUsableCoresNeverMoreThanTheFilesAndOneToStopOnError) {
    cpu_set_t set;
    ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
    const int cores = CPU_COUNT(&set);
    Settings s;
    Settings stopping;
    stopping.CheckBatchBoxStopOnError = true;
    const struct {
        int jobs;
        std::size_t files;
        const Settings& settings;
        int workers;
    } cases[] = {
        {3, 10, s, 3}, {3, 2, s, 2}, {0, 1000, s, cores}, {0, 0, s, 1}, {4, 10, stopping, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BatchWorkerCount(c.jobs, c.files, c.settings), c.workers)
            << c.jobs << " " << c.files;
}

namespace {

// Answers Abort or Ignore from a script, slowly, as a person would.
struct SlowAnswers final : IBatchObserver {
    std::vector<bool> aborts; // Ignore when used up
    std::vector<std::string> asked;
    void FileDone(std::size_t, const BatchFileReport&) override {}
    bool AbortOnError(const BatchFileReport& r) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const bool abort = asked.size() < aborts.size() && aborts[asked.size()];
        asked.push_back(fs::path(r.path).filename().string());
        return abort;
    }
};

} // namespace

TEST(BatchRun, WorkersWaitForTheAnswerAboutAFailedFileAndAbortLeavesTheRestUntouched) {
    // In byte order: abrupt, album, bad, corrupt (fails), notes (fails), quiet.
    const struct {
        std::vector<bool> aborts;
        std::vector<std::string> asked;
        O notes, quiet;
    } cases[] = {
        {{false, true}, {"corrupt.mp3", "notes.mp3"}, O::Failed, O::NotProcessed},
        {{true}, {"corrupt.mp3"}, O::NotProcessed, O::NotProcessed},
        {{false, false}, {"corrupt.mp3", "notes.mp3"}, O::Failed, O::Changed},
    };
    for (const int jobs : {1, 2})
        for (const auto& c : cases) {
            TempDir dir;
            const std::string tree = CopyBatchTree(dir);
            Settings s;
            s.CheckBoxBatchRemoveSilence = true;
            const auto quietBefore = ReadFile(tree + "/quiet.mp3");
            BatchRunOptions options;
            options.jobs = jobs;
            options.waitForAnswers = true;
            SlowAnswers observer;
            observer.aborts = c.aborts;
            const auto reports = RunBatch(ExpandBatchInputs({tree}, s), s, MessageTable::English(),
                                          options, observer);
            const auto outcomes = Outcomes(reports, tree);
            EXPECT_EQ(observer.asked, c.asked) << jobs;
            // Two workers may have taken notes.mp3 before corrupt.mp3 failed, and quiet.mp3 after
            // corrupt.mp3 was answered while notes.mp3 was still being read: the editor asks with
            // one worker.
            if (jobs == 2)
                continue;
            EXPECT_EQ(outcomes.at("notes.mp3"), c.notes);
            EXPECT_EQ(outcomes.at("quiet.mp3"), c.quiet);
            if (c.quiet == O::NotProcessed) {
                EXPECT_EQ(ReadFile(tree + "/quiet.mp3"), quietBefore);
            }
        }
}
