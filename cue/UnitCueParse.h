#pragma once

#include "UnitMP3.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Track numbers have two digits.
inline constexpr int kMaxCueTracks = 99;
// Longest name a Linux file system takes for one path component, in bytes.
inline constexpr std::size_t kNameMax = 255;
// Sheets are a few kilobytes; anything far beyond that is not a sheet.
inline constexpr std::int64_t kMaxCueSheetBytes = 16 * 1024 * 1024;

struct CueTrack {
    std::string name; // the output file name, sanitised, with its extension
    std::int64_t startFrame = 0;
    std::string title = {};       // the track's TITLE, UTF-8
    std::int64_t startSample = 0; // the sheet's time to the sample, for exact cuts
    std::string performer = {};   // the track's PERFORMER, UTF-8
};

// What a sheet says: the album data before the first FILE line and up to 99 tracks.
struct CueTrackTable {
    std::vector<CueTrack> tracks;
    std::string CueAlbumTitle;
    std::string CueAlbumPerformer;
};

// The stream facts a sheet is read against.
struct CueParseContext {
    MpegHeader header;            // converts index times to frames
    std::int64_t totalFrames = 0; // an index beyond this is out of range
    bool outputIsWav = false;     // ".wav" names instead of ".mp3"
};

// Reads the sheet text. Lines may end in CR LF, LF or CR; the last needs no line end. The text
// is UTF-8 (a byte-order mark is skipped) or, when it is not valid UTF-8, Windows-1252; the names
// in the table are UTF-8.
// Throws VelmoraError ("invalid CUE file", "CUE PERFORMER found after INDEX",
// "invalid CUE file - bad index order", "invalid CUE file - index out of range", or
// "'xx' is not a valid integer value" for an index field that is not a number).
CueTrackTable ParseCueSheetText(std::string_view text, const CueParseContext& context);

// Reads the sheet file at `path` (file errors: strerror + " - " + path).
CueTrackTable ParseCueSheet(const std::string& path, const CueParseContext& context);

// Replaces the characters a file name cannot or should not hold; the last character (the last
// letter of the extension) stays.
std::string SanitizeFileName(std::string name);

// Cuts `name` to at most kNameMax bytes, keeping its extension (from the last ".") and never
// splitting a UTF-8 character.
std::string FitFileNameLength(const std::string& name);

// `path` with the extension of its last component replaced by `extension` (appended when the
// last component has none).
std::string ChangeFileExt(const std::string& path, const std::string& extension);

} // namespace velmora
