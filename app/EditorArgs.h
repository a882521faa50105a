#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct EditorArguments {
    bool quitWhenIdle = false;
    bool timing = false;
    std::optional<QString> screenshots;
    // The bytes as given: a file name need not be valid UTF-8.
    std::optional<std::string> file;
};

// What the command line asks for before any window exists.
struct ArgumentsOutcome {
    std::optional<int> exitStatus; // set: print `out` and `err`, then end with this status
    std::string out;
    std::string err;
};

// --help and --version, answered before Qt looks for a display; nothing when neither is asked
// for. `args` without the program name, Qt's own options among them.
std::optional<ArgumentsOutcome> HelpOrVersion(const std::vector<std::string>& args);

// The platform that `-platform NAME` (or `--platform`) chooses, if the arguments name one.
std::optional<std::string> PlatformArgument(const std::vector<std::string>& args);

// `args` without Qt's standard options and their values, as QApplication would leave them (for
// checking ours when there is no display to start Qt on).
std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args);

// Our options, once QApplication has taken its own out of the arguments (`args` without the
// program name).
ArgumentsOutcome ParseEditorArguments(const std::vector<std::string>& args,
                                      EditorArguments& options);

} // namespace velmora
