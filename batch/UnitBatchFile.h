#pragma once

#include "UnitBatchInputs.h"
#include "UnitMP3.h"
#include "UnitSilence.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;

enum class BatchOutcome {
    Unchanged,    // processed, nothing to change
    Changed,      // written (or, in a test run, would be)
    Skipped,      // left alone on purpose (missing frame headers, the editor's open file)
    Failed,       // an error; the file is as the error left it (never half-written)
    NotProcessed, // the batch stopped before it
};

// The record of one file: its outcome and, by the log's options, what it is and what changed.
struct BatchFileReport {
    std::string path;
    BatchOutcome outcome = BatchOutcome::NotProcessed;
    std::string error;
    bool stopsBatch = false; // a file with missing headers under CheckBoxBatchStopsOnBadFiles
    std::vector<std::string> notes; // warnings of the open, what a test run would do, where
                                    // the file went
    // Characteristics, as the information box shows them.
    bool analysed = false;
    std::string type, length, bitrate;
    // The same as numbers: the bitrate is 0 for VBR, the average is the file's bits per second.
    std::uint32_t sampleRate = 0;
    std::int64_t frames = 0, lengthSamples = 0;
    int bitrateKbps = 0;
    double averageBitrateKbps = 0;
    std::int64_t missingHeaders = 0;
    bool abruptEnding = false;
    // Statistics.
    std::int64_t trimmedBegin = 0, trimmedEnd = 0; // frames of digital silence removed
    int gainSteps = 0;
    // The R128 loudness the normalisation measured (LUFS; -inf: none), before the gain.
    std::optional<double> loudnessBefore;
    // With CheckBoxBatchAlbumGain: the loudness of the file's folder measured as one programme.
    std::optional<double> albumLoudness;
    std::int64_t bytesSaved = 0; // size before less size after (or as planned, in a test run)
    std::string savedPath;       // where the file is now
    std::vector<std::string> splitTracks;
};

class BatchAlbums;
class SplitOutputClaims;

// What a batch file's processing reads besides the settings.
struct BatchFileContext {
    const Settings& settings;
    const MessageTable& messages;
    std::vector<std::string> refusedPaths;    // the editor's open file: never touched
    SplitOutputClaims* trackClaims = nullptr; // the track files the batch's splits have taken
    bool overwriteTracks = false;             // a split may replace existing files
    const BatchAlbums* albums = nullptr;      // album mode: each folder's one step
};

// The folder, beside each file, that files with an abrupt ending are moved to.
inline constexpr const char* kAbruptFolderName = "Abrupt endings";

// Runs the batch's steps on one file: open, the missing-header rules, the silence trim, the
// normalisation, the fades, the save in place (nothing written in a test run), the CUE split, the
// thumbnail and the move. Never throws: every failure becomes the report's outcome. A stop request
// (`progress`) is honoured until the first write; a file being written is finished.
BatchFileReport ProcessBatchFile(const BatchInput& input, const BatchFileContext& context,
                                 IProgress& progress);

// The frames a thumbnail cuts off a file of `frames` frames: the excerpt starts after
// SpinEditStartThumbnail seconds and lasts ComboBoxLengthThumbnail's seconds (or up to the end);
// "variable" keeps everything up to SpinEditEndThumbnail seconds before the end. Seconds round up
// to frames. Nothing when the file is too short to keep a frame.
std::optional<TrimPoints> ComputeThumbnailCut(const MpegHeader& first, std::int64_t frames,
                                              const Settings& settings);

// The thumbnail lengths of ComboBoxLengthThumbnail's items, in seconds; 0 is "variable".
inline constexpr int kThumbnailSeconds[] = {15, 30, 45, 60, 90, 120, 0};

} // namespace velmora
