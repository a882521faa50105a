#include "CliCommon.h"

#include "UnitBatchRun.h"

#include <iostream>
#include <ostream>
#include <string>

namespace velmora::cli {

namespace {

std::string JsonList(const std::vector<std::string>& items) {
    std::string s = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + JsonString(items[i]);
    return s + "]";
}

std::string Json(const BatchFileReport& r, bool testRun) {
    std::string s = "{" + JsonFileFields(r.path) +
                    ", \"outcome\": " + JsonString(OutcomeText(r.outcome, testRun));
    if (!r.error.empty())
        s += ", \"error\": " + JsonString(r.error);
    if (r.analysed)
        s += ", \"type\": " + JsonString(r.type) + ", \"length\": " + JsonString(r.length) +
             ", \"bitrate\": " + JsonString(r.bitrate) +
             ", \"missingHeaders\": " + std::to_string(r.missingHeaders) +
             ", \"ending\": " + JsonString(r.abruptEnding ? "abrupt" : "natural");
    s += ", \"trimmedBegin\": " + std::to_string(r.trimmedBegin) +
         ", \"trimmedEnd\": " + std::to_string(r.trimmedEnd) +
         ", \"gainSteps\": " + std::to_string(r.gainSteps) +
         ", \"bytesSaved\": " + std::to_string(r.bytesSaved) + ", " +
         JsonNameFields("savedPath", r.savedPath) + ", " +
         JsonNameListFields("tracks", r.splitTracks) + ", \"notes\": " + JsonList(r.notes) + "}";
    return s;
}

// Prints each file as it is done and keeps a count on the terminal; Ctrl+C asks for the stop.
class CliObserver final : public IBatchObserver {
public:
    CliObserver(const Settings& settings, bool json, std::size_t files, std::ostream& out)
        : m_settings(settings), m_json(json), m_out(out), m_progress("batch") {
        m_progress.SetTotal(static_cast<int>(files));
        // What the terminal shows is the whole report, whatever the LOG leaves out.
        m_shown.CheckBoxBatchLOGExcludeGoodFiles = false;
        m_shown.CheckBoxBatchTestRun = settings.CheckBoxBatchTestRun;
        m_shown.CheckBoxBatchLOGCharacteristics = settings.CheckBoxBatchLOGCharacteristics;
        m_shown.CheckBoxBatchLOGStatistics = settings.CheckBoxBatchLOGStatistics;
        m_shown.CheckBoxBatchLOGAbrupt = settings.CheckBoxBatchLOGAbrupt;
    }
    void FileDone(std::size_t index, const BatchFileReport& report) override {
        if (m_json)
            m_out << Json(report, m_settings.CheckBoxBatchTestRun) << "\n";
        else
            m_out << FormatBatchEntry(report, m_shown);
        m_out.flush();
        m_progress.Report(static_cast<int>(index + 1));
    }
    bool StopRequested() override { return m_progress.StopRequested(); }

private:
    const Settings& m_settings;
    Settings m_shown;
    bool m_json;
    std::ostream& m_out;
    TerminalProgress m_progress;
};

} // namespace

int CmdBatch(CliContext& ctx, const BatchArgs& a, std::ostream& out, std::ostream& err) {
    const std::vector<BatchInput> inputs =
        KeepShard(ExpandBatchInputs(GatherInputNames(a.paths, a.inputs, std::cin), ctx.settings),
                  a.inputs, [](const BatchInput& input) { return input.path; });
    BatchRunOptions options;
    options.jobs = a.jobs;
    options.logPath = a.log;
    options.overwriteTracks = a.overwrite;
    options.stopFlag = &InterruptFlag();
    std::vector<BatchFileReport> reports;
    std::string logError;
    {
        CliObserver observer(ctx.settings, a.json, inputs.size(), out);
        try {
            reports = RunBatch(inputs, ctx.settings, ctx.messages, options, observer);
        } catch (const BatchLogError& e) {
            // Every file was reported; the summary comes before the LOG's error.
            reports = e.reports();
            logError = e.what();
        }
    }
    const BatchSummary summary = Summarise(reports);
    (a.json ? err : out) << "summary: " << SummaryText(summary)
                         << (ctx.settings.CheckBoxBatchTestRun ? " (test run: nothing written)"
                                                               : "")
                         << "\n";
    if (!logError.empty()) {
        err << "velmora-cli: " << EscapeControls(logError) << "\n";
        return 1;
    }
    return summary.failed == 0 && summary.notProcessed == 0 ? 0 : 1;
}

} // namespace velmora::cli
