#include "UnitOpenAudio.h"

#include "UnitVolume.h"

namespace velmora {

OpenResult OpenWithTailAnalysis(const std::string& path, const Settings& settings,
                                const MessageTable& messages, IProgress& progress,
                                const OpenAudioOptions& options) {
    TailAnalysis tail;
    if (options.tailDecode == TailDecode::Decode)
        tail = [&](StreamInfo& info, std::int64_t begin, std::int64_t end) {
            StoreEnergies(AnalyseVolume(path, info, begin, end, VolumeScope::EnergiesOnly, messages,
                                        progress),
                          info);
        };
    return OpenSourceFile(path, settings, messages, progress, tail, options.operationBusy,
                          options.listener);
}

} // namespace velmora
