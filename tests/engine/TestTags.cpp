#include "ByteWriter.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "UnitScanner.h"
#include "UnitTags.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::test::ByteWriter;

namespace {

using Bytes = std::vector<std::uint8_t>;
std::span<const std::uint8_t> View(const Bytes& b) {
    return b;
}
std::int64_t Len(const Bytes& b) {
    return static_cast<std::int64_t>(b.size());
}

// Stand-in for audio frames: no tag signature can appear in it.
Bytes Audio(std::size_t n) {
    return Bytes(n, 0xAA);
}

Bytes Id3v1(std::string_view title, std::uint8_t genre) {
    ByteWriter w;
    w.Text("TAG");                            // identifier
    w.Text(title).Fill(30 - title.size(), 0); // title
    w.Text("Artist").Fill(24, ' ');           // artist, blank padded
    w.Fill(30, 0);                            // album
    w.Text("1999");                           // year
    w.Text("Comment").Fill(23, 0);            // comment
    w.Byte(genre);                            // genre
    return w;
}

// An APE tag of `itemBytes` item bytes, with or without its 32-byte header.
Bytes Ape(std::size_t itemBytes, bool withHeader, std::uint32_t sizeField = 0) {
    const std::uint32_t tagSize = sizeField ? sizeField : std::uint32_t(itemBytes + 32);
    const auto part = [&](std::uint32_t flags) {
        ByteWriter w;
        w.Text("APETAGEX"); // preamble
        w.Le32(2000);       // version
        w.Le32(tagSize);    // tag size: items and footer, no header
        w.Le32(1);          // item count
        w.Le32(flags);      // flags: bit 31 has header, bit 29 is the header
        w.Fill(8, 0);       // reserved
        return w.bytes();
    };
    ByteWriter w;
    if (withHeader)
        w.Append(part(0xA0000000));
    w.Fill(itemBytes, 'i');
    w.Append(part(withHeader ? 0x80000000 : 0));
    return w;
}

Bytes Lyrics3v2(std::size_t lyricsBytes, std::string_view sizeDigits = {}) {
    ByteWriter w;
    w.Text("LYRICSBEGIN");         // marker
    w.Text("IND00002").Text("11"); // a field: id, 5-digit size, content
    w.Fill(lyricsBytes, 'l');      // more content
    const std::string digits =
        sizeDigits.empty() ? std::to_string(1000000 + w.size()).substr(1) : std::string(sizeDigits);
    w.Text(digits);      // size of everything before the digits
    w.Text("LYRICS200"); // end marker
    return w;
}

Bytes Lyrics3v1(std::size_t lyricsBytes) {
    ByteWriter w;
    w.Text("LYRICSBEGIN"); // marker
    w.Fill(lyricsBytes, 'l');
    w.Text("LYRICSEND"); // end marker
    return w;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(TagsId3v1, FieldsReadUpToNulAndStripped) {
    Bytes file = Concat({Audio(500), Id3v1("  Song\x01 ", 17)});
    file[500 + Id3v1Tag::kYearOffset] = ' '; // year " 999"
    const TagBlock block = DetectId3v1(View(file), Len(file));
    EXPECT_EQ(block.size, 128);
    EXPECT_EQ(block.offset, 500);
    const Id3v1Tag tag = Id3v1Tag::FromBytes(View(file).subspan(500));
    EXPECT_TRUE(tag.HasIdentifier());
    EXPECT_EQ(tag.Title(), "Song");
    EXPECT_EQ(tag.Artist(), "Artist");
    EXPECT_EQ(tag.Album(), "");
    EXPECT_EQ(tag.Year(), "999");
    EXPECT_EQ(tag.Comment(), "Comment");
    EXPECT_EQ(GenreName(tag.Genre()), "Rock");
}

TEST(TagsId3v1, TagPlusGarbageCountsAndShortRegionDoesNot) {
    ByteWriter garbage;
    garbage.Text("TAG").Fill(125, 0x07);
    const Bytes file = Concat({Audio(10), garbage});
    EXPECT_EQ(DetectId3v1(View(file), Len(file)).size, 128);
    // The region is what counts, not the view: 127 bytes hold no tag.
    EXPECT_EQ(DetectId3v1(View(file), 127).size, 0);
    const Bytes noTag = Concat({Audio(10), Bytes{'T', 'A', 'X'}, Audio(125)});
    EXPECT_EQ(DetectId3v1(View(noTag), Len(noTag)).size, 0);
}

TEST(TagsGenreTable, KeepsItsExactSpellings) {
    static_assert(GenreTable.size() == 148);
    static_assert(GenreName(0) == "Blues");
    EXPECT_EQ(GenreName(10), "New age");
    EXPECT_EQ(GenreName(40), "Alt. Rock");
    EXPECT_EQ(GenreName(67), "Psychadelic");
    EXPECT_EQ(GenreName(93), "Psychedelic Rock");
    EXPECT_EQ(GenreName(118), "Rhytmic Soul");
    EXPECT_EQ(GenreName(136), "Christian Gangsta Rap");
    EXPECT_EQ(GenreName(140), "Contemporary Christian");
    EXPECT_EQ(GenreName(147), "Synthpop");
    EXPECT_EQ(GenreName(148), "");
    EXPECT_EQ(GenreName(255), "");
}

TEST(TagsApe, FooterRules) {
    struct Case {
        const char* name;
        Bytes file;
        std::int64_t size, offset;
    } cases[] = {
        {"tag with header", Concat({Audio(5000), Ape(100, true)}), 164, 5000},
        {"below 4096 bytes", Concat({Audio(3000 - 164), Ape(100, true)}), 0, 0},
        {"exactly 4096 bytes", Concat({Audio(4096 - 164), Ape(100, true)}), 164, 4096 - 164},
        {"header last",
         [] {
             Bytes f = Concat({Audio(5000), Ape(100, true)});
             f[f.size() - 32 + 23] |= 0x20; // flags: "this is the header"
             return f;
         }(),
         0, 0},
        {"size 0xFFFFFFFF", Concat({Audio(5000), Ape(100, true, 0xFFFFFFFF)}), 0, 0},
        {"size beyond region", Concat({Audio(5000), Ape(100, true, 6000)}), 0, 0},
        {"size below a footer", Concat({Audio(5000), Ape(0, false, 31)}), 0, 0},
        // Without a header the audio in front must not be counted as a header.
        {"no header", Concat({Audio(5000), Ape(100, false)}), 132, 5000},
        {"whole region", Concat({Audio(4000), Ape(100, false, 4132)}), 4132, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TagBlock block = DetectApe(View(c.file), Len(c.file));
        EXPECT_EQ(block.size, c.size);
        EXPECT_EQ(block.offset, c.offset);
    }
}

TEST(TagsLyrics3, VersionTwoAndOneRules) {
    struct Case {
        const char* name;
        Bytes file;
        bool v2;
        std::int64_t size, offset;
    } cases[] = {
        {"v2", Concat({Audio(300), Lyrics3v2(50)}), true, 11 + 10 + 50 + 15, 300},
        {"v2 digits not all digits", Concat({Audio(300), Lyrics3v2(50, "00007x")}), true, 0, 0},
        {"v2 size 999999", Concat({Audio(300), Lyrics3v2(50, "999999")}), true, 0, 0},
        {"v2 size points at no marker", Concat({Audio(300), Lyrics3v2(50, "000070")}), true, 0, 0},
        {"v2 smallest block", ByteWriter().Text("LYRICSBEGIN").Text("000011").Text("LYRICS200"),
         true, 26, 0},
        {"v1", Concat({Audio(300), Lyrics3v1(40)}), false, 11 + 40 + 9, 300},
        {"v1 empty lyrics", Lyrics3v1(0), false, 20, 0},
        {"v1 lyrics 5088 bytes", Concat({Audio(10), Lyrics3v1(5088)}), false, 5108, 10},
        {"v1 lyrics 5100 bytes", Concat({Audio(10), Lyrics3v1(5100)}), false, 0, 0},
        {"v1 begins before the region", Bytes{'L', 'Y', 'R', 'I', 'C', 'S', 'E', 'N', 'D'}, false,
         0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TagBlock block = c.v2 ? DetectLyrics3v2(View(c.file), Len(c.file))
                                    : DetectLyrics3v1(View(c.file), Len(c.file));
        EXPECT_EQ(block.size, c.size);
        EXPECT_EQ(block.offset, c.offset);
    }
}

TEST(TagsTrailing, AcceptsBothTailOrders) {
    const Bytes ape = Ape(200, true);    // 264 bytes
    const Bytes lyrics = Lyrics3v2(100); // 136 bytes
    const Bytes id3 = Id3v1("Title", 0);
    struct Case {
        const char* name;
        Bytes file;
        std::int64_t apeOffset, lyricsOffset, lyricsSize;
    } cases[] = {
        {"audio, Lyrics3, APE, ID3v1", Concat({Audio(8000), lyrics, ape, id3}), 8136, 8000, 136},
        {"audio, APE, Lyrics3, ID3v1", Concat({Audio(8000), ape, lyrics, id3}), 8000, 8264, 136},
        {"audio, APE, Lyrics3", Concat({Audio(8000), ape, lyrics}), 8000, 8264, 136},
        {"audio, Lyrics3 v1, APE", Concat({Audio(8000), Lyrics3v1(30), ape}), 8050, 8000, 50},
        {"audio, APE, Lyrics3 v1", Concat({Audio(8000), ape, Lyrics3v1(30)}), 8000, 8264, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TrailingTags tags = DetectTrailingTags(View(c.file));
        EXPECT_EQ(tags.ape.size, 264);
        EXPECT_EQ(tags.ape.offset, c.apeOffset);
        EXPECT_EQ(tags.lyrics3.size, c.lyricsSize);
        EXPECT_EQ(tags.lyrics3.offset, c.lyricsOffset);
        EXPECT_EQ(tags.regionEnd, 8000);
    }
}

TEST(TagsTrailing, StoresIntoStreamInfoFromFileStart) {
    const Bytes id3 = Id3v1("Title", 3);
    const Bytes file = Concat({Audio(6000), Ape(40, true), id3});
    StreamInfo info;
    info.lyrics3Size = 99; // a previous file's value must not survive
    EXPECT_EQ(StoreTrailingTags(info, View(file)), 6000);
    EXPECT_EQ(info.id3v1Size, 128);
    EXPECT_TRUE(std::equal(id3.begin(), id3.end(), info.id3v1Bytes.begin()));
    EXPECT_EQ(info.apeSize, 104);
    EXPECT_EQ(info.apeOffset, 6000);
    EXPECT_EQ(info.lyrics3Size, 0);
    EXPECT_EQ(info.lyrics3Offset, 0);
}

TEST(TagsTrailing, OnlyTheLastLyricsBlockAndNothingOutOfPlace) {
    // Both Lyrics3 versions: only the block right before ID3v1 is taken.
    const Bytes both = Concat({Audio(100), Lyrics3v1(20), Lyrics3v2(10), Id3v1("", 1)});
    TrailingTags tags = DetectTrailingTags(View(both));
    EXPECT_EQ(tags.lyrics3.offset, 140);
    EXPECT_EQ(tags.regionEnd, 140);
    // An APE tag in the middle of the audio is left alone.
    const Bytes middle = Concat({Audio(5000), Ape(10, true), Audio(100)});
    tags = DetectTrailingTags(View(middle));
    EXPECT_FALSE(tags.ape);
    EXPECT_EQ(tags.regionEnd, Len(middle));
    // An empty view has no tags and an end of 0.
    EXPECT_EQ(DetectTrailingTags({}).regionEnd, 0);
}

TEST(TagsBadInput, RegionLargerThanViewIsAProgrammingError) {
    const Bytes file = Audio(10);
    EXPECT_THROW(DetectApe(View(file), 11), VelmoraError);
    EXPECT_THROW(DetectLyrics3v1(View(file), -1), VelmoraError);
}

TEST(TagsTrailing, FindsTheGainToolsApeTagInFrontOfLyrics) {
    using namespace velmora::test;
    if (!HaveProgram("lame") || !HaveProgram("mp3gain"))
        GTEST_SKIP() << "lame or mp3gain missing";
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 2.0, 440.0, 8000);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("tone.mp3"));
    const Bytes audio = ReadFile(dir.File("tone.mp3"));
    const Bytes lyrics = Lyrics3v2(50);
    WriteFile(dir.File("tone.mp3"), Concat({audio, lyrics, Id3v1("Tone", 0)}));
    // The tool records its undo information in an APE tag wherever it thinks tags begin.
    ASSERT_EQ(RunCommand("mp3gain -q -c -g 2 '" + dir.File("tone.mp3") + "'"), 0);
    const Bytes file = ReadFile(dir.File("tone.mp3"));
    const TrailingTags tags = DetectTrailingTags(View(file));
    ASSERT_TRUE(tags.ape);
    EXPECT_EQ(tags.ape.offset, Len(audio));
    EXPECT_EQ(tags.lyrics3.offset, Len(audio) + tags.ape.size);
    EXPECT_EQ(tags.lyrics3.size, Len(lyrics));
    EXPECT_EQ(tags.id3v1Size, 128);
    EXPECT_EQ(tags.ape.size + Len(lyrics) + 128 + Len(audio), Len(file));
    EXPECT_EQ(tags.regionEnd, Len(audio));
}
