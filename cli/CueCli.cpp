#include "CueCli.h"

#include "UnitVolume.h"

namespace velmora::cli {

OpenResult OpenForCue(const std::string& path, const CliContext& ctx, IProgress& progress) {
    const TailAnalysis tail = [&](StreamInfo& info, std::int64_t begin, std::int64_t end) {
        AnalyseVolume(path, info, begin, end, true, ctx.settings, ctx.messages, progress);
    };
    return OpenSourceFile(path, ctx.settings, ctx.messages, progress, tail);
}

std::string CueBaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace velmora::cli
