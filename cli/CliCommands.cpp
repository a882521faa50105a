// Every command's options: names, values, checks and help texts.

#include "CliParser.h"
#include "CliTime.h"
#include "UnitOptionRules.h"
#include "UnitOptions.h"
#include "UnitTrackNames.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <map>

namespace velmora::cli {

namespace {

using Take = std::function<void(const std::string&)>;

[[noreturn]] void Refuse(const std::string& option, const std::string& wants,
                         const std::string& text) {
    throw CLI::ValidationError(option + " takes " + wants + ", not \"" + text + "\"");
}

// An option with a value that `take` checks and keeps.
CLI::Option* Value(CLI::App& app, const std::string& names, const std::string& valueName,
                   const std::string& description, Take take) {
    return TakeLast(app.add_option_function<std::string>(names, std::move(take), description))
        ->type_name(valueName);
}

CLI::Option* Text(CLI::App& app, const std::string& names, const std::string& valueName,
                  std::string& target, const std::string& description) {
    return Value(app, names, valueName, description, [&target, names](const std::string& v) {
        if (v.empty())
            Refuse(names.substr(names.rfind(',') + 1), "a name", v);
        target = v;
    });
}

int WholeNumber(const std::string& option, const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || value < low || value > high)
        Refuse(option, "a whole number from " + std::to_string(low) + " to " + std::to_string(high),
               text);
    return value;
}

double Decibels(const std::string& option, const std::string& text, double low, double high) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(value) ||
        value < low || value > high)
        Refuse(option,
               "a number from " + std::to_string(static_cast<int>(low)) + " to " +
                   std::to_string(static_cast<int>(high)),
               text);
    return value;
}

void GainAndFades(CLI::App& c, std::optional<int>& gain, int& fadeIn, int& fadeOut) {
    Value(c, "--gain", "STEPS",
          "global-gain steps of 1.5 dB, -8 ... 8 (default: TrackBarDefaultAmplification, 0)",
          [&gain](const std::string& v) { gain = WholeNumber("--gain", v, -8, 8); });
    Value(c, "--fade-in", "INDEX", "fade-in length as a position 0 ... 32 of the fade table",
          [&fadeIn](const std::string& v) { fadeIn = WholeNumber("--fade-in", v, 0, 32); });
    Value(c, "--fade-out", "INDEX", "fade-out length, as --fade-in",
          [&fadeOut](const std::string& v) { fadeOut = WholeNumber("--fade-out", v, 0, 32); });
}

void InputOptions(CLI::App& c, InputSelection& inputs, const char* extra = "") {
    Value(c, "--files-from", "FILE",
          "the names in FILE as well, one per line (\"-\": standard input)",
          [&inputs](const std::string& v) {
              if (v.empty())
                  throw CLI::ValidationError(
                      "--files-from needs a file name (\"-\" for standard input)");
              inputs.filesFrom = v;
          });
    c.add_flag_callback(
        "-0,--null", [&inputs] { inputs.nulSeparated = true; },
        "the names in the --files-from list are separated by NUL bytes (find -print0)");
    Value(c, "--shard", "K/N",
          std::string("only part K of N (K from 1 to N) of the files: N runs, one for each K, "
                      "take every file exactly once; a file's part follows from the bytes of its "
                      "name alone, so give every run the same names") +
              extra,
          [&inputs](const std::string& v) {
              inputs.shard = ParseShard(v);
              if (!inputs.shard)
                  Refuse("--shard", "K/N with K from 1 to N", v);
          });
}

// --json, or --json=display for the display texts as well.
void JsonFlag(CLI::App& c, bool& json, bool& display, const std::string& description) {
    c.add_flag("--json{plain}", description)
        ->type_name("[=display]")
        ->each([&json, &display](const std::string& v) {
            if (v != "plain" && v != "display")
                throw CLI::ValidationError("--json takes =display or nothing, not \"" + v + "\"");
            json = true;
            display = display || v == "display";
        });
}

void FileList(CLI::App& c, FileListArgs& a, const std::string& json) {
    JsonFlag(c, a.json, a.jsonDisplay, json + "; --json=display adds the texts the editor shows");
    InputOptions(c, a.inputs);
    c.add_option("FILE", a.files, "the files")->type_name("FILE...");
}

