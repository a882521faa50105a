#include "CliCommon.h"

#include <ostream>

namespace velmora::cli {

int CmdSplit(CliContext&, std::ostream&, std::ostream& err) {
    err << "velmora-cli: this command is not built yet\n";
    return 2;
}

} // namespace velmora::cli
