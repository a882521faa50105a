#include "CueCli.h"

#include "UnitVolume.h"

namespace velmora::cli {

OpenResult OpenForCue(const std::string& path, const CliContext& ctx, IProgress& progress) {
    const TailAnalysis tail = [&](StreamInfo& info, std::int64_t begin, std::int64_t end) {
        AnalyseVolume(path, info, begin, end, true, ctx.settings, ctx.messages, progress);
    };
    return OpenSourceFile(path, ctx.settings, ctx.messages, progress, tail);
}

} // namespace velmora::cli