Take DurationInto(std::optional<std::string>& target, const char* option) {
    return [&target, option](const std::string& v) {
        if (!ParseDuration(v))
            Refuse(option,
                   "seconds (20, 1.5, 20s), milliseconds (500ms), a clock time (1:30) or "
                   "frames (25f)",
                   v);
        target = v;
    };
}

void GapOptions(CLI::App& c, GapArgs& g, CLI::Option* needs = nullptr) {
    CLI::Option* options[] = {
        Value(c, "--threshold", "DB",
              "a frame is quiet when its level is below DB dBFS (RMS), -100 ... 0; default "
              "\"auto\": below the level under which the quietest sixteenth of the frames lie "
              "(digital silence in a recording that has some)",
              [&g](const std::string& v) {
                  if (v == "auto")
                      g.thresholdDb.reset();
                  else
                      g.thresholdDb = Decibels("--threshold", v, -100, 0);
              }),
        Value(c, "--min-gap", "TIME",
              "the shortest run of quiet frames that counts as a gap (default 20f, about 0.5 s); "
              "the split falls in its middle",
              DurationInto(g.minGap, "--min-gap")),
        Value(c, "--min-track", "TIME",
              "the shortest track: gaps nearer than this to the start, the end or a gap "
              "already chosen are passed over, the longer gaps chosen first (default: "
              "SpinEditMinimumCueTrackLength, 60 s; 0 means 10 frames)",
              DurationInto(g.minTrack, "--min-track")),
    };
    if (needs)
        for (CLI::Option* o : options)
            o->needs(needs);
}

void DeclareInfo(CLI::App& c, InfoArgs& a) {
    FileList(c, a.files,
             "one JSON object per file, one per line (JSON Lines); a file that fails gives "
             "{\"file\": ..., \"error\": ...}; a name that is not UTF-8 comes exactly as "
             "hexadecimal bytes in \"fileBytes\" as well");
    c.add_flag("--loudness", a.loudness,
               "also decode every frame and give the EBU R128 loudness: integrated (LUFS), range "
               "(LU) and true peak (dBTP)");
}

void DeclareNormalize(CLI::App& c, NormalizeArgs& a) {
    FileList(c, a.files,
             "one JSON object per file, one per line; a file that fails gives {\"file\": ..., "
             "\"error\": ...}");
    Value(c, "--lufs", "TARGET",
          "the loudness target in LUFS, -70 ... 0 (default: ComboBoxLoudnessTarget, -18, the "
          "ReplayGain 2.0 reference; -14, -16 and -23 are common): the loudness step is the "
          "number of 1.5 dB steps that comes nearest it",
          [&a](const std::string& v) { a.target = Decibels("--lufs", v, -70, 0); });
    Value(c, "--ceiling", "DBTP",
          "the true peak the step may not pass, in dBTP, -70 ... 0 (default: "
          "ComboBoxTruePeakCeiling, -1)",
          [&a](const std::string& v) { a.ceiling = Decibels("--ceiling", v, -70, 0); });
    c.add_flag("--album", a.album, "measure the files as one programme: one loudness step for all");
    c.add_flag("--apply", a.apply,
               "save the step into each file in place: the loudness step with --lufs or "
               "--album, otherwise the amplification step");
}

void DeclareSettings(CLI::App& c, SettingsArgs& a) {
    c.add_flag("--json", a.json, "list as JSON, on one line");
    c.add_option("--set", a.sets,
                 "check VALUE as the Options window would and write it to the settings store "
                 "(switches take on/off/true/false/-1/0/1); repeatable")
        ->type_name("NAME=VALUE")
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false);
    const auto path = [](std::optional<std::string>& target) {
        return [&target](const std::vector<std::string>& v) {
            target = v.empty() ? std::string() : v.back();
        };
    };
    c.add_option_function<std::vector<std::string>>(
         "--export", path(a.exportPath),
         "write every option to the settings file (default: Velmora.ini in the program folder, "
         "or in the settings store's folder when the program folder is not writable), section "
         "[Velmora]")
        ->type_name("[PATH]")
        ->expected(0, 1);
    c.add_option_function<std::vector<std::string>>(
         "--import", path(a.importPath),
         "read the options the settings file holds and write them to the store")
        ->type_name("[PATH]")
        ->expected(0, 1);
}

