#include "CliCommon.h"
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

#include <charconv>
#include <chrono>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::cli {

namespace {

constexpr const char* kSaveUsage =
    "Usage: velmora-cli save FILE [-o OUTPUT] [--begin POS] [--end POS] [--auto-trim]\n"
    "                        [--gain STEPS] [--fade-in INDEX] [--fade-out INDEX]\n"
    "                        [--wav | --mp3] [--dry-run] [--yes] [--timing]\n"
    "  Without -o the file is saved in place (Save); with -o a new file is written (Save As).\n"
    "  POS        removed at that end: 120 (frames), 5s or 1.5s (seconds), 250ms (milliseconds),\n"
    "             1:30.25 (minutes:seconds), 1:02:03.5 (hours:minutes:seconds); times are cut to\n"
    "             the sample unless CheckBoxExactCut is off\n"
    "  --auto-trim  remove the digital silence at both ends (--begin/--end still win)\n"
    "  --gain     global-gain steps of 1.5 dB, -8 ... 8 (default TrackBarDefaultAmplification)\n"
    "  --fade-in, --fade-out  fade length as a position 0 ... 32 of the fade table\n"
    "  --wav, --mp3  the type of the new file, overriding CheckBoxSaveWAV (with -o only)\n"
    "  --dry-run  print the plan and write nothing\n"
    "  --yes      answer the confirmations the options ask for with Yes\n"
    "  --timing   tell on stderr how long the analysis and the writing took\n"
    "  Added silence, clean-up, tags and the rest come from the settings and --option.\n";

struct SaveArgs {
    std::string file;
    std::string output;
    std::optional<std::string> begin, end;
    bool autoTrim = false;
    std::optional<int> gain;
    int fadeIn = 0, fadeOut = 0;
    std::optional<bool> wav;
    bool dryRun = false;
    bool yes = false;
    bool timing = false;
};

struct UsageError {
    std::string text;
};

bool ParseInt(const std::string& text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

int IntInRange(const std::string& option, const std::string& text, int low, int high) {
    std::int64_t v = 0;
    if (!ParseInt(text, v) || v < low || v > high)
        throw UsageError{option + " takes a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\""};
    return static_cast<int>(v);
}

SaveArgs ParseArgs(const std::vector<std::string>& args) {
    SaveArgs a;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "-o" || arg == "--output")
            a.output = value();
        else if (arg == "--begin")
            a.begin = value();
        else if (arg == "--end")
            a.end = value();
        else if (arg == "--auto-trim")
            a.autoTrim = true;
        else if (arg == "--gain")
            a.gain = IntInRange(arg, value(), -8, 8);
        else if (arg == "--fade-in")
            a.fadeIn = IntInRange(arg, value(), 0, 32);
        else if (arg == "--fade-out")
            a.fadeOut = IntInRange(arg, value(), 0, 32);
        else if (arg == "--wav" || arg == "--mp3") {
            if (a.wav && *a.wav != (arg == "--wav"))
                throw UsageError{"--wav and --mp3 exclude each other"};
            a.wav = arg == "--wav";
        } else if (arg == "--dry-run")
            a.dryRun = true;
        else if (arg == "--yes")
            a.yes = true;
        else if (arg == "--timing")
            a.timing = true;
        else if (!arg.empty() && arg[0] == '-')
            throw UsageError{"unknown option \"" + arg + "\""};
        else if (a.file.empty())
            a.file = arg;
        else
            throw UsageError{"one FILE only"};
    }
    if (a.file.empty())
        throw UsageError{"FILE is missing"};
    if (a.wav && a.output.empty())
        throw UsageError{"--wav and --mp3 choose the type of a new file: use them with -o"};
    return a;
}

// A time as a fraction: numerator / denominator seconds.
struct TimeValue {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
    std::int64_t Milliseconds() const { return static_cast<std::int64_t>(Scaled(1000) / 2); }
    std::int64_t Samples(std::int64_t rate) const {
        return static_cast<std::int64_t>((Scaled(rate) + 1) / 2); // rounded to the nearest
    }

private:
    __int128 Scaled(std::int64_t unit) const {
        return __int128{numerator} * unit * 2 / denominator;
    }
};

// "12" or "12.345": at most 12 digits before the point and 9 after.
std::optional<TimeValue> ParseDecimal(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() || whole.size() > 12 || fraction.size() > 9 ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    TimeValue t;
    for (const std::string_view part : {whole, fraction}) {
        for (const char c : part) {
            if (c < '0' || c > '9')
                return std::nullopt;
            t.numerator = t.numerator * 10 + (c - '0');
        }
    }
    for (std::size_t i = 0; i < fraction.size(); ++i)
        t.denominator *= 10;
    return t;
}

// "1.5s", "250ms", "2.5ms", "1:30.25", "1:02:03.5"; minutes and seconds after a colon below 60.
std::optional<TimeValue> ParseTimeValue(std::string_view text) {
    if (text.ends_with("ms") || text.ends_with("s")) {
        const bool ms = text.ends_with("ms");
        std::optional<TimeValue> t = ParseDecimal(text.substr(0, text.size() - (ms ? 2 : 1)));
        if (t && ms)
            t->denominator *= 1000;
        return t;
    }
    std::int64_t seconds = 0;
    std::size_t colons = 0;
    std::size_t colon;
    while ((colon = text.find(':')) != std::string_view::npos) {
        std::int64_t part = 0;
        const std::string_view digits = text.substr(0, colon);
        if (++colons > 2 || digits.empty() || digits.size() > 9 ||
            !ParseInt(std::string(digits), part) || part < 0 || (colons > 1 && part >= 60))
            return std::nullopt;
        seconds = seconds * 60 + part;
        text.remove_prefix(colon + 1);
    }
    std::optional<TimeValue> t = ParseDecimal(text);
    if (colons == 0 || !t || t->numerator >= 60 * t->denominator)
        return std::nullopt;
    t->numerator += seconds * 60 * t->denominator;
    return t;
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
                                  {.tagsKept = TagsKept::Yes, .outputIsWav = p.outputIsWav});
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
    return std::optional<EarlyCopy>(std::in_place, a.output, std::move(forecast));
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

int Run(CliContext& ctx, const SaveArgs& a, std::ostream& out, std::ostream& err) {
    const Settings& settings = ctx.settings;
    const bool inPlace = a.output.empty();
    if (!inPlace)
        CheckSaveAsTarget(a.file, a.output);

    const auto started = std::chrono::steady_clock::now();
    std::optional<EarlyCopy> early = MakeEarlyCopy(ctx, a);
    OpenResult opened = [&] {
        TerminalProgress progress(BaseName(a.file));
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
        PrintPlan(out, inPlace ? "in place" : a.output, info, trim, display, suggested);
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
    out << (inPlace ? "saved " : "saved as ") << EscapeControls(result.savedPath) << ": "
        << result.outputFrames << " frames (" << FormatLength(first, result.outputFrames) << "), "
        << result.outputSize << " bytes";
    if (inPlace)
        out << ", " << display.plan.bytesSaved << " bytes saved";
    out << "\n";
    if (result.gainSteps != planned.gain)
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

} // namespace

int CmdSave(CliContext& ctx, std::ostream& out, std::ostream& err) {
    if (AsksForHelp(ctx.args)) {
        out << kSaveUsage;
        return 0;
    }
    try {
        const SaveArgs a = ParseArgs(ctx.args);
        return Run(ctx, a, out, err);
    } catch (const UsageError& e) {
        err << "velmora-cli save: " << e.text << "\n" << kSaveUsage;
        return 2;
    }
}

} // namespace velmora::cli
