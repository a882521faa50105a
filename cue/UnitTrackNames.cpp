#include "UnitTrackNames.h"

#include "VelmoraError.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <array>
#include <memory>

namespace velmora {

namespace {

constexpr std::array<std::string_view, 4> kFields = {"track", "title", "performer", "album"};

std::vector<std::string_view> Parts(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t slash; (slash = path.find('/', start)) != std::string_view::npos;
         start = slash + 1)
        parts.push_back(path.substr(start, slash - start));
    parts.push_back(path.substr(start));
    return parts;
}

// A field's value as a file name may hold it: no "/" or other replaced character, the last one
// included.
std::string Cleaned(const std::string& value) {
    std::string clean = SanitizeFileName(value + "x");
    clean.pop_back();
    return clean;
}

std::string Performer(const CueTrackTable& table, std::size_t k) {
    const std::string& own = table.tracks[k].performer;
    return own.empty() ? table.CueAlbumPerformer : own;
}

std::string TrackNumber(std::size_t k, std::size_t count) {
    std::string number = std::to_string(k + 1);
    const std::size_t width = count >= 100 ? 3 : 2;
    return std::string(number.size() < width ? width - number.size() : 0, '0') + number;
}

TagLib::String Utf8(const std::string& text) {
    return TagLib::String(text, TagLib::String::UTF8);
}

void SetText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
    if (text.empty())
        return;
    tag.removeFrames(id);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
    frame->setText(Utf8(text));
    tag.addFrame(frame);
}

void FillTag(TagLib::ID3v2::Tag& tag, const CueTrackTable& table, std::size_t k) {
    for (const char* whole : {"CHAP", "CTOC", "GEOB"})
        tag.removeFrames(whole);
    SetText(tag, "TIT2", table.tracks[k].title);
    SetText(tag, "TPE1", Performer(table, k));
    SetText(tag, "TALB", table.CueAlbumTitle);
    SetText(tag, "TRCK", std::to_string(k + 1) + "/" + std::to_string(table.tracks.size()));
}

std::vector<std::uint8_t> Bytes(const TagLib::ByteVector& v) {
    return {v.data(), v.data() + v.size()};
}

} // namespace

std::string NamePatternProblem(std::string_view pattern) {
    if (pattern.empty())
        return "the name pattern is empty";
    if (pattern.front() == '/')
        return "the name pattern \"" + std::string(pattern) +
               "\" starts at the root: names are made inside the output folder";
    for (const std::string_view part : Parts(pattern))
        if (part == "..")
            return "the name pattern \"" + std::string(pattern) +
                   "\" leaves the output folder (\"..\")";
    for (std::size_t open = pattern.find('{'); open != std::string_view::npos;
         open = pattern.find('{', open + 1)) {
        const std::size_t close = pattern.find('}', open);
        const std::string_view field = close == std::string_view::npos
                                           ? pattern.substr(open)
                                           : pattern.substr(open + 1, close - open - 1);
        if (close == std::string_view::npos ||
            std::find(kFields.begin(), kFields.end(), field) == kFields.end())
            return "the name pattern has no field \"" + std::string(field) + "\"; it takes " +
                   kTrackNameFields;
    }
    return {};
}

std::string TrackNameOf(std::string_view pattern, const CueTrackTable& table, std::size_t k,
                        bool outputIsWav) {
    const std::string values[] = {TrackNumber(k, table.tracks.size()),
                                  Cleaned(table.tracks[k].title), Cleaned(Performer(table, k)),
                                  Cleaned(table.CueAlbumTitle)};
    std::string name;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string_view::npos;
        const auto field =
            close == std::string_view::npos
                ? kFields.end()
                : std::find(kFields.begin(), kFields.end(), pattern.substr(i + 1, close - i - 1));
        if (field == kFields.end()) {
            name += pattern[i];
            continue;
        }
        name += values[field - kFields.begin()];
        i = close;
    }
    std::string cleaned;
    for (const std::string_view part : Parts(name)) {
        const std::string_view trimmed = part.substr(0, part.find_last_not_of(' ') + 1);
        const std::string_view text =
            trimmed.substr(std::min(trimmed.find_first_not_of(' '), trimmed.size()));
        if (text.empty() || text == "." || text == "..")
            throw VelmoraError("track " + std::to_string(k + 1) + ": the name pattern gives \"" +
                               name + "\", which names no file inside the output folder");
        cleaned += (cleaned.empty() ? "" : "/") + std::string(text);
    }
    return FitFileNameLength(cleaned + (outputIsWav ? ".wav" : ".mp3"));
}

std::vector<std::uint8_t> TrackTagImage(const CueTrackTable& table, std::size_t k,
                                        std::span<const std::uint8_t> sourceTag) {
    if (sourceTag.empty()) {
        TagLib::ID3v2::Tag tag;
        FillTag(tag, table, k);
        return Bytes(tag.render());
    }
    TagLib::ByteVector bytes(reinterpret_cast<const char*>(sourceTag.data()),
                             static_cast<unsigned int>(sourceTag.size()));
    TagLib::ByteVectorStream stream(bytes);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    FillTag(*tag, table, k);
    return Bytes(
        tag->render(tag->header()->majorVersion() == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
}

} // namespace velmora
