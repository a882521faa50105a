#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct MpegHeader;

// One media player on the session bus and its "PlaybackStatus".
struct PlayerState {
    std::string busName;
    std::string playbackStatus;
};

// The players whose position can be taken ("Playing" or "Paused"): playing before paused, then by
// bus name, so the same player answers every poll while several run.
std::vector<std::string> AvailablePlayers(std::vector<PlayerState> players);

// A player's position (µs) as frames from the file's start, truncating like the trim fields do
// with milliseconds; nothing for a negative position.
std::optional<std::int64_t> PlayerPositionFrames(const MpegHeader& first,
                                                 std::int64_t microseconds);

} // namespace velmora
