#pragma once

#include "RunCli.h"

#include <sstream>
#include <string>
#include <vector>

namespace velmora::test {

// One in-process run of the command line tool with its output captured.
struct CliRun {
    int status = 0;
    std::string out, err;
};

inline CliRun RunCliCaptured(std::vector<std::string> args,
                             const std::vector<std::string>& prefix = {}) {
    args.insert(args.begin(), prefix.begin(), prefix.end());
    std::ostringstream out, err;
    CliRun r;
    r.status = RunCli(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace velmora::test
