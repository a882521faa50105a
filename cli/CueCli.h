#pragma once

#include "CliCommon.h"
#include "UnitOpen.h"

#include <string>

namespace velmora::cli {

// Opens `path` the way the editor's Open command does (the whole pipeline with the tail
// analysis), for the cue and split commands.
OpenResult OpenForCue(const std::string& path, const CliContext& ctx, IProgress& progress);

} // namespace velmora::cli
