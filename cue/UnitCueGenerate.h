#pragma once

#include "UnitMP3.h"
#include "UnitScanner.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

inline constexpr int kEnergyHistogramBins = 8192;
inline constexpr int kMinimumGapFrames = 20;
// Frame 0 and at most 98 gap middles.
inline constexpr std::size_t kMaxSplits = 99;
// A split this close to the end would leave a stub of a track.
inline constexpr std::int64_t kEndMarginFrames = 200;

// Frames whose energy is below the result count as quiet.
std::uint32_t QuietThreshold(const FrameTable& frames, std::int64_t frameCount);

// minTrack in frames for `SpinEditMinimumCueTrackLength` (seconds; 0 means 10 frames).
std::int64_t MinimumCueTrackFrames(const MpegHeader& header, std::int32_t seconds);

// What makes a gap: frames quieter than `quietEnergy` (the file's own threshold when unset), for
// at least `minGapFrames`, with `minTrackFrames` or more to the next split and to either end.
struct CueGapRules {
    std::optional<std::uint32_t> quietEnergy;
    std::int64_t minGapFrames = kMinimumGapFrames;
    std::int64_t minTrackFrames = 0;
};

// The frame energy of a frame whose RMS level is `levelDb` dB below full scale (the energies of
// the volume analysis); at least 1, so that digital silence is always quiet.
std::uint32_t QuietEnergyForLevel(const MpegHeader& header, double levelDb);

// The split frames in the order found: frame 0, then the middle of each chosen quiet gap; the
// most recently found one is dropped when it lies within 200 frames of the end.
std::vector<std::int64_t> FindCueSplits(const FrameTable& frames, std::int64_t frameCount,
                                        const CueGapRules& rules);
std::vector<std::int64_t> FindCueSplits(const FrameTable& frames, std::int64_t frameCount,
                                        std::int64_t minTrack);

// `path` as the FILE line can hold it: a double quote would end the name and a line end would
// cut the line, so they become two apostrophes and a blank, as in file names.
std::string CueFileLinePath(const std::string& path);

// The sheet text, CR LF line ends, the tracks in increasing order of their start.
std::string RenderCueSheet(const std::string& mp3Path, const MpegHeader& header,
                           std::vector<std::int64_t> splits);

struct GeneratedCueSheet {
    std::string text;
    std::vector<std::int64_t> trackFrames; // increasing start frames
};

// The sheet for the model's current energies (the caller runs the volume analysis first when
// none has been done since the open).
GeneratedCueSheet GenerateCueSheetText(const std::string& mp3Path, const StreamInfo& info,
                                       std::int32_t minimumCueTrackLength);
GeneratedCueSheet GenerateCueSheetText(const std::string& mp3Path, const StreamInfo& info,
                                       const CueGapRules& rules);

// Replaces the file at `path` with `text`; an old sheet stays as it was until the new one is
// complete. File errors: strerror + " - " + the message.
void WriteCueSheetFile(const std::string& path, const std::string& text);

} // namespace velmora
