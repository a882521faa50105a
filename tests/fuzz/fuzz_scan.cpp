// Feeds arbitrary bytes to the frame scanner, then to AutoTrim when the scan succeeds.
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitScanner.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the settings and the scan's file offset; the rest is the stream.
    const std::uint8_t knobs = data[0];
    Settings settings;
    settings.CheckBoxAllowPatchedStreams = knobs & 1;
    settings.CheckBoxFastSilenceDetection = knobs & 2;
    settings.RadioGroupTrimAggressivity = (knobs >> 2) & 3; // 3 probes an out-of-range item
    settings.CheckBoxDisableSilenceDetectionBeginning_mp3PRO = knobs & 16;
    const int requiredBitrate = (knobs & 32) ? 9 : 0;
    const std::int64_t fileOffset = (knobs >> 6) & 3;

    static const MessageTable messages = MessageTable::English();
    StreamInfo info;
    NullProgress progress;
    try {
        ScanStream(info, std::span(data + 1, size - 1), requiredBitrate, settings, messages,
                   progress, fileOffset);
    } catch (const VelmoraError&) {
        return 0;
    }
    const auto trim = AutoTrim(info, settings, false);
    if (!trim || trim->beginFrames < 0 || trim->endFrames < 0 ||
        trim->beginFrames + trim->endFrames > info.frameCount)
        __builtin_trap();
    std::int64_t previousEnd = 0;
    for (std::int64_t i = 0; i < info.frameCount; ++i) {
        const FrameEntry& e = info.frames[i];
        if (e.offset < previousEnd || e.offset + e.length > static_cast<std::int64_t>(size - 1))
            __builtin_trap();
        previousEnd = e.offset + e.length;
    }
    return 0;
}
