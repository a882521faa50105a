#pragma once

// Splitting at the ID3v2 chapters, and chapters made from a CUE sheet.

#include "UnitCueSplit.h"

#include <string>
#include <vector>

namespace velmora {

// One track per chapter of the tag, by start time, each from the frame nearest its start to the
// next one's start (the last to the end). Names as a sheet's: "NN Title.mp3" (three digits from
// the hundredth on), sanitised; an untitled chapter is "NN Chapter NN". Chapters that start on the
// frame of the one before, or at the end, give no track.
CueTrackTable ChapterTrackTable(const TID3v2& tag, const MpegHeader& header,
                                std::int64_t totalFrames, bool outputIsWav);

// Cuts the open file at its chapters, as SplitByCueSheet cuts at a sheet's tracks; found is false
// when the tag has no chapters.
SplitResult SplitByChapters(const std::string& mp3Path, StreamInfo& info,
                            const SplitControls& controls, const Settings& settings,
                            const MessageTable& messages, IProgress& progress,
                            const TrackWritten& onTrackWritten = {});

// The editor's Ctrl+U: the sheet beside the file or in its tag, else its chapters.
SplitResult SplitBySheetOrChapters(const std::string& mp3Path, StreamInfo& info,
                                   const SplitControls& controls, const Settings& settings,
                                   const MessageTable& messages, IProgress& progress);

// Chapters for the tracks of the sheet at `cuePath`: each from its INDEX 01 to the next track's
// (the last to the end of the audio), titled by its TITLE, element IDs "chp0", "chp1", ...
std::vector<Chapter> ChaptersFromCueSheet(const std::string& cuePath, const StreamInfo& info);

// Replaces the chapters and tables of contents of the file's ID3v2 tag (made when there is none)
// by `chapters` and one ordered top-level table "toc" listing them; other frames are kept, the
// tag keeps its version (a version-2 tag becomes version 4). Throws VelmoraError.
void WriteChapters(const std::string& mp3Path, const std::vector<Chapter>& chapters,
                   int tagVersion);

} // namespace velmora
