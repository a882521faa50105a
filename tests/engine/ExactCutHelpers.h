#pragma once

#include "DecoderOracle.h"
#include "WriterHelpers.h"

namespace velmora::test {

// Save As of the decoded samples [begin, end), with the frame cut that stands in for it.
inline WriteResult SaveSamples(const std::string& source, const std::string& output,
                               StreamInfo& info, const Settings& s, std::int64_t begin,
                               std::int64_t end) {
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    const TrimPoints trim{begin / spf,
                          std::max<std::int64_t>(0, info.frameCount - (end + spf - 1) / spf)};
    const OutputPlan plan = PlanFor(info, s, {trim});
    WriteParams p = MakeSaveParams(source, output, info, trim, plan, s, 0, 0, 0);
    p.beginSample = begin;
    p.endSample = end;
    const WriteContext context{s, Messages(), false, true};
    NullProgress none;
    return WriteOutput(p, info, context, none);
}

} // namespace velmora::test
