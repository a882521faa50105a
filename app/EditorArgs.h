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

// `args` without the program name.
ArgumentsOutcome ParseEditorArguments(const std::vector<std::string>& args,
                                      EditorArguments& options);

} // namespace velmora
