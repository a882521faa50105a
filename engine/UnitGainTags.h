#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct ApeTag;
struct FileIdentity;
struct TagLayout;

// A ReplayGain 2.0 item to write: "REPLAYGAIN_TRACK_GAIN" = "-3.14 dB".
struct GainTagValue {
    std::string key;
    std::string value;
};

// The ReplayGain 2.0 track values of a file whose loudness was measured before `steps` were
// added: gain to the -18 LUFS reference and the true peak (linear), both after the change.
std::vector<GainTagValue> ReplayGainTrackValues(double loudnessLufs, double truePeakDbtp,
                                                int steps);

// What a gain change did to every frame, as the tags record it.
struct GainTagChange {
    int steps = 0;          // global-gain steps added to every granule (1.5 dB each)
    bool recordUndo = true; // keep MP3GAIN_UNDO (not for RIFF/WAVE output, which no tool undoes)
    std::vector<GainTagValue> set; // written as they are (ReplayGain 2.0 from a measurement)
};

// The APE item other volume tools read to undo their changes: "-003,-003,N" (the steps that
// take the left and right channel back to where they were before the first change, and whether
// values wrapped).
struct GainUndo {
    int left = 0;
    int right = 0;
    bool wrap = false;
};
inline constexpr std::string_view kUndoKey = "MP3GAIN_UNDO";

std::optional<GainUndo> ParseGainUndo(std::string_view text);
std::string FormatGainUndo(const GainUndo& undo);

// A ReplayGain gain value ("-3.14 dB", "+0.690000 dB") after the file got `steps` louder, in the
// value's own precision; std::nullopt when it is not such a value.
std::optional<std::string> CorrectGainText(std::string_view text, int steps);
// A ReplayGain peak ("0.988212") scaled by the same change.
std::optional<std::string> CorrectPeakText(std::string_view text, int steps);
// "128,214": the least and greatest global_gain of the frames, moved by `steps` within 0 … 255.
std::optional<std::string> CorrectMinMaxText(std::string_view text, int steps);

// Brings the gain items of an APE tag in line with `change`. `notes` says what could not be.
void CorrectApeGainItems(ApeTag& tag, const GainTagChange& change, std::vector<std::string>& notes);

// Corrects the REPLAYGAIN_* TXXX frames of the ID3v2 tag `tag` (header included) in place,
// keeping the tag's size: a value that no longer fits takes room from the padding, or goes.
// Returns whether a byte changed.
// `set` values replace or join the TXXX frames; `placed` tells whether they all found room.
bool CorrectId3v2GainFrames(std::span<std::uint8_t> tag, int steps, std::vector<std::string>& notes,
                            const std::vector<GainTagValue>& set = {}, bool* placed = nullptr);

struct GainTagOutcome {
    bool changed = false;
    std::int64_t size = 0; // the file's size afterwards
    std::vector<std::string> notes;
};

// After a gain change of the file at `path`: corrects the ReplayGain values of its ID3v2 tag
// (`id3v2Size` bytes at `id3v2Start`, 0 for none) and of its APE tag, and writes or updates its
// MP3GAIN_UNDO item; a new APE tag goes before the ID3v1 tag, after a Lyrics3 block. Damaged
// items are left as they are, with a note. Throws VelmoraError on an I/O failure.
// `keepTimes`, when set, gives the file these access and modification times afterwards.
GainTagOutcome KeepGainTagsTrue(const std::string& path, std::int64_t id3v2Start,
                                std::int64_t id3v2Size, const GainTagChange& change,
                                const FileIdentity* keepTimes = nullptr);

// The bytes a gain change of `steps` adds to (or takes from) the APE tag of a file laid out as
// `tags`, the tag written by a save that keeps it (`tagKept`) or leaves it out: its corrected
// values, its undo item (`recordUndo`), or a new tag. 0 when the change leaves the tag alone.
std::int64_t GainTagGrowth(const TagLayout& tags, bool tagKept, int steps, bool recordUndo);

// The MP3GAIN_UNDO item of the file's APE tag: std::nullopt when there is none; throws
// VelmoraError when the tag or the item is damaged.
std::optional<GainUndo> ReadGainUndo(std::span<const std::uint8_t> file);

} // namespace velmora
