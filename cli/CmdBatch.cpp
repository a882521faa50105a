#include "CliCommon.h"
#include "CliJson.h"

#include "UnitBatchRun.h"

#include <iostream>
#include <ostream>
#include <string>

namespace velmora::cli {

namespace {

const char* OutcomeName(BatchOutcome outcome) {
    switch (outcome) {
    case BatchOutcome::Unchanged:
        return "unchanged";
    case BatchOutcome::Changed:
        return "changed";
    case BatchOutcome::Skipped:
        return "skipped";
    case BatchOutcome::Failed:
        return "failed";
    case BatchOutcome::NotProcessed:
        return "not-processed";
    }
    return "";
}

// What the scan found, as numbers; null when the file was not read that far.
void AddCharacteristics(Json& line, const BatchFileReport& r) {
    const auto known = [&](Json value) { return r.analysed ? value : Json(nullptr); };
    line["frames"] = known(r.frames);
    line["sampleRate"] = known(r.sampleRate);
    line["lengthSamples"] = known(r.lengthSamples);
    const double seconds = r.sampleRate ? double(r.lengthSamples) / r.sampleRate : 0.0;
    line["lengthSeconds"] = known(JsonNumberOrNull(seconds, 6));
    line["vbr"] = known(r.bitrateKbps == 0);
    line["bitrateKbps"] = r.analysed && r.bitrateKbps ? Json(r.bitrateKbps) : Json(nullptr);
    line["averageBitrateKbps"] = known(JsonNumberOrNull(r.averageBitrateKbps, 1));
    line["missingHeaders"] = known(r.missingHeaders);
    line["abruptEnding"] = known(r.abruptEnding);
}

std::string JsonReport(const BatchFileReport& r, bool testRun, bool display) {
    Json line = JsonFileLine(r.path);
    line["outcome"] = OutcomeName(r.outcome);
    line["testRun"] = testRun;
    line["error"] = JsonTextOrNull(r.error);
    AddCharacteristics(line, r);
    line["trimmedBegin"] = r.trimmedBegin;
    line["trimmedEnd"] = r.trimmedEnd;
    line["gainSteps"] = r.gainSteps;
    line["loudness"] = r.loudnessBefore ? JsonNumberOrNull(*r.loudnessBefore, 2) : Json(nullptr);
    line["bytesSaved"] = r.bytesSaved;
    if (r.savedPath.empty())
        line["savedPath"] = nullptr;
    else
        AddJsonName(line, "savedPath", r.savedPath);
    AddJsonNameList(line, "tracks", r.splitTracks);
    line["notes"] = JsonTextList(r.notes);
    if (display)
        line["display"] = {{"outcome", OutcomeText(r.outcome, testRun)},
                           {"type", JsonText(r.type)},
                           {"length", JsonText(r.length)},
                           {"bitrate", JsonText(r.bitrate)}};
    return JsonLineText(line);
}

// Prints each file as it is done and keeps a count on the terminal; Ctrl+C asks for the stop.
class CliObserver final : public IBatchObserver {
public:
    CliObserver(const Settings& settings, bool json, bool display, std::size_t files,
                std::ostream& out)
        : m_settings(settings), m_json(json), m_display(display), m_out(out), m_progress("batch") {
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
            m_out << JsonReport(report, m_settings.CheckBoxBatchTestRun, m_display) << "\n";
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
    bool m_display;
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
        CliObserver observer(ctx.settings, a.json, a.jsonDisplay, inputs.size(), out);
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
