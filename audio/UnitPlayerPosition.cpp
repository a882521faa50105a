#include "UnitPlayerPosition.h"

#include "UnitMP3.h"

#include <algorithm>

namespace velmora {

std::vector<std::string> AvailablePlayers(std::vector<PlayerState> players) {
    auto rank = [](const PlayerState& p) { return p.playbackStatus == "Playing" ? 0 : 1; };
    std::erase_if(players, [](const PlayerState& p) {
        return p.playbackStatus != "Playing" && p.playbackStatus != "Paused";
    });
    std::sort(players.begin(), players.end(), [&](const PlayerState& a, const PlayerState& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.busName < b.busName;
    });
    std::vector<std::string> names;
    for (const PlayerState& p : players)
        names.push_back(p.busName);
    return names;
}

std::optional<std::int64_t> PlayerPositionFrames(const MpegHeader& first,
                                                 std::int64_t microseconds) {
    if (microseconds < 0)
        return std::nullopt;
    return MillisecondsToFrames(first, microseconds / 1000);
}

} // namespace velmora
