#pragma once

// What the command line asks for, as the one parser (CliParser) fills it in.

#include "CliInputs.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// The options every command takes, before or after its name.
struct GlobalArgs {
    bool defaults = false;              // start from the defaults, not the store
    bool quiet = false;                 // no progress bars and no notes on stderr
    std::vector<std::string> overrides; // --option NAME=VALUE, in order
};

// "[--json] [--files-from FILE [-0]] [--shard K/N] FILE...".
struct FileListArgs {
    bool json = false;
    bool jsonDisplay = false; // --json=display: the display texts too
    std::vector<std::string> files;
    InputSelection inputs;
};

struct InfoArgs {
    FileListArgs files;
    bool loudness = false;
};

struct UndoArgs {
    FileListArgs files;
};

struct NormalizeArgs {
    FileListArgs files;
    std::optional<double> target;
    std::optional<double> ceiling;
    bool album = false;
    bool apply = false;
};

struct SettingsArgs {
    bool json = false;
    std::vector<std::string> sets;
    std::optional<std::string> exportPath; // "" for the default path
    std::optional<std::string> importPath;
};

struct SaveArgs {
    std::string file;
    std::string output; // "-": standard output
    std::optional<std::string> begin, end;
    bool autoTrim = false;
    std::optional<int> gain;
    int fadeIn = 0, fadeOut = 0;
    std::optional<bool> wav;
    bool dryRun = false;
    bool yes = false;
    bool timing = false;
};

// The gap detection's values as given (checked by the parser, turned into frames once the file's
// frame rate is known).
struct GapArgs {
    std::optional<double> thresholdDb; // unset: the file's own threshold
    std::optional<std::string> minGap, minTrack;
};

struct CueArgs {
    std::string file;
    bool json = false;
    GapArgs gaps;
};

struct SplitArgs {
    std::string file;
    bool chapters = false;
    bool silence = false;
    std::optional<int> gain;
    int fadeIn = 0, fadeOut = 0;
    bool overwrite = false;
    std::string outputDir;
    std::string names;
    bool noTags = false;
    GapArgs gaps;
};

struct ChaptersArgs {
    std::string file;
    std::string sheet;
};

struct BatchArgs {
    int jobs = 0;
    bool json = false;
    bool jsonDisplay = false;
    bool overwrite = false;
    std::string log;
    std::vector<std::string> paths;
    InputSelection inputs;
};

// Every command's arguments; `command` names the one given.
struct CommandLine {
    std::string command;
    GlobalArgs global;
    InfoArgs info;
    UndoArgs undo;
    NormalizeArgs normalize;
    SettingsArgs settings;
    SaveArgs save;
    CueArgs cue;
    SplitArgs split;
    ChaptersArgs chapters;
    BatchArgs batch;
};

// What the parser makes of the arguments: a command to run, or a text to print and a status.
struct ParseOutcome {
    std::optional<int> exitStatus; // set: print `text` (on stdout for 0, else stderr) and stop
    std::string text;
    CommandLine line;
};

// Parses the arguments (without the program name). Usage errors give status 2 and one line
// "velmora-cli: ..."; -h, --help and "help [COMMAND]" give the help and 0.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args);

// The help of one command, or of the program for "".
std::string HelpText(const std::string& command);

} // namespace velmora::cli