void DeclareSave(CLI::App& c, SaveArgs& a) {
    c.add_option("FILE", a.file, "the file")->required()->type_name("FILE");
    Text(c, "-o,--output", "OUTPUT", a.output,
         "write a new file (Save As) instead of saving in place; \"-\" writes it to standard "
         "output (not to a terminal)");
    const auto position = [](std::optional<std::string>& target, const char* option) {
        return [&target, option](const std::string& v) {
            std::int64_t frames = 0;
            const auto r = std::from_chars(v.data(), v.data() + v.size(), frames);
            const bool whole = !v.empty() && r.ec == std::errc() && r.ptr == v.data() + v.size();
            if (!(whole && frames >= 0) && !ParseTimeValue(v))
                Refuse(option,
                       "frames (120), seconds (5s, 1.5s), milliseconds (250ms) or a clock time "
                       "(1:30.25, 1:02:03.5)",
                       v);
            target = v;
        };
    };
    Value(c, "--begin", "POS",
          "remove the beginning up to POS: 120 (frames), 5s or 1.5s (seconds), 250ms, 1:30.25 "
          "(minutes:seconds), 1:02:03.5 (hours:minutes:seconds); times are cut to the sample "
          "unless CheckBoxExactCut is off",
          position(a.begin, "--begin"));
    Value(c, "--end", "POS", "remove the end from POS before it, as --begin",
          position(a.end, "--end"));
    c.add_flag("--auto-trim", a.autoTrim,
               "remove the digital silence at both ends (--begin and --end still win)");
    GainAndFades(c, a.gain, a.fadeIn, a.fadeOut);
    const auto type = [&a](bool wav) {
        return [&a, wav] {
            if (a.wav && *a.wav != wav)
                throw CLI::ValidationError("--wav and --mp3 exclude each other");
            a.wav = wav;
        };
    };
    c.add_flag_callback("--wav", type(true),
                        "write the new file as WAV, whatever CheckBoxSaveWAV says");
    c.add_flag_callback("--mp3", type(false),
                        "write the new file as MP3, whatever CheckBoxSaveWAV says");
    c.add_flag("-n,--dry-run", a.dryRun, "print the plan and write nothing");
    c.add_flag("-y,--yes", a.yes, "answer the confirmations the options ask for with Yes");
    c.add_flag("--timing", a.timing, "tell on stderr how long the analysis and the writing took");
}

void DeclareCue(CLI::App& c, CueArgs& a) {
    c.add_option("FILE", a.file, "the file")->required()->type_name("FILE");
    c.add_flag("--json", a.json,
               "print the tracks as one JSON object instead of the sheet (the sheet is written "
               "all the same)");
    GapOptions(c, a.gaps);
}

void DeclareSplit(CLI::App& c, SplitArgs& a) {
    c.add_option("FILE", a.file, "the file")->required()->type_name("FILE");
    CLI::Option* chapters =
        c.add_flag("--chapters", a.chapters,
                   "one file per chapter of FILE's ID3v2 tag instead, named by its title");
    CLI::Option* silence = c.add_flag(
        "--silence", a.silence,
        "find the quiet gaps as cue does and split there, without a sheet (the gap options "
        "below apply)");
    chapters->excludes(silence);
    Text(c, "-d,--output-dir", "DIR", a.outputDir,
         "write the tracks into DIR (made when missing) instead of the folder named after the "
         "album");
    Value(c, "--names", "PATTERN",
          std::string("name the tracks by PATTERN, with the fields ") + kTrackNameFields +
              " (\"/\" makes folders inside the output folder; \"..\" is refused); \".mp3\" or "
              "\".wav\" is added (default: the sheet's \"{track} {performer} - {title}\")",
          [&a](const std::string& v) {
              if (const std::string problem = NamePatternProblem(v); !problem.empty())
                  throw CLI::ValidationError("--names: " + problem);
              a.names = v;
          });
    c.add_flag("--overwrite", a.overwrite,
               "replace existing track files (never FILE itself); without it a track file that "
               "exists stops the split before anything is written");
    c.add_flag("--no-tags", a.noTags,
               "write no ID3v2 tag into the tracks (by default each MP3 track gets title, "
               "performer, album and track number n/N from the sheet, over the source's other "
               "ID3v2 frames when CheckBoxKeepID3v2 is on)");
    GainAndFades(c, a.gain, a.fadeIn, a.fadeOut);
    GapOptions(c, a.gaps, silence);
}

