#pragma once

#include "UnitGainTags.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

struct MessageTable;
struct StreamInfo;

struct GainUndoResult {
    int steps = 0;           // the steps added to every frame now (the record's)
    std::int64_t frames = 0; // Layer III frames changed
    GainTagOutcome tags;
};

// Reverses the gain change that the file's MP3GAIN_UNDO item records, in place: every frame of
// `info` (the file as just analysed) gets the recorded steps, the ReplayGain values follow and
// the item goes. std::nullopt when the file has no such item. Throws VelmoraError when the item
// is damaged or asks for what this program does not do (channels changed apart, wrapped values).
std::optional<GainUndoResult> UndoGainChange(const std::string& path, const StreamInfo& info,
                                             const MessageTable& messages);

} // namespace velmora
