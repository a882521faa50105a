#include "CliCommon.h"
#include "CliJson.h"
#include "UnitBatchLog.h"
#include "UnitPath.h"

#include "UnitFileView.h"
#include "UnitID3v2.h"
#include "UnitLoudness.h"
#include "UnitMP3.h"
#include "UnitOpenAudio.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"
#include "UnitVolume.h"
#include "UnitWriter.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

namespace velmora::cli {

namespace {

struct NormalizeRecord {
    StreamInfo info; // as opened for the analysis: the apply needs no second open
    NormalizationResult normalization;
    std::int64_t samples = 0;
    std::int64_t refusedFrames = 0;
    std::unique_ptr<LoudnessAnalyser> loudness;
    LoudnessGain gain; // for the file, or for the album
    std::optional<int> applied;
    std::vector<std::string> notes;
};

NormalizeRecord Analyse(const std::string& path, const CliContext& ctx) {
    TerminalProgress progress("reading " + BaseName(path));
    // The full decode that follows measures every frame: the open needs no tail decode.
    NormalizeRecord r;
    r.info = std::move(
        OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress, {TailDecode::Skip}).info);
    progress.SetLabel("measuring " + BaseName(path));
    const StreamInfo& info = r.info;
    const MpegHeader& first = info.firstHeader;
    r.loudness = std::make_unique<LoudnessAnalyser>(LoudnessAnalyser::ForAnalysis(first));
    IVolumeAnalyser* analysers[] = {r.loudness.get()};
    const VolumeAnalysis analysis = AnalyseVolume(
        path, info, 0, info.frameCount, VolumeScope::Levels, ctx.messages, progress, analysers);
    r.normalization = ComputeNormalization(analysis, ctx.settings);
    r.samples = analysis.sampleCount;
    r.refusedFrames = analysis.refusedFrames;
    return r;
}

// Saves `steps` into the file in place, as Save would with nothing else changed. The writer
// refuses a file that changed since `info` was read.
WriteResult Apply(const std::string& path, StreamInfo& info, int steps,
                  const LoudnessResult& loudness, const CliContext& ctx) {
    TerminalProgress progress("saving " + BaseName(path));
    const TrimPoints trim{};
    const bool wav = OutputIsWav(ctx.settings, info.firstHeader.layerId, std::nullopt);
    const OutputPlanDisplay display = ComputeOutputPlan(info, trim, ctx.settings,
                                                        {.tagsKept = TagsKept::Yes,
                                                         .outputIsWav = wav,
                                                         .gainSteps = steps,
                                                         .recordGainUndo = true});
    WriteParams params =
        MakeSaveParams(path, {}, info, trim, display.plan, ctx.settings, steps, 0, 0);
    params.closeAfterSave = true;
    params.recordGainUndo = true;
    if (loudness.Measured())
        params.measuredLoudness =
            WriteParams::Loudness{loudness.integratedLufs, loudness.truePeakDbtp};
    return WriteOutput(params, info, {ctx.settings, ctx.messages, wav, true}, progress);
}

std::string Fixed(double value, const char* format) {
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string StepText(const NormalizationResult& n, const char* none) {
    return n.amplificationPosition ? std::to_string(*n.amplificationPosition) : none;
}

std::string JsonReport(const std::string& file, const NormalizeRecord& r, bool album,
                       bool display) {
    const NormalizationResult& n = r.normalization;
    const LoudnessResult l = r.loudness->Result();
    Json line = JsonFileLine(file);
    line["normalizationValue"] = JsonNumberOrNull(n.NormalizationValue, 4);
    line["step"] = n.amplificationPosition ? Json(*n.amplificationPosition) : Json(nullptr);
    line["peak"] = n.peak;
    line["samples"] = r.samples;
    line["refusedFrames"] = r.refusedFrames;
    AddLoudnessJson(line, l);
    line["loudnessStep"] = r.gain.steps;
    line["loudnessAfter"] = JsonNumberOrNull(r.gain.afterLufs, 2);
    line["truePeakAfter"] = JsonNumberOrNull(r.gain.afterTruePeakDbtp, 2);
    line["limitedBy"] = LoudnessLimitName(r.gain.limit);
    line["albumLoudness"] =
        album ? JsonNumberOrNull(r.gain.before.integratedLufs, 2) : Json(nullptr);
    line["applied"] = r.applied ? Json(*r.applied) : Json(nullptr);
    line["notes"] = JsonTextList(r.notes);
    if (display)
        line["display"] = {{"caption", JsonText(n.caption)},
                           {"limitedBy", LoudnessLimitText(r.gain.limit)}};
    return JsonLineText(line);
}

std::string Plain(const std::string& file, const NormalizeRecord& r, bool album) {
    const NormalizationResult& n = r.normalization;
    const LoudnessResult l = r.loudness->Result();
    std::string text = EscapeControls(file) + ": " + n.caption + "  value " +
                       Fixed(n.NormalizationValue, "%.1f") + " dB  step " + StepText(n, "-") +
                       "  peak " + std::to_string(n.peak) + "\n  loudness " +
                       LufsText(l.integratedLufs) + ", range " + Fixed(l.rangeLu, "%.1f") +
                       " LU, true peak " + DbtpText(l.truePeakDbtp);
    const LoudnessGain& g = r.gain;
    if (g.limit == LoudnessLimit::NotMeasured) {
        text += "\n  loudness step: none, the loudness could not be measured (silence, or "
                "shorter than 400 ms)";
    } else {
        char step[32];
        std::snprintf(step, sizeof step, "%+d (%+.1f dB)", g.steps, g.steps * GainStepDb());
        text += std::string("\n  ") + (album ? "album " : "") + "loudness step " + step + ": " +
                LufsText(g.before.integratedLufs) + " -> " + LufsText(g.afterLufs) +
                ", true peak -> " + DbtpText(g.afterTruePeakDbtp) + ", limited by " +
                LoudnessLimitText(g.limit);
    }
    if (r.applied)
        text += "\n  applied " + std::to_string(*r.applied) + " steps";
    for (const std::string& note : r.notes)
        text += "\n  note: " + note;
    return text;
}

// The step --apply saves: the loudness step when a loudness target was asked for.
std::optional<int> StepToApply(bool loudness, const NormalizeRecord& r) {
    if (loudness)
        return r.gain.steps;
    return r.normalization.amplificationPosition;
}

} // namespace

int CmdNormalize(CliContext& ctx, const NormalizeArgs& a, std::ostream& out, std::ostream& err) {
    const double target = a.target.value_or(LoudnessTargetLufs(ctx.settings));
    const double ceiling = a.ceiling.value_or(TruePeakCeilingDbtp(ctx.settings));
    const bool json = a.files.json;
    const std::vector<std::string> files = SelectedFiles(a.files);
    auto finish = [&](const std::string& file, NormalizeRecord& r) {
        if (a.apply) {
            const bool loudness = a.target || a.album || ctx.settings.CheckBoxNormalizeLoudness;
            if (const auto steps = StepToApply(loudness, r); steps && *steps != 0) {
                const WriteResult w = Apply(file, r.info, *steps, r.loudness->Result(), ctx);
                r.applied = w.gainSteps;
                r.notes = w.tagNotes;
            } else {
                r.applied = 0;
            }
        }
        out << (json ? JsonReport(file, r, a.album, a.files.jsonDisplay) : Plain(file, r, a.album))
            << "\n";
    };
    if (!a.album)
        return RunFileBatch(files, {json, "velmora-cli: "}, out, err, [&](const std::string& file) {
            NormalizeRecord r = Analyse(file, ctx);
            r.gain = ComputeLoudnessGain(r.loudness->Result(), target, ceiling, -255, 255);
            finish(file, r);
        });

    // Album: every file measured first; one step from the joined measurement, under the
    // ceiling of the loudest true peak.
    std::vector<std::pair<std::string, NormalizeRecord>> measured;
    const int status =
        RunFileBatch(files, {json, "velmora-cli: "}, out, err, [&](const std::string& file) {
            measured.emplace_back(file, Analyse(file, ctx));
        });
    if (status != 0)
        return status;
    std::vector<const LoudnessAnalyser*> parts;
    for (const auto& m : measured)
        parts.push_back(m.second.loudness.get());
    const LoudnessGain albumGain =
        ComputeLoudnessGain(LoudnessAnalyser::Joined(parts), target, ceiling, -255, 255);
    return RunFileBatch(files, {json, "velmora-cli: "}, out, err,
                        [&, i = std::size_t{0}](const std::string& file) mutable {
                            NormalizeRecord& r = measured[i++].second;
                            r.gain = albumGain;
                            finish(file, r);
                        });
}

} // namespace velmora::cli