void DeclareChapters(CLI::App& c, ChaptersArgs& a) {
    c.add_option("FILE", a.file, "the file")->required()->type_name("FILE");
    Text(c, "--from-cue", "SHEET", a.sheet, "the CUE sheet the chapters come from (needed)");
}

void DeclareBatch(CLI::App& c, BatchArgs& a) {
    Value(c, "-j,--jobs", "N", "files processed at once, 1 ... 256 (default: one per core)",
          [&a](const std::string& v) { a.jobs = WholeNumber("--jobs", v, 1, 256); });
    JsonFlag(c, a.json, a.jsonDisplay,
             "one JSON object per file, in the order of the files; --json=display adds the texts "
             "the LOG shows");
    Text(c, "--log", "FILE", a.log,
         "the LOG file written with CheckBoxBatchCreateLOG (default: Velmora.batch.log in the "
         "settings folder); a file that is one of the PATHs, or that holds something other "
         "than a LOG, is refused");
    c.add_flag("--overwrite", a.overwrite,
               "the CUE split replaces existing track files (never the ones this batch wrote, "
               "never the file being split); without it such a file fails");
    InputOptions(c, a.inputs, " (with folders, the parts are taken among the files found in them)");
    c.add_option("PATH", a.paths, "files and folders")->type_name("PATH...");
}

const std::map<std::string, CommandDoc>& Docs() {
    static const std::map<std::string, CommandDoc> docs = {
        {"info",
         {"[OPTIONS] FILE...",
          "Opens each file as the editor does and prints what its information display and "
          "advanced pages show, the ending, and what saving it now would produce.",
          ""}},
        {"settings",
         {"[--json] | [--import [PATH]] [--set NAME=VALUE]... [--export [PATH]]",
          "Without an action, lists every stored option by its name and its stored name, with "
          "its value and default. Either name is taken wherever an option is named.",
          "The store is $VELMORA_CONFIG_DIR/Velmora.reg, else "
          "$XDG_CONFIG_HOME/Velmora/Velmora.reg, else ~/.config/Velmora/Velmora.reg. --defaults "
          "starts from the defaults instead of the store; --option NAME=VALUE changes a value "
          "for this run only and is never written."}},
        {"normalize",
         {"[OPTIONS] FILE...",
          "Decodes every frame of each file once and prints the normalisation caption, the "
          "value in dB, the amplification step and the peak level, for the normalisation "
          "options in effect, and the EBU R128 loudness: integrated (LUFS), range (LU) and true "
          "peak (dBTP).",
          ""}},
        {"save",
         {"FILE [OPTIONS]",
          "Without -o the file is saved in place (Save); with -o a new file is written (Save "
          "As).",
          "Added silence, clean-up, tags and the rest come from the settings and --option."}},
        {"cue",
         {"FILE [OPTIONS]",
          "Finds the quiet gaps of FILE, writes FILE's name with \".cue\" beside it and prints "
          "it. Every frame is decoded; with CheckBoxAutoDetectSilence the silent ends are left "
          "out of that analysis.",
          "The longest gap that keeps --min-track from the ends is chosen first, then the "
          "longest of the rest that keeps --min-track from the ends and from every gap chosen, "
          "and so on, up to 98 gaps. A file of 20-second songs needs --min-track below 20."}},
        {"split",
         {"FILE [OPTIONS]",
          "Writes one file per track of the CUE sheet beside FILE (FILE's name with \".cue\") "
          "or embedded in its ID3v2 tag, into a folder named after the album, and prints each "
          "one.",
          "Options: RadioGroupCueSplit (1: the middle 30 s of each track), CheckBoxCleanup, "
          "ComboBoxAddSilenceBeginning, ComboBoxAddSilenceEnd, CheckBoxSaveWAV."}},
        {"chapters",
         {"FILE --from-cue SHEET",
          "Writes one ID3v2 chapter (CHAP) per track of SHEET into FILE's ID3v2 tag, from its "
          "INDEX 01 to the next track's, titled by its TITLE, and a table of contents (CTOC) "
          "listing them; the tag's chapters before are replaced, its other frames kept.\n"
          "Prints one line per chapter: start, end, title.",
          ""}},
        {"undo",
         {"[OPTIONS] FILE...",
          "Reverses the gain changes recorded in each file's APE item MP3GAIN_UNDO (written by "
          "every gain change of this program, and by other lossless volume tools), in place; "
          "the ReplayGain values follow and the item goes.",
          ""}},
        {"batch",
         {"[OPTIONS] PATH...",
          "Takes every file, and the files of every folder, through the batch steps the options "
          "ask for: CheckBoxBatchRemoveSilence, CheckBoxBatchVolumeNormalize, "
          "TrackBarBatchFadeIn/Out, the save in place (none with CheckBoxBatchTestRun), "
          "CheckBoxBatchSplitCUE, CheckBoxBatchCreateThumbnail, CheckBoxBatchMoveAbrupt; folders "
          "by CheckBoxProcessSubfolders, CheckBoxProcessOnly and EditBatchProcessOnlyFiles.",
          "Ctrl+C lets the files being written finish and starts no other. The exit status is "
          "0 only when no file failed."}},
    };
    return docs;
}

} // namespace

