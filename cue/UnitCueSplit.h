#pragma once

#include "UnitCueParse.h"
#include "UnitScanner.h"
#include "UnitSilence.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;

// Where the tracks go. Album names from the sheet are relative to the current directory; names
// from the ID3v2 tag or the MP3's own name lie beside the MP3. Every name is cleaned first, so
// the folder is always one level below one of those two places.
std::string CueOutputFolder(const std::string& mp3Path, const CueTrackTable& table,
                            const TID3v2& id3v2);

// A folder name made safe: the characters SanitizeFileName replaces (all of them, the last one
// included), cut to the file system's limit; empty for names that are empty, "." or "..".
std::string CleanFolderName(const std::string& name);

// The frames one track covers: first frame and frame count.
struct CueTrackRange {
    std::int64_t start = 0;
    std::int64_t length = 0;
};

// The range written for track k: to the next track's start or the end; with
// `RadioGroupCueSplit` 1 the middle 30 seconds of tracks longer than that.
CueTrackRange CueTrackRangeOf(const CueTrackTable& table, std::size_t k, std::int64_t totalFrames,
                              const MpegHeader& header, std::int32_t radioGroupCueSplit);

// A sheet written out of the ID3v2 tag for the duration of one split; removed when it goes,
// whatever happened (also when the extraction itself failed).
class TemporaryCueSheet {
public:
    TemporaryCueSheet() = default;
    explicit TemporaryCueSheet(std::string path) : m_path(std::move(path)) {}
    ~TemporaryCueSheet();
    TemporaryCueSheet(const TemporaryCueSheet&) = delete;
    TemporaryCueSheet& operator=(const TemporaryCueSheet&) = delete;
    bool active() const { return !m_path.empty(); }

private:
    std::string m_path;
};

// Writes the embedded sheet (ID3v2 GEOB object) of the file at `mp3Path` to `cuePath`, which
// must not exist. The returned guard deletes it. Errors: "Could not open " + mp3Path, or the file
// error of creating or writing the sheet.
std::unique_ptr<TemporaryCueSheet> ExtractEmbeddedCueSheet(const std::string& mp3Path,
                                                           const std::string& cuePath,
                                                           const StreamInfo& info,
                                                           const MessageTable& messages);

// The track files the splits of one batch have taken, shared by its workers, so that two sheets
// naming the same album never write over each other's tracks.
class SplitOutputClaims {
public:
    // Takes every one of `paths`, or none of them when one is taken already (returned).
    std::optional<std::string> ClaimAll(const std::vector<std::string>& paths);
    void Release(const std::vector<std::string>& paths);

private:
    std::mutex m_mutex;
    std::set<std::string> m_taken;
};

// The main window's controls the writer reads for every track.
struct SplitControls {
    int gainSteps = 0; // TrackBarAmplification
    int fadeInIndex = 0;
    int fadeOutIndex = 0;
    bool tagsKept = true;
    // Existing track files are replaced only when asked; the file being split never is.
    bool overwrite = false;
    std::string outputFolder{}; // made when missing; empty: CueOutputFolder's
    std::string namePattern{};  // TrackNameOf's pattern; empty: the sheet's names
    // An ID3v2 tag from the sheet in each MP3 track (TrackTagImage), over the source's frames
    // when CheckBoxKeepID3v2 is on.
    bool writeTags = false;
    SplitOutputClaims* claims = nullptr; // the batch's, when the split is part of one
};

struct SplitResult {
    bool found = false; // false: no sheet beside the file nor in it (the caller beeps)
    bool embedded = false;
    std::string folder;
    std::vector<std::string> written;  // output paths in track order
    std::optional<TrimPoints> trim;    // the trim controls after the last track
    std::vector<std::string> warnings; // tracks cut on frame boundaries instead of exactly
};

// Called after each track is written, with its path.
using TrackWritten = std::function<void(const std::string& path)>;

// Cuts the open file into one file per track of its sheet. A parse error, a sheet without a
// track ("invalid CUE file"), a track name that is the file being split, an existing file
// (unless `controls.overwrite`) or a file another split of the batch took stops before any track
// is written; a writer error stops after the tracks already written (those files stay).
SplitResult SplitByCueSheet(const std::string& mp3Path, StreamInfo& info,
                            const SplitControls& controls, const Settings& settings,
                            const MessageTable& messages, IProgress& progress,
                            const TrackWritten& onTrackWritten = {});

// Writes one file per track of `table` into the folder CueOutputFolder names, filling `result`
// (SplitByCueSheet after reading the sheet, and the split by chapters).
void SplitByTrackTable(const std::string& mp3Path, StreamInfo& info, const CueTrackTable& table,
                       const SplitControls& controls, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       const TrackWritten& onTrackWritten, SplitResult& result);

} // namespace velmora
