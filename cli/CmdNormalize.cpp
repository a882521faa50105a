#include "CliCommon.h"
#include "UnitBatchLog.h"
#include "UnitPath.h"

#include "UnitFileView.h"
#include "UnitID3v2.h"
#include "UnitOpenAudio.h"
#include "UnitScanner.h"
#include "UnitVolume.h"
#include "VelmoraError.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace velmora::cli {

namespace {

constexpr const char* kNormalizeUsage =
    "Usage: velmora-cli normalize [--json] [--files-from FILE [-0]] [--shard K/N] FILE...\n"
    "  Decodes every frame of each file and prints the normalisation caption, the value in dB,\n"
    "  the amplification step and the peak level, for the normalisation options in effect.\n"
    "  --json  one JSON object per file, one per line; a file that fails gives\n"
    "          {\"file\": ..., \"error\": ...}; a name that is not UTF-8 comes exactly as\n"
    "          hexadecimal bytes in \"fileBytes\" as well\n" VELMORA_INPUT_OPTIONS_USAGE;

// Opens the file as the editor does (tags, RIFF header, scan attempts). The full decode that
// follows measures every frame, so the open needs no tail decode of its own.
StreamInfo OpenForAnalysis(const std::string& path, const CliContext& ctx, IProgress& progress) {
    return std::move(
        OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress, {TailDecode::Skip}).info);
}

struct NormalizeRecord {
    NormalizationResult normalization;
    std::int64_t samples = 0;
    std::int64_t refusedFrames = 0;
};

NormalizeRecord Normalize(const std::string& path, const CliContext& ctx) {
    TerminalProgress progress(BaseName(path));
    StreamInfo info = OpenForAnalysis(path, ctx, progress);
    const VolumeAnalysis analysis = AnalyseVolume(
        path, info, 0, info.frameCount, VolumeScope::Levels, ctx.settings, ctx.messages, progress);
    return {ComputeNormalization(analysis, ctx.settings), analysis.sampleCount,
            analysis.refusedFrames};
}

std::string Fixed(double value, const char* format) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string StepText(const NormalizationResult& n, const char* none) {
    return n.amplificationPosition ? std::to_string(*n.amplificationPosition) : none;
}

std::string Json(const std::string& file, const NormalizeRecord& r) {
    const NormalizationResult& n = r.normalization;
    return "{" + JsonFileFields(file) + ", \"caption\": " + JsonString(n.caption) +
           ", \"normalizationValue\": " + Fixed(n.NormalizationValue, "%.4f") +
           ", \"step\": " + StepText(n, "null") + ", \"peak\": " + std::to_string(n.peak) +
           ", \"samples\": " + std::to_string(r.samples) +
           ", \"refusedFrames\": " + std::to_string(r.refusedFrames) + "}";
}

std::string Plain(const std::string& file, const NormalizeRecord& r) {
    const NormalizationResult& n = r.normalization;
    return EscapeControls(file) + ": " + n.caption + "  value " +
           Fixed(n.NormalizationValue, "%.1f") + " dB  step " + StepText(n, "-") + "  peak " +
           std::to_string(n.peak);
}

} // namespace

int CmdNormalize(CliContext& ctx, std::ostream& out, std::ostream& err) {
    FileListArgs parsed;
    if (const auto stop = ParseFileListArgs(ctx.args, kNormalizeUsage, parsed, out, err))
        return *stop;
    return RunFileBatch(parsed.files, {parsed.json, "velmora-cli: "}, out, err,
                        [&](const std::string& file) {
                            const NormalizeRecord r = Normalize(file, ctx);
                            out << (parsed.json ? Json(file, r) : Plain(file, r)) << "\n";
                        });
}

} // namespace velmora::cli
