#pragma once

// Track file names from a pattern, and the ID3v2 tag each track gets from its sheet.

#include "UnitCueParse.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The fields a name pattern may hold; "/" in a pattern makes folders below the output folder.
inline constexpr const char* kTrackNameFields = "{track} {title} {performer} {album}";

// Why `pattern` cannot name files inside the output folder (empty, absolute, a ".." part, an
// unknown field), or "" when it can.
std::string NamePatternProblem(std::string_view pattern);

// The name of track k below the output folder: the pattern with its fields filled in, each value
// cleaned as a file name is (a "/" in a title makes no folder), and ".mp3" or ".wav" appended.
// {track} has two digits (three from the hundredth track on); {performer} is the track's, else
// the album's. Throws VelmoraError when a filled-in part is empty, "." or "..".
std::string TrackNameOf(std::string_view pattern, const CueTrackTable& table, std::size_t k,
                        bool outputIsWav);

// The ID3v2 tag of track k: title, performer (the track's, else the album's), album and track
// number "k/N" from the sheet, over the frames of `sourceTag` (the source's whole tag, or empty
// for none) less its chapters and embedded objects, which describe the whole recording.
std::vector<std::uint8_t> TrackTagImage(const CueTrackTable& table, std::size_t k,
                                        std::span<const std::uint8_t> sourceTag);

} // namespace velmora
