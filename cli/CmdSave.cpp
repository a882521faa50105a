#include "CliCommon.h"
#include "CliTime.h"
#include "UnitBatchLog.h"
#include "UnitPath.h"

#include "UnitMP3.h"
#include "UnitOpenAudio.h"
#include "UnitOutputPlan.h"
#include "UnitSilence.h"
#include "UnitTrackLength.h"
#include "UnitVolume.h"
#include "UnitWriter.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::cli {

namespace {

struct UsageError {
    std::string text;
};

bool ParseInt(const std::string& text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

// A position in frames (for the frame cut) and in samples (for the exact cut).
struct Position {
    std::int64_t frames = 0;
    std::int64_t samples = 0;
};

// "120" frames, "5s" whole seconds (rounded up to frames), "1500ms" (truncated to frames); with a
// fraction or in clock form ("1.5s", "2.5ms", "1:30.25", "1:02:03.5") truncated to frames.
Position ParsePosition(const std::string& option, const std::string& text,
                       const MpegHeader& first) {
    std::int64_t v = 0;
    const std::int64_t spf = SamplesPerFrame(first);
    if (ParseInt(text, v) && v >= 0)
        return {v, v * spf};
    if (text.size() > 1 && text.ends_with("s") && !text.ends_with("ms") &&
        ParseInt(text.substr(0, text.size() - 1), v) && v >= 0)
        return {SecondsToFrames(first, v), v * first.sampleRate};
    const std::optional<TimeValue> t = ParseTimeValue(text);
    if (!t)
        throw UsageError{option +
                         " takes frames (120), seconds (5s, 1.5s), milliseconds (250ms) or a "
                         "clock time (1:30.25, 1:02:03.5), not \"" +
                         text + "\""};
    return {MillisecondsToFrames(first, t->Milliseconds()), t->Samples(first.sampleRate)};
}

// The questions the editor would ask; without --yes a question stops the save, or on a terminal
// the user answers it.
bool Confirm(const std::vector<std::string>& questions, bool yes, std::ostream& err) {
    for (const std::string& q : questions) {
        if (yes)
            continue;
        err << q << "\n";
        if (!isatty(STDIN_FILENO)) {
            err << "velmora-cli: not saved; add --yes to answer Yes\n";
            return false;
        }
        err << "[y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer) || (answer != "y" && answer != "Y" && answer != "yes"))
            return false;
    }
    return true;
}

// What a save of `info` does. Decided the same way from the forecast of an open under way
// (where the early copy puts the frames) and from the finished analysis.
struct SavePlan {
    TrimPoints trim;
    std::optional<std::int64_t> beginSamples, endSamples; // removed at each end, when given
    int gain = 0;
    bool outputIsWav = false;
    OutputPlanDisplay display;
};

SavePlan PlanSave(const StreamInfo& info, const SaveArgs& a, const Settings& settings) {
    const MpegHeader& first = info.firstHeader;
    SavePlan p;
    if (a.autoTrim)
        p.trim = AutoTrim(info, settings, OperationState::Idle).value_or(TrimPoints{});
    if (a.begin) {
        const Position begin = ParsePosition("--begin", *a.begin, first);
        p.trim.beginFrames = begin.frames;
        p.beginSamples = begin.samples;
    }
    if (a.end) {
        const Position end = ParsePosition("--end", *a.end, first);
        p.trim.endFrames = end.frames;
        p.endSamples = end.samples;
    }
    if (p.trim.beginFrames + p.trim.endFrames > info.frameCount)
        throw VelmoraError("The trim points remove " +
                           std::to_string(p.trim.beginFrames + p.trim.endFrames) +
                           " frames, but the file has only " + std::to_string(info.frameCount));

    // Volume and fades exist only for Layer III.
    const bool layer3 = first.layerId == kLayer3;
    if (!layer3 && ((a.gain && *a.gain != 0) || a.fadeIn != 0 || a.fadeOut != 0))
        throw VelmoraError("Volume changes and fades work on Layer III streams only");
    p.gain = layer3 ? a.gain.value_or(settings.TrackBarDefaultAmplification) : 0;

    const bool defaultWav = OutputIsWav(settings, first.layerId, std::nullopt);
    p.outputIsWav =
        a.wav && *a.wav != defaultWav ? OutputIsWav(settings, first.layerId, a.wav) : defaultWav;
    p.display = ComputeOutputPlan(info, p.trim, settings,
                                  {.tagsKept = TagsKept::Yes,
                                   .outputIsWav = p.outputIsWav,
                                   .gainSteps = p.gain,
                                   .recordGainUndo = true});
    return p;
}

// The writer's parameters for the save `p` of `info`, its cut points to the sample.
WriteParams SaveParams(const StreamInfo& info, const SaveArgs& a, const SavePlan& p,
                       const Settings& settings) {
    WriteParams params = MakeSaveParams(a.file, a.output, info, p.trim, p.display.plan, settings,
                                        p.gain, a.fadeIn, a.fadeOut);
    if (p.beginSamples)
        params.beginSample = *p.beginSamples;
    if (p.endSamples)
        params.endSample = std::max(params.beginSample, DecodedSamples(info) - *p.endSamples);
    return params;
}

// A Save As of frames copied unchanged starts writing while the file is being analysed.
std::optional<EarlyCopy> MakeEarlyCopy(CliContext& ctx, const SaveArgs& a) {
    const Settings& settings = ctx.settings;
    if (a.output.empty() || a.dryRun || a.autoTrim || a.fadeIn != 0 || a.fadeOut != 0 ||
        a.gain.value_or(settings.TrackBarDefaultAmplification) != 0)
        return std::nullopt;
    // Not while a question may keep the process waiting with the copy beside the target.
    if (struct stat st{};
        settings.CheckBoxOverwriteAsk && !a.yes && ::stat(a.output.c_str(), &st) == 0)
        return std::nullopt;
    EarlyCopy::Forecast forecast;
    forecast.startFrame = [&a](const MpegHeader& first) -> std::int64_t {
        return a.begin ? ParsePosition("--begin", *a.begin, first).frames : 0;
    };
    forecast.place = [&a, &ctx](const StreamInfo& info) {
        const SavePlan p = PlanSave(info, a, ctx.settings);
        return PlaceEarlyCopy(SaveParams(info, a, p, ctx.settings), info,
                              {ctx.settings, ctx.messages, p.outputIsWav, true});
    };
    return std::optional<EarlyCopy>(std::in_place, a.file, a.output, std::move(forecast));
}

void PrintPlan(std::ostream& out, const std::string& target, const StreamInfo& info,
               const TrimPoints& trim, const OutputPlanDisplay& display,
               const std::string& suggested) {
    const OutputPlan& plan = display.plan;
    const MpegHeader& first = info.firstHeader;
    out << "target: " << EscapeControls(target) << "\n";
    out << "trim: begin " << trim.beginFrames << " frames, end " << trim.endFrames << " frames\n";
    out << "added silence: " << plan.silenceBeginFrames << " + " << plan.silenceEndFrames
        << " frames\n";
    out << "output frames: " << plan.outputFrames << "\n";
    out << "output length: " << FormatLength(first, plan.outputFrames) << " ("
        << FormatLengthWords(first, plan.outputFrames) << ")\n";
    out << "predicted size: " << plan.predictedSize << " bytes\n";
    out << "space saved: " << display.LabelSpaceSaved << " (" << plan.bytesSaved << " bytes)\n";
    out << "suggested Save As name: " << EscapeControls(suggested) << "\n";
}

int Run(CliContext& ctx, const SaveArgs& a, std::ostream& out, std::ostream& err,
        std::string* written = nullptr) {
    const Settings& settings = ctx.settings;
    const bool inPlace = a.output.empty();
    if (!inPlace && a.output != "-")
        CheckSaveAsTarget(a.file, a.output);

    const auto started = std::chrono::steady_clock::now();
    std::optional<EarlyCopy> early = MakeEarlyCopy(ctx, a);
    OpenResult opened = [&] {
        TerminalProgress progress("reading " + BaseName(a.file));
        // Decoding the last frames serves the automatic trim only (their energies, the ending);
        // a save at given trim points writes the same file without it.
        return OpenWithTailAnalysis(a.file, settings, ctx.messages, progress,
                                    {a.autoTrim ? TailDecode::Decode : TailDecode::Skip, nullptr,
                                     early ? &*early : nullptr});
    }();
    const auto analysed = std::chrono::steady_clock::now();
    StreamInfo& info = opened.info;
    const MpegHeader& first = info.firstHeader;
    for (const OpenWarning w : opened.warnings)
        err << "velmora-cli: warning: " << MessageTable::Join(OpenWarningText(ctx.messages, w))
            << "\n";

    const SavePlan planned = PlanSave(info, a, settings);
    const TrimPoints& trim = planned.trim;
    const bool outputIsWav = planned.outputIsWav;
    const OutputPlanDisplay& display = planned.display;
    if (trim.beginFrames > 0 && info.mp3Pro && settings.CheckBoxWarnWhenTrimBeginning_mp3PRO)
        err << "velmora-cli: warning: " << MessageTable::Join(ctx.messages.MessageDlg_mp3PROwarning)
            << "\n";
    const std::string suggested =
        SuggestSaveAsName(BaseName(a.file), settings, outputIsWav,
                          FormatLengthWords(first, display.plan.outputFrames));
    if (a.dryRun) {
        out << "file: " << EscapeControls(a.file) << "\n";
        PrintPlan(out,
                  inPlace           ? "in place"
                  : a.output == "-" ? "standard output"
                                    : a.output,
                  info, trim, display, suggested);
        return 0;
    }

    std::vector<std::string> questions;
    if (inPlace) {
        questions = SaveQuestions(a.file, settings, outputIsWav, info.riffHeaderSize, ctx.messages);
    } else if (struct stat st{};
               settings.CheckBoxOverwriteAsk && ::stat(a.output.c_str(), &st) == 0) {
        questions.push_back(a.output + " already exists.\nDo you want to replace it?");
    }
    if (!Confirm(questions, a.yes, err))
        return 1;

    WriteParams params = SaveParams(info, a, planned, settings);
    params.earlyCopy = early ? &*early : nullptr;
    params.recordGainUndo = true;
    // The command closes the file after the save: no model to bring up to date.
    params.closeAfterSave = true;
    const WriteContext context{settings, ctx.messages, outputIsWav, true};
    WriteResult result;
    {
        TerminalProgress progress("saving " + BaseName(inPlace ? a.file : a.output));
        result = WriteOutput(params, info, context, progress);
    }
    if (a.timing) {
        using Ms = std::chrono::duration<double, std::milli>;
        err << "timing: analysis " << Ms(analysed - started).count() << " ms, writing "
            << Ms(std::chrono::steady_clock::now() - analysed).count() << " ms"
            << (early && early->Used() ? " (frames copied during the analysis)" : "") << "\n";
    }
    if (result.nothingToDo) {
        out << EscapeControls(a.file) << ": nothing to change, the file was left as it was\n";
        return 0;
    }
    if (written)
        *written = result.savedPath;
    out << (inPlace ? "saved " : "saved as ")
        << (written ? std::string("standard output") : EscapeControls(result.savedPath)) << ": "
        << result.outputFrames << " frames (" << FormatLength(first, result.outputFrames) << "), "
        << result.outputSize << " bytes";
    if (inPlace)
        out << ", " << display.plan.bytesSaved << " bytes saved";
    out << "\n";
    if (result.gainSteps != AppliedGainSteps(info, params.frameCount, planned.gain))
        err << "velmora-cli: warning: the gain was limited to " << result.gainSteps
            << " steps: more would take a frame's global_gain to its end, where no undo could "
               "bring it back\n";
    for (const std::string& note : result.tagNotes)
        err << "velmora-cli: note: " << note << "\n";
    if (!result.exactCutWarning.empty())
        err << "velmora-cli: warning: " << result.exactCutWarning << "\n";
    if (!result.renameProblem.empty())
        err << "velmora-cli: warning: the file keeps its name: " << result.renameProblem << "\n";
    return 0;
}

// A folder of its own under $TMPDIR for a file written to standard output, removed with it.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-cli.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw VelmoraError(std::string(std::strerror(errno)) +
                               " - Could not create a temporary folder in " + pattern);
        m_path = pattern;
    }
    ~ScratchFolder() {
        if (DIR* dir = ::opendir(m_path.c_str())) {
            while (const dirent* entry = ::readdir(dir))
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    ::unlink((m_path + "/" + entry->d_name).c_str());
            ::closedir(dir);
        }
        ::rmdir(m_path.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void CopyToStream(const std::string& path, std::ostream& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw VelmoraError(std::string(std::strerror(errno)) + " - Could not read " + path);
    out << file.rdbuf();
    out.flush();
    if (!out)
        throw VelmoraError("Could not write to standard output");
}

} // namespace

int CmdSave(CliContext& ctx, const SaveArgs& a, std::ostream& out, std::ostream& err) {
    try {
        if (a.output != "-" || a.dryRun)
            return Run(ctx, a, out, err);
        if (ctx.outputIsTerminal) {
            err << "velmora-cli: save: -o - writes the audio to standard output, which is a "
                   "terminal: redirect it (> FILE, | COMMAND) or give -o FILE\n";
            return 2;
        }
        // The writer needs a file it can seek in; the finished file is streamed out.
        ScratchFolder scratch;
        SaveArgs toFile = a;
        toFile.output = scratch.Path(BaseName(a.file));
        std::ostream none(nullptr);
        std::string written;
        const int status = Run(ctx, toFile, ctx.quiet ? none : err, err, &written);
        if (status == 0 && !written.empty())
            CopyToStream(written, out);
        return status;
    } catch (const UsageError& e) {
        err << "velmora-cli: save: " << e.text << " (see \"velmora-cli save --help\")\n";
        return 2;
    }
}

} // namespace velmora::cli
