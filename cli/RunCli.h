#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace velmora {

// The whole command line tool: args exclude the program name. Returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace velmora
