#include "UnitID3v1.h"

#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitTags.h"
#include "UnitTextEncoding.h"

#include <algorithm>
#include <string>

namespace velmora {

namespace {

using T = Id3v1Tag;
using Bytes = std::array<std::uint8_t, T::kSize>;
constexpr int kTitle = T::kTitleOffset, kArtist = T::kArtistOffset, kAlbum = T::kAlbumOffset,
              kYear = T::kYearOffset, kComment = T::kCommentOffset, kGenre = T::kGenreOffset;
constexpr int kTextLength = T::kTitleSize;
constexpr std::uint8_t kNoGenre = 255;

// Blanks and control characters at both ends go.
std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// At most 30 characters; a shorter text ends with a 0 byte and the bytes after it stay. The
// record holds ISO-8859-1, so UTF-8 names and settings are brought down to it.
void PutText(Bytes& tag, int offset, std::string_view utf8) {
    const std::string text = Utf8ToLatin1Nearest(utf8);
    const std::size_t n = std::min<std::size_t>(text.size(), kTextLength);
    std::copy_n(text.begin(), n, tag.begin() + offset);
    if (n < static_cast<std::size_t>(kTextLength))
        tag[static_cast<std::size_t>(offset) + n] = 0;
}

bool TextEmpty(const Bytes& tag, int offset) {
    return tag[static_cast<std::size_t>(offset)] == 0 ||
           tag[static_cast<std::size_t>(offset)] == ' ';
}

// Unchecked: leave; checked: always; grayed: only into an empty field.
bool ShouldUpdate(std::uint8_t state, bool fieldEmpty) {
    return state == 1 || (state == 2 && fieldEmpty);
}

void FillFromName(Bytes& tag, std::string_view name) {
    const std::size_t cut = name.find_last_of(".\\:/");
    if (cut != std::string_view::npos && name[cut] == '.')
        name = name.substr(0, cut);
    for (std::string_view separator : {std::string_view(" - "), std::string_view("-")}) {
        const std::size_t at = name.find(separator);
        if (at == std::string_view::npos)
            continue;
        PutText(tag, kArtist, Trimmed(name.substr(0, at)));
        PutText(tag, kTitle, Trimmed(name.substr(at + separator.size(), 100)));
        return;
    }
    PutText(tag, kTitle, Trimmed(name));
}

void ApplyUpdateOptions(Bytes& tag, const Settings& s) {
    const struct {
        std::uint8_t state;
        int offset;
        const std::string& value;
    } texts[] = {{s.CheckBoxID3UpdateTrackName, kTitle, s.EditID3Track},
                 {s.CheckBoxID3UpdateArtistName, kArtist, s.EditID3Artist},
                 {s.CheckBoxID3UpdateAlbumName, kAlbum, s.EditID3Album}};
    for (const auto& t : texts)
        if (ShouldUpdate(t.state, TextEmpty(tag, t.offset)))
            PutText(tag, t.offset, t.value);

    if (ShouldUpdate(s.CheckBoxID3UpdateAlbumYear, TextEmpty(tag, kYear))) {
        const std::int32_t year = s.SpinEditID3Year;
        for (int i = 0, divisor = 1000; i < static_cast<int>(T::kYearSize); ++i, divisor /= 10)
            tag[static_cast<std::size_t>(kYear + i)] =
                year == 0 ? std::uint8_t{' '}
                          : static_cast<std::uint8_t>('0' + (year / divisor) % 10);
    }
    if (ShouldUpdate(s.CheckBoxID3UpdateGenre, tag[kGenre] == kNoGenre))
        tag[kGenre] = s.ComboBoxID3Genre;
    if (ShouldUpdate(s.CheckBoxID3UpdateCommentName, TextEmpty(tag, kComment)))
        PutText(tag, kComment, s.EditID3Comment);
}

} // namespace

void PadAfterTerminator(std::uint8_t* field, int length, std::uint8_t fill) {
    bool terminated = false;
    for (int i = 0; i < length; ++i) {
        terminated = terminated || field[i] == 0;
        if (terminated)
            field[i] = fill;
    }
}

std::int64_t PrepareId3v1(Id3v1Tag& record, std::int64_t id3v1Out, const Settings& settings,
                          std::string_view editName) {
    const int mode = settings.RadioButtonID3Remove;
    Bytes& tag = record.bytes;

    // A carried-over tag that already uses 0 padding keeps it.
    std::uint8_t fill = ' ';
    if (id3v1Out > 0)
        for (int offset : {kTitle, kArtist, kAlbum, kComment})
            if (std::any_of(tag.begin() + offset, tag.begin() + offset + kTextLength,
                            [](std::uint8_t b) { return b == 0; }))
                fill = 0;

    if (mode == kId3v1Recreate && id3v1Out == 0) {
        id3v1Out = 128;
        tag.fill(fill);
        tag[0] = 'T';
        tag[1] = 'A';
        tag[2] = 'G';
        tag[kGenre] = kNoGenre;
    }

    if (id3v1Out > 0) {
        if (mode == kId3v1Recreate)
            FillFromName(tag, editName);
        ApplyUpdateOptions(tag, settings);
    }

    PadAfterTerminator(&tag[kTitle], kTextLength, fill);
    PadAfterTerminator(&tag[kArtist], kTextLength, fill);
    PadAfterTerminator(&tag[kAlbum], kTextLength, fill);
    const bool trackNumber = tag[kComment + 28] == 0 && tag[kComment + 29] != 0;
    PadAfterTerminator(&tag[kComment], trackNumber ? 28 : kTextLength, fill);
    return id3v1Out;
}

} // namespace velmora
