#include "CliCommon.h"
#include "CliJson.h"
#include "CliTime.h"
#include "UnitBatchLog.h"
#include "UnitOpenAudio.h"
#include "UnitPath.h"

#include "UnitCueSheet.h"
#include "UnitSilence.h"

#include <ostream>

namespace velmora::cli {

namespace {

// The sheet's tracks as data: where each starts and how long it lasts, in frames, samples and
// seconds.
Json CueJson(const std::string& file, const CueGenerateResult& result, const StreamInfo& info) {
    const MpegHeader& h = info.firstHeader;
    const std::int64_t spf = SamplesPerFrame(h);
    const auto seconds = [&](std::int64_t frames) {
        return static_cast<double>(frames * spf) / h.sampleRate;
    };
    Json tracks = Json::array();
    const std::vector<std::int64_t>& starts = result.sheet.trackFrames;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t end = k + 1 < starts.size() ? starts[k + 1] : info.frameCount;
        tracks.push_back({{"track", k + 1},
                          {"index", FormatCueTime(h, starts[k])},
                          {"startFrame", starts[k]},
                          {"startSample", starts[k] * spf},
                          {"startSeconds", seconds(starts[k])},
                          {"frames", end - starts[k]},
                          {"samples", (end - starts[k]) * spf},
                          {"seconds", seconds(end - starts[k])}});
    }
    Json j = JsonFileLine(file);
    AddJsonName(j, "sheet", result.cuePath);
    j["frames"] = info.frameCount;
    j["sampleRate"] = h.sampleRate;
    j["tracks"] = tracks;
    return j;
}

} // namespace

CueGapRules GapRulesOf(const GapArgs& gaps, const MpegHeader& header, const Settings& settings) {
    CueGapRules rules = CueGapRulesOf(header, settings);
    if (gaps.thresholdDb)
        rules.quietEnergy = QuietEnergyForLevel(header, *gaps.thresholdDb);
    if (gaps.minGap)
        rules.minGapFrames = DurationFrames(*ParseDuration(*gaps.minGap), header);
    if (gaps.minTrack) {
        const std::int64_t frames = DurationFrames(*ParseDuration(*gaps.minTrack), header);
        rules.minTrackFrames = frames != 0 ? frames : MinimumCueTrackFrames(header, 0);
    }
    return rules;
}

TrimPoints CueTrim(const StreamInfo& info, const Settings& settings) {
    if (settings.CheckBoxAutoDetectSilence)
        if (const auto automatic = AutoTrim(info, settings, OperationState::Idle))
            return *automatic;
    return {};
}

int CmdCue(CliContext& ctx, const CueArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& path = a.file;
    TerminalProgress progress("reading " + BaseName(path));
    OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    progress.SetLabel("measuring " + BaseName(path));
    const CueGenerateResult result =
        GenerateCueSheet(path, opened.info, CueTrim(opened.info, ctx.settings),
                         PriorVolumeAnalysis::None, ctx.settings, ctx.messages, progress,
                         GapRulesOf(a.gaps, opened.info.firstHeader, ctx.settings));
    if (a.json) {
        out << JsonLineText(CueJson(path, result, opened.info)) << "\n";
    } else {
        std::string shown;
        for (char c : result.sheet.text)
            if (c != '\r')
                shown += c;
        out << shown;
    }
    if (!ctx.quiet)
        err << "velmora-cli: " << result.sheet.trackFrames.size() << " tracks, written to "
            << EscapeControls(result.cuePath) << "\n";
    return 0;
}

} // namespace velmora::cli
