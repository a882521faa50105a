#include "UnitTrackLength.h"

#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitPath.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace velmora {

namespace {

// Each line of a message list with its first "%s" replaced, joined by line breaks.
std::string Question(const MessageTable::List& list, const std::string& name) {
    MessageTable::List lines = list;
    for (std::string& line : lines) {
        const std::size_t at = line.find("%s");
        if (at != std::string::npos)
            line.replace(at, 2, name);
    }
    return MessageTable::Join(lines);
}

} // namespace

bool IsTrackLengthText(std::string_view text) {
    if (text.size() <= 3)
        return false;
    int hours = 0, minutes = 0, seconds = 0;
    for (char c : text) {
        if (c == 'h')
            ++hours;
        else if (c == 'm')
            ++minutes;
        else if (c == 's')
            ++seconds;
        else if (c != ' ' && c != '.' && !std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    if (hours > 1 || minutes > 1 || seconds > 1)
        return false;
    return (minutes == 1 && seconds == 1) != (hours == 1);
}

TrackLengthName InsertTrackLength(std::string_view path, std::string_view lengthText) {
    // Only the file name is annotated: a "." or "(" in a folder name must not be touched.
    const std::string folder = FolderOf(path);
    std::string name = BaseName(path);

    std::size_t a = 0;
    for (;;) {
        const std::size_t open = name.find('(', a);
        if (open == std::string::npos)
            break;
        const std::size_t close = name.find(')', open);
        if (close == std::string::npos)
            break;
        if (IsTrackLengthText(std::string_view(name).substr(open + 1, close - open - 1))) {
            name.erase(open, close - open + 1);
            a = open;
        } else {
            a = close;
        }
    }

    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {false, std::string(path)};
    name.insert(dot, " (" + std::string(lengthText) + ")");
    for (std::size_t at; (at = name.find("  ")) != std::string::npos;)
        name.erase(at, 1);
    return {true, std::string(folder) + name};
}

std::string ChangeFileExtension(std::string_view name, std::string_view extension) {
    const std::size_t cut = name.find_last_of("./\\:");
    if (cut != std::string_view::npos && name[cut] == '.')
        name = name.substr(0, cut);
    return std::string(name) + std::string(extension);
}

std::string SuggestSaveAsName(std::string_view editName, const Settings& settings, bool outputIsWav,
                              std::string_view lengthText) {
    if (settings.CheckBoxSaveAs_WithTime) {
        std::string name(editName);
        TrackLengthName annotated = InsertTrackLength(name, lengthText);
        if (annotated.inserted)
            name = std::move(annotated.name);
        return ChangeFileExtension(name, outputIsWav ? ".wav" : ".mp3");
    }
    return ChangeFileExtension(editName, outputIsWav ? " (trimmed).wav" : " (trimmed).mp3");
}

std::string NameForSaveType(std::string_view fileName, bool wav) {
    return ChangeFileExtension(BaseName(fileName), wav ? ".wav" : ".mp3");
}

void CheckSaveAsTarget(const std::string& sourcePath, const std::string& outputPath) {
    bool same = sourcePath == outputPath;
    // Another spelling of the same file (a link, "./x.mp3") would replace the source just as well.
    struct stat a {
    }, b{};
    if (!same && ::stat(sourcePath.c_str(), &a) == 0 && ::stat(outputPath.c_str(), &b) == 0)
        same = a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (same)
        throw VelmoraError("'Save As' cannot overwrite to the source file - use 'Save' instead");
}

std::vector<std::string> SaveQuestions(const std::string& sourcePath, const Settings& settings,
                                       bool outputIsWav, std::int64_t riffHeaderSize,
                                       const MessageTable& messages) {
    std::vector<std::string> questions;
    const std::string name = BaseName(sourcePath);
    if (settings.CheckBoxOverwriteAsk)
        questions.push_back(Question(messages.MessageDlgUpdateWarning, name));
    std::string extension;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos)
        extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav" && !outputIsWav && riffHeaderSize > 0)
        questions.push_back(Question(messages.MessageDlgSaveWAVWithoutHeaderWarning, name));
    return questions;
}

} // namespace velmora