const CommandDoc& DocOf(const std::string& command) {
    static const CommandDoc none{"", "", ""};
    const auto it = Docs().find(command);
    return it != Docs().end() ? it->second : none;
}

void DeclareGlobalOptions(CLI::App& app, GlobalArgs& global) {
    app.add_flag("--defaults", global.defaults,
                 "start from the default settings instead of the settings store");
    app.add_option("--option", global.overrides,
                   "change an option for this run only (\"settings\" lists them); repeatable")
        ->type_name("NAME=VALUE")
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false);
    app.add_flag("-q,--quiet", global.quiet, "no progress bars and no notes on stderr");
}

void DeclareCommands(CLI::App& app, CommandLine& line) {
    DeclareInfo(*app.add_subcommand("info", "what the scan finds in each file"), line.info);
    DeclareSettings(*app.add_subcommand("settings", "list, set, import and export the options"),
                    line.settings);
    DeclareNormalize(*app.add_subcommand("normalize", "the normalisation value and the loudness"),
                     line.normalize);
    DeclareSave(*app.add_subcommand("save", "trim, change the volume, fade and save"), line.save);
    DeclareCue(*app.add_subcommand("cue", "write a CUE sheet from the quiet gaps"), line.cue);
    DeclareSplit(*app.add_subcommand(
                     "split", "split by the CUE sheet beside or in the file, by chapters or by "
                              "the quiet gaps"),
                 line.split);
    DeclareChapters(
        *app.add_subcommand("chapters", "write chapters from a CUE sheet into the ID3v2 tag"),
        line.chapters);
    FileList(*app.add_subcommand("undo", "reverse the recorded gain changes"), line.undo.files,
             "one JSON object per file, one per line");
    DeclareBatch(*app.add_subcommand("batch", "the batch steps over files and folders"),
                 line.batch);
}

namespace {

// Why NAME=VALUE names no option or a value it refuses, or "".
std::string AssignmentProblem(const char* option, const std::string& assignment) {
    if (assignment.find('=') == std::string::npos)
        return std::string(option) + " takes NAME=VALUE, not \"" + assignment + "\"";
    Settings scratch;
    try {
        AssignOption(scratch, assignment);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace

std::string CheckCommand(const CommandLine& line) {
    const std::string& c = line.command;
    for (const std::string& o : line.global.overrides)
        if (std::string problem = AssignmentProblem("--option", o); !problem.empty())
            return problem;
    for (const std::string& s : line.settings.sets)
        if (std::string problem = AssignmentProblem("--set", s);
            c == "settings" && !problem.empty())
            return problem;
    const auto noFiles = [](const FileListArgs& f) {
        return f.files.empty() && !f.inputs.filesFrom;
    };
    if ((c == "info" && noFiles(line.info.files)) || (c == "undo" && noFiles(line.undo.files)) ||
        (c == "normalize" && noFiles(line.normalize.files)))
        return "FILE is missing";
    if (c == "chapters" && line.chapters.sheet.empty())
        return "--from-cue SHEET is missing";
    if (c == "batch" && line.batch.paths.empty() && !line.batch.inputs.filesFrom)
        return "PATH is missing";
    if (c == "save" && line.save.wav && line.save.output.empty())
        return "--wav and --mp3 choose the type of a new file: use them with -o";
    const SettingsArgs& s = line.settings;
    if (c == "settings" && s.json && (s.importPath || s.exportPath || !s.sets.empty()))
        return "--json lists the options: it goes with no action";
    return {};
}

} // namespace velmora::cli
