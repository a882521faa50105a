#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct MessageTable;
struct Settings;

// True for the length annotations this program puts into names ("3m 25s", "1h 02").
bool IsTrackLengthText(std::string_view text);

struct TrackLengthName {
    bool inserted = false;
    std::string name;
};

// Replaces earlier length annotations in the file name by " (<lengthText>)" before its
// extension. `name` may carry a folder: only the part after the last "/" is changed. Without an
// extension nothing is inserted.
TrackLengthName InsertTrackLength(std::string_view name, std::string_view lengthText);

// Replaces the extension (the text from the last "." of the file name) or appends `extension`.
std::string ChangeFileExtension(std::string_view name, std::string_view extension);

// The name Save As suggests for the source's file name (without folder).
// `lengthText` is FormatLengthWords of the planned output.
std::string SuggestSaveAsName(std::string_view editName, const Settings& settings, bool outputIsWav,
                              std::string_view lengthText);

// The save dialog's file name after the user picked the other type.
std::string NameForSaveType(std::string_view fileName, bool wav);

// Save As must not write onto the file it reads: throws "'Save As' cannot overwrite to the source
// file - use 'Save' instead" when the paths are equal or name the same file.
void CheckSaveAsTarget(const std::string& sourcePath, const std::string& outputPath);

// The confirmations Save asks before writing in place, each the whole text of one Yes/No
// question; any answer but Yes ends the save. Empty when there is nothing to ask.
std::vector<std::string> SaveQuestions(const std::string& sourcePath, const Settings& settings,
                                       bool outputIsWav, std::int64_t riffHeaderSize,
                                       const MessageTable& messages);

} // namespace velmora
