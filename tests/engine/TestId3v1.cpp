#include "UnitID3v1.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitTags.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using T = Id3v1Tag;

// A tag with the given fields, each padded with `pad` as a tagger would have written it.
Id3v1Tag MakeTag(const std::string& title, const std::string& artist, std::uint8_t pad,
                 std::uint8_t genre = 255) {
    Id3v1Tag tag;
    tag.bytes.fill(pad);
    tag.bytes[0] = 'T';
    tag.bytes[1] = 'A';
    tag.bytes[2] = 'G';
    std::copy(title.begin(), title.end(), tag.bytes.begin() + T::kTitleOffset);
    std::copy(artist.begin(), artist.end(), tag.bytes.begin() + T::kArtistOffset);
    tag.bytes[T::kGenreOffset] = genre;
    return tag;
}

std::string RawField(const Id3v1Tag& tag, std::size_t offset, std::size_t size) {
    return std::string(tag.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       tag.bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

std::string Padded(const std::string& text, std::size_t size, char pad) {
    return text + std::string(size - text.size(), pad);
}

TEST(Id3v1, PadAfterTerminatorFillsFromTheFirstZero) {
    std::uint8_t field[6] = {'a', 'b', 0, 'c', 0, 'd'};
    PadAfterTerminator(field, 6, ' ');
    EXPECT_EQ(std::string(field, field + 6), "ab    ");
    std::uint8_t full[3] = {'x', 'y', 'z'};
    PadAfterTerminator(full, 3, 0);
    EXPECT_EQ(std::string(full, full + 3), "xyz");
}

TEST(Id3v1, RecreateSplitsTheFileNameIntoArtistAndTitle) {
    const struct {
        const char* name;
        const char* artist;
        const char* title;
    } cases[] = {
        {"Artist - Song.mp3", "Artist", "Song"},
        {"A-B-C.mp3", "A", "B-C"},
        {"Band - Live - Song.mp3", "Band", "Live - Song"},
        {"my.song.mp3", "", "my.song"},
        {"  Spaced  -  Out  .mp3", "Spaced", "Out"},
        {"NoExtension", "", "NoExtension"},
        // The record holds ISO-8859-1: a UTF-8 name comes down to it, other characters to the
        // nearest ASCII letter or "?"; a name in a single-byte encoding keeps its bytes.
        {"Sigur R\xC3\xB3s - \xC5\x81\xC3\xB3\x64\xC5\xBA \xE6\x97\xA5.mp3", "Sigur R\xF3s",
         "L\xF3"
         "dz ?"},
        {"Bj\xF6rk - J\xF3ga.mp3", "Bj\xF6rk", "J\xF3ga"},
    };
    for (const auto& c : cases) {
        Settings s;
        s.RadioButtonID3Remove = kId3v1Recreate;
        Id3v1Tag tag;
        EXPECT_EQ(PrepareId3v1(tag, 0, s, c.name), 128) << c.name;
        EXPECT_EQ(RawField(tag, 0, 3), "TAG");
        EXPECT_EQ(RawField(tag, T::kArtistOffset, 30), Padded(c.artist, 30, ' ')) << c.name;
        EXPECT_EQ(RawField(tag, T::kTitleOffset, 30), Padded(c.title, 30, ' ')) << c.name;
        EXPECT_EQ(RawField(tag, T::kYearOffset, 4), "    ");
        EXPECT_EQ(tag.bytes[T::kGenreOffset], 255);
    }
}

TEST(Id3v1, LongNameFillsTheTitleWithoutTerminator) {
    Settings s;
    s.RadioButtonID3Remove = kId3v1Recreate;
    Id3v1Tag tag;
    const std::string name(40, 'x');
    PrepareId3v1(tag, 0, s, name + ".mp3");
    EXPECT_EQ(RawField(tag, T::kTitleOffset, 30), std::string(30, 'x'));
    EXPECT_EQ(tag.bytes[T::kArtistOffset], ' ');
}

TEST(Id3v1, ModesDecideWhetherATagIsWritten) {
    const struct {
        std::uint8_t mode;
        std::int64_t id3v1In;
        std::int64_t id3v1Out;
    } cases[] = {
        {kId3v1Keep, 0, 0},       // keep mode on a tagless file writes none
        {kId3v1Keep, 128, 128},   // a present tag is carried over
        {kId3v1Remove, 0, 0},     // the writer passes 0 for the remove mode
        {kId3v1Recreate, 0, 128}, // tags switched off or absent: built from the name
        {kId3v1Recreate, 128, 128},
    };
    for (const auto& c : cases) {
        Settings s;
        s.RadioButtonID3Remove = c.mode;
        Id3v1Tag tag = MakeTag("Old", "Old", ' ');
        EXPECT_EQ(PrepareId3v1(tag, c.id3v1In, s, "New - Name.mp3"), c.id3v1Out)
            << int(c.mode) << " " << c.id3v1In;
    }
}

TEST(Id3v1, UpdateOptionsInTheirThreeStates) {
    // unchecked leaves, checked writes, grayed writes only into an empty field
    const struct {
        std::uint8_t state;
        const char* before;
        const char* after;
    } cases[] = {
        {0, "Old", "Old"}, {1, "Old", "New"}, {2, "Old", "Old"}, {2, "", "New"}, {1, "", "New"},
    };
    for (const auto& c : cases) {
        Settings s;
        s.RadioButtonID3Remove = kId3v1Keep;
        s.CheckBoxID3UpdateArtistName = c.state;
        s.EditID3Artist = "New";
        Id3v1Tag tag = MakeTag("Title", c.before, ' ');
        PrepareId3v1(tag, 128, s, "x.mp3");
        EXPECT_EQ(RawField(tag, T::kArtistOffset, 30), Padded(c.after, 30, ' '))
            << int(c.state) << " " << c.before;
        EXPECT_EQ(RawField(tag, T::kTitleOffset, 30), Padded("Title", 30, ' '));
    }
}

TEST(Id3v1, GrayedGenreWritesOnlyIntoATagWithoutGenre) {
    for (std::uint8_t genre : {std::uint8_t{255}, std::uint8_t{17}}) {
        Settings s;
        s.CheckBoxID3UpdateGenre = 2;
        s.ComboBoxID3Genre = 8;
        Id3v1Tag tag = MakeTag("T", "A", ' ', genre);
        PrepareId3v1(tag, 128, s, "x.mp3");
        EXPECT_EQ(tag.bytes[T::kGenreOffset], genre == 255 ? 8 : 17);
    }
}

TEST(Id3v1, YearIsFourDigitsOrFourSpaces) {
    for (const auto& [year, text] : {std::pair{1999, "1999"}, {99, "0099"}, {0, "    "}}) {
        Settings s;
        s.CheckBoxID3UpdateAlbumYear = 1;
        s.SpinEditID3Year = year;
        Id3v1Tag tag = MakeTag("T", "A", ' ');
        PrepareId3v1(tag, 128, s, "x.mp3");
        EXPECT_EQ(RawField(tag, T::kYearOffset, 4), text);
    }
}

TEST(Id3v1, FillByteFollowsTheSourceTag) {
    Settings s;
    s.CheckBoxID3UpdateAlbumName = 1;
    s.EditID3Album = "Album";
    // A space-padded tag keeps space padding for new texts.
    Id3v1Tag spaced = MakeTag("T", "A", ' ');
    PrepareId3v1(spaced, 128, s, "x.mp3");
    EXPECT_EQ(RawField(spaced, T::kAlbumOffset, 30), Padded("Album", 30, ' '));
    // Any zero byte in the four text fields switches to zero padding.
    Id3v1Tag zeroed = MakeTag("T", "A", ' ');
    zeroed.bytes[T::kCommentOffset + 5] = 0;
    PrepareId3v1(zeroed, 128, s, "x.mp3");
    EXPECT_EQ(RawField(zeroed, T::kAlbumOffset, 30), Padded("Album", 30, '\0'));
    EXPECT_EQ(RawField(zeroed, T::kCommentOffset, 30), std::string(5, ' ') + std::string(25, '\0'));
}

TEST(Id3v1, TrackNumberSurvivesUnlessTheCommentOverwritesIt) {
    const struct {
        std::uint8_t state;
        std::string comment;
        std::uint8_t byte28, byte29;
    } cases[] = {
        {0, "", 0, 7},                       // comment left alone: track 7 stays
        {1, "short", 0, 7},                  // a short comment ends before byte 28
        {1, std::string(29, 'c'), 'c', 0},   // 29 characters overwrite byte 28, then a terminator
        {1, std::string(30, 'c'), 'c', 'c'}, // 30 characters overwrite both
    };
    for (const auto& c : cases) {
        Settings s;
        s.CheckBoxID3UpdateCommentName = c.state;
        s.EditID3Comment = c.comment;
        Id3v1Tag tag = MakeTag("T", "A", 0);
        tag.bytes[T::kCommentOffset + 29] = 7;
        PrepareId3v1(tag, 128, s, "x.mp3");
        EXPECT_EQ(tag.bytes[T::kCommentOffset + 28], c.byte28) << c.comment.size();
        EXPECT_EQ(tag.bytes[T::kCommentOffset + 29], c.byte29) << c.comment.size();
    }
}

} // namespace
} // namespace velmora
