#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The editor's Ctrl+T toggle: whether the source's tags go into the output.
enum class TagsKept : bool { No, Yes };

struct StreamInfo;

// The 128-byte ID3v1 record at the very end of a file.
struct Id3v1Tag {
    static constexpr std::size_t kSize = 128;
    static constexpr std::size_t kIdentifierOffset = 0, kIdentifierSize = 3; // "TAG"
    static constexpr std::size_t kTitleOffset = 3, kTitleSize = 30;
    static constexpr std::size_t kArtistOffset = 33, kArtistSize = 30;
    static constexpr std::size_t kAlbumOffset = 63, kAlbumSize = 30;
    static constexpr std::size_t kYearOffset = 93, kYearSize = 4;
    static constexpr std::size_t kCommentOffset = 97, kCommentSize = 30;
    static constexpr std::size_t kGenreOffset = 127; // 148 and above: no genre

    std::array<std::uint8_t, kSize> bytes{};

    // Copies the 128 bytes at the start of `src` (which must hold them).
    static Id3v1Tag FromBytes(std::span<const std::uint8_t> src);

    bool HasIdentifier() const;
    std::string Title() const { return Field(kTitleOffset, kTitleSize); }
    std::string Artist() const { return Field(kArtistOffset, kArtistSize); }
    std::string Album() const { return Field(kAlbumOffset, kAlbumSize); }
    std::string Year() const { return Field(kYearOffset, kYearSize); }
    std::string Comment() const { return Field(kCommentOffset, kCommentSize); }
    std::uint8_t Genre() const { return bytes[kGenreOffset]; }

    // A text field for display: up to its first NUL, stripped of blanks and control characters.
    std::string Field(std::size_t offset, std::size_t size) const;
};

// Removes bytes 0..32 (blanks and control characters) from both ends.
std::string StripBlanksAndControls(std::string_view text);

inline constexpr int kGenreCount = 148;
// clang-format off
inline constexpr std::array<std::string_view, kGenreCount> GenreTable = {
    /*   0 */ "Blues", "Classic Rock", "Country", "Dance", "Disco",
    /*   5 */ "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    /*  10 */ "New age", "Oldies", "Other", "Pop", "R&B",
    /*  15 */ "Rap", "Reggae", "Rock", "Techno", "Industrial",
    /*  20 */ "Alternative", "Ska", "Death metal", "Pranks", "Soundtrack",
    /*  25 */ "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    /*  30 */ "Fusion", "Trance", "Classical", "Instrumental", "Acid",
    /*  35 */ "House", "Game", "Sound Clip", "Gospel", "Noise",
    /*  40 */ "Alt. Rock", "Bass", "Soul", "Punk", "Space",
    /*  45 */ "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    /*  50 */ "Darkwave", "Techno-Industrial", "Electronic", "Pop-folk", "Eurodance",
    /*  55 */ "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta Rap",
    /*  60 */ "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    /*  65 */ "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    /*  70 */ "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    /*  75 */ "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    /*  80 */ "Folk", "Folk/Rock", "National Folk", "Swing", "Fast-Fusion",
    /*  85 */ "Bebop", "Latin", "Revival", "Celtic", "Bluegrass",
    /*  90 */ "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    /*  95 */ "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    /* 100 */ "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    /* 105 */ "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    /* 110 */ "Satire", "Slow Jam", "Club", "Tango", "Samba",
    /* 115 */ "Folklore", "Ballad", "Power Ballad", "Rhytmic Soul", "Freestyle",
    /* 120 */ "Duet", "Punk Rock", "Drum Solo", "A Capella", "Euro-House",
    /* 125 */ "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",
    /* 130 */ "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk",
    /* 135 */ "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    /* 140 */ "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal",
    /* 145 */ "Anime", "JPop", "Synthpop"
};
// clang-format on

// The genre's name, or an empty text for 148 and above.
constexpr std::string_view GenreName(int genre) {
    return genre >= 0 && genre < kGenreCount ? GenreTable[static_cast<std::size_t>(genre)]
                                             : std::string_view{};
}

// A block found at the end of a region; size 0 = none. Offsets are from the view start.
struct TagBlock {
    std::int64_t size = 0;
    std::int64_t offset = 0;
    explicit operator bool() const { return size > 0; }
};

// Each detector examines the region view[0, regionLength) and reports the block that ends it.
TagBlock DetectId3v1(std::span<const std::uint8_t> view, std::int64_t regionLength);
TagBlock DetectApe(std::span<const std::uint8_t> view, std::int64_t regionLength);
TagBlock DetectLyrics3v2(std::span<const std::uint8_t> view, std::int64_t regionLength);
TagBlock DetectLyrics3v1(std::span<const std::uint8_t> view, std::int64_t regionLength);

struct TrailingTags {
    std::int64_t id3v1Size = 0; // 128 or 0
    Id3v1Tag id3v1;
    TagBlock ape;
    TagBlock lyrics3;           // either version
    std::int64_t regionEnd = 0; // the first byte of the trailing tags
};

// Takes ID3v1, APE and Lyrics3 blocks off the end of the file's bytes. Besides the order
// audio, Lyrics3, APE, ID3v1 it also accepts audio, APE, Lyrics3, ID3v1; the offsets say which.
TrailingTags DetectTrailingTags(std::span<const std::uint8_t> view);

// Stores the trailing tags into `info` and returns the new region end.
std::int64_t StoreTrailingTags(StreamInfo& info, std::span<const std::uint8_t> view);

} // namespace velmora
