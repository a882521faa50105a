#pragma once

// Between the parser (CliParser.cpp) and the commands' declarations (CliCommands.cpp).

#include "CliArgs.h"

#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace velmora::cli {

// What a command's help says besides its options.
struct CommandDoc {
    const char* synopsis; // after "velmora-cli NAME "
    const char* about;    // before the options; "\n" separates paragraphs
    const char* after;    // after them ("" for nothing)
};
const CommandDoc& DocOf(const std::string& command);

void DeclareGlobalOptions(CLI::App& app, GlobalArgs& global);
void DeclareCommands(CLI::App& app, CommandLine& line);

// The rules between a command's options the declarations cannot say; why the line breaks one,
// or "".
std::string CheckCommand(const CommandLine& line);

// A value option given more than once takes the last value, as GNU programs do.
CLI::Option* TakeLast(CLI::Option* option);

} // namespace velmora::cli
