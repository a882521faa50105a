#include "ByteWriter.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "UnitID3v2.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;
using velmora::test::ByteWriter;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::uint8_t encoding, std::string_view text) {
    return ByteWriter().Byte(encoding).Text(text);
}

// A version-3 or version-4 frame.
Bytes Frame(int version, std::string_view id, const Bytes& data) {
    ByteWriter w;
    w.Text(id); // identifier
    if (version == 4)
        w.Syncsafe32(std::uint32_t(data.size())); // data size, syncsafe
    else
        w.Be32(std::uint32_t(data.size())); // data size, big-endian
    w.Bytes({0, 0});                        // flags
    w.Append(data);
    return w;
}

Bytes Frame2(std::string_view id, const Bytes& data) {
    return ByteWriter()
        .Text(id)                         // identifier
        .Be24(std::uint32_t(data.size())) // data size
        .Append(data);
}

Bytes Tag(int version, std::initializer_list<Bytes> frames, std::size_t padding = 0) {
    Bytes body;
    for (const Bytes& f : frames)
        body.insert(body.end(), f.begin(), f.end());
    body.resize(body.size() + padding, 0);
    return ByteWriter()
        .Text("ID3")                            // identifier
        .Byte(std::uint8_t(version))            // major version
        .Byte(0)                                // revision
        .Byte(0)                                // flags
        .Syncsafe32(std::uint32_t(body.size())) // size without the header
        .Append(body);
}

TID3v2 Read(const Bytes& region) {
    TID3v2 tag;
    tag.Read(region);
    return tag;
}

} // namespace

TEST(Id3v2Read, TextFramesOfEveryVersion) {
    struct Rule {
        const char* id4;
        const char* id3;
        const char* text;
        std::string TID3v2::*field;
    } rules[] = {
        {"TIT2", "TT2", "Title", &TID3v2::title},
        {"TPE1", "TP1", " Artist\r\n", &TID3v2::artist},
        {"TALB", "TAL", "Album", &TID3v2::album},
        {"TCOM", "TCM", "Composer", &TID3v2::composer},
        {"TENC", "TEN", "Encoder", &TID3v2::encodedBy},
        {"TCOP", "TCR", "2001 Label", &TID3v2::copyright},
        {"TLAN", "TLA", "eng", &TID3v2::language},
        {"TLEN", "TLE", "65000", &TID3v2::lengthText},
    };
    const std::string comment("eng\0Liner notes\0", 16); // language, description, NUL, text
    const std::string url("\0http://x.test/", 15);       // empty description, NUL, address
    for (int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        Bytes body;
        const auto add = [&](const char* id4, const char* id3, const std::string& data) {
            const Bytes d = Text(0, data);
            const Bytes f = version == 2 ? Frame2(id3, d) : Frame(version, id4, d);
            body.insert(body.end(), f.begin(), f.end());
        };
        for (const Rule& r : rules)
            add(r.id4, r.id3, r.text);
        add("COMM", "COM", comment);
        add("WXXX", "WXX", url);
        Bytes region = Tag(version, {body}, 20);
        const std::int64_t tagSize = std::int64_t(region.size());
        region.insert(region.end(), {0xFF, 0xFB, 0x90, 0x64}); // audio follows

        const TID3v2 tag = Read(region);
        EXPECT_EQ(tag.tagSize, tagSize);
        EXPECT_EQ(tag.version, version);
        EXPECT_EQ(tag.title, "Title");
        EXPECT_EQ(tag.artist, "Artist");
        EXPECT_EQ(tag.album, "Album");
        EXPECT_EQ(tag.composer, "Composer");
        EXPECT_EQ(tag.encodedBy, "Encoder");
        EXPECT_EQ(tag.copyright, "2001 Label");
        EXPECT_EQ(tag.language, "eng");
        EXPECT_EQ(tag.lengthText, "65000");
        EXPECT_EQ(tag.comment, std::string("eng\0Liner notes", 15));
        EXPECT_EQ(tag.url, "http://x.test/");
        EXPECT_TRUE(tag.year.empty() && tag.genre.empty());
        // TLEN comes after seven frames holding 54 data bytes; its text after the encoding byte.
        const std::int64_t frameHeader = version == 2 ? 6 : 10;
        const std::int64_t tlenAt = 10 + 7 * frameHeader + 54 + frameHeader + 1;
        EXPECT_EQ(tag.tlenOffset, tlenAt);
        EXPECT_EQ(tag.tlenLength, 5);
        EXPECT_EQ(std::string(region.begin() + tlenAt, region.begin() + tlenAt + 5), "65000");
    }
}

TEST(Id3v2Read, LaterFramesOverwriteWhateverTheirEncoding) {
    const Bytes utf16Title = ByteWriter()
                                 .Byte(1)             // encoding: UTF-16
                                 .Bytes({0xFF, 0xFE}) // byte order mark
                                 .Bytes({'X', 0, 'Y', 0});
    struct Case {
        const char* name;
        Bytes tag;
        const char* title;
    } cases[] = {
        {"TIT2 after TIT1",
         Tag(3, {Frame(3, "TIT1", Text(0, "one")), Frame(3, "TIT2", Text(0, "two"))}), "two"},
        {"TIT1 after TIT2",
         Tag(3, {Frame(3, "TIT2", Text(0, "two")), Frame(3, "TIT1", Text(0, "one"))}), "one"},
        {"UTF-16 after Latin-1",
         Tag(3, {Frame(3, "TIT2", Text(0, "two")), Frame(3, "TIT2", utf16Title)}), "XY"},
        {"UTF-16 only", Tag(4, {Frame(4, "TIT2", utf16Title)}), "XY"},
        {"UTF-8 only", Tag(4, {Frame(4, "TIT2", Text(3, "utf8"))}), "utf8"},
        {"empty frame stepped over",
         Tag(3, {Frame(3, "TIT2", {}), Frame(3, "TIT1", Text(0, "one"))}), "one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = Read(c.tag);
        EXPECT_EQ(tag.tagSize, std::int64_t(c.tag.size()));
        EXPECT_EQ(tag.title, c.title);
    }
}

TEST(Id3v2Read, TlenPositionWhateverTheEncoding) {
    const Bytes region =
        Tag(3, {Frame(3, "TIT2", Text(0, "t")),
                Frame(3, "TLEN", ByteWriter().Byte(1).Bytes({0xFF, 0xFE, '9', 0}))});
    const TID3v2 tag = Read(region);
    EXPECT_EQ(tag.lengthText, "9");
    EXPECT_EQ(tag.tlenOffset, 10 + 12 + 10 + 1);
    EXPECT_EQ(tag.tlenLength, 4);
}

TEST(Id3v2Read, FrameSizesPerVersion) {
    const Bytes data200 = Text(0, std::string(199, 'a'));
    const Bytes data328 = Text(0, std::string(327, 'b'));
    const Bytes v4 = ByteWriter()
                         .Text("TIT2")
                         .Bytes({0x00, 0x00, 0x01, 0x48}) // syncsafe: 200, not 328
                         .Bytes({0, 0})                   // flags
                         .Append(data200)
                         .Append(Frame(4, "TPE1", Text(0, "after")));
    const Bytes v3 = ByteWriter()
                         .Text("TIT2")
                         .Bytes({0x00, 0x00, 0x01, 0x48}) // big-endian: 328
                         .Bytes({0, 0})                   // flags
                         .Append(data328)
                         .Append(Frame(3, "TPE1", Text(0, "after")));
    const Bytes v2 = ByteWriter()
                         .Text("TT2")
                         .Bytes({0x00, 0x01, 0x48}) // 3 bytes big-endian: 328
                         .Append(data328)
                         .Append(Frame2("TP1", Text(0, "after")));
    struct Case {
        int version;
        Bytes frames;
        std::size_t titleLength;
    } cases[] = {{4, v4, 199}, {3, v3, 327}, {2, v2, 327}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        const TID3v2 tag = Read(Tag(c.version, {c.frames}));
        EXPECT_EQ(tag.title.size(), c.titleLength);
        EXPECT_EQ(tag.artist, "after");
    }
}

TEST(Id3v2Read, HeaderRefusals) {
    const Bytes good = Tag(3, {Frame(3, "TIT2", Text(0, "t"))});
    const auto with = [&](std::size_t at, std::uint8_t b) {
        Bytes r = good;
        r[at] = b;
        return r;
    };
    struct Case {
        const char* name;
        Bytes region;
        std::int64_t tagSize;
    } cases[] = {
        {"good", good, std::int64_t(good.size())},
        {"version 5", with(3, 5), 0},
        {"version 1", with(3, 1), 0},
        {"version 0xFF", with(3, 0xFF), 0},
        {"revision 0xFF", with(4, 0xFF), 0},
        {"size byte 0x80", with(8, 0x80), 0},
        {"not ID3", with(2, '2'), 0},
        {"header only, 9 bytes", Bytes(good.begin(), good.begin() + 9), 0},
        {"one byte short", Bytes(good.begin(), good.end() - 1), 0},
        // Says 2000 bytes, the file holds 1500 after the header.
        {"larger than the file",
         ByteWriter().Text("ID3").Bytes({3, 0, 0}).Syncsafe32(2000).Fill(1500, 0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = Read(c.region);
        EXPECT_EQ(tag.tagSize, c.tagSize);
        EXPECT_EQ(tag.title, c.tagSize ? "t" : "");
    }
}

TEST(Id3v2Read, WalkStopsAtPaddingAndOversizedFrames) {
    const Bytes oversized = ByteWriter()
                                .Text("TPE1")
                                .Be32(0xFFFFFFFF) // data size far beyond the tag
                                .Bytes({0, 0})    // flags
                                .Text("\0junk");
    struct Case {
        const char* name;
        Bytes region;
    } cases[] = {
        {"padding", Tag(3, {Frame(3, "TIT2", Text(0, "t"))}, 64)},
        {"size beyond the tag", Tag(3, {Frame(3, "TIT2", Text(0, "t")), oversized})},
        {"v4 size beyond the tag",
         Tag(4, {Frame(4, "TIT2", Text(0, "t")),
                 ByteWriter().Text("TPE1").Bytes({0x7F, 0x7F, 0x7F, 0x7F, 0, 0}).Text("x")})},
        {"v2 size beyond the tag",
         Tag(2, {Frame2("TT2", Text(0, "t")), ByteWriter().Text("TP1").Bytes({0xFF, 0xFF, 0xFF})})},
        {"frame header cut by the tag end",
         Tag(3, {Frame(3, "TIT2", Text(0, "t")), ByteWriter().Text("TPE1").Bytes({0, 0})})},
        {"lower-case identifier",
         Tag(3, {Frame(3, "TIT2", Text(0, "t")), Frame(3, "tPE1", Text(0, "x"))})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = Read(c.region);
        EXPECT_EQ(tag.tagSize, std::int64_t(c.region.size()));
        EXPECT_EQ(tag.title, "t");
        EXPECT_EQ(tag.artist, "");
    }
}

TEST(Id3v2Read, GeobObjectNeedsExactlyThreeNuls) {
    const std::string sheet = "FILE \"x.mp3\" MP3\r\n  TRACK 01 AUDIO\r\n";
    const auto geob = [](std::uint8_t encoding, std::string_view rest) {
        return ByteWriter().Byte(encoding).Text(rest).bytes();
    };
    struct Case {
        const char* name;
        Bytes body;
        std::int64_t objectLength;
    } cases[] = {
        // encoding, MIME type NUL, file name NUL, description NUL, object
        {"three NULs", geob(3, std::string("text/x-cue\0a.cue\0\0", 18) + sheet),
         std::int64_t(sheet.size())},
        {"four NULs (Latin-1 encoding byte)",
         geob(0, std::string("text/x-cue\0a.cue\0\0", 18) + sheet), 0},
        {"NUL inside the object", geob(3, std::string("m\0f\0d\0ab\0c", 10)), 0},
        {"control byte after the third NUL", geob(3, std::string("m\0f\0d\0ab\x01", 9)), 0},
        {"control byte before the third NUL", geob(3, std::string("m\x02\0f\0d\0ab", 9)), 2},
        {"two NULs", geob(3, std::string("m\0f\0abc", 7)), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int version : {3, 4}) {
            const Bytes region =
                Tag(version, {Frame(version, "TIT2", Text(0, "t")), Frame(version, "GEOB", c.body),
                              Frame(version, "TPE1", Text(0, "a"))});
            const TID3v2 tag = Read(region);
            EXPECT_EQ(tag.artist, "a");
            EXPECT_EQ(tag.geobLength, c.objectLength);
            if (c.objectLength == 0)
                continue;
            const std::int64_t frameEnd = 10 + 12 + 10 + std::int64_t(c.body.size());
            EXPECT_EQ(tag.geobOffset + tag.geobLength, frameEnd);
            const std::string object(region.begin() + tag.geobOffset,
                                     region.begin() + tag.geobOffset + tag.geobLength);
            EXPECT_EQ(object, c.objectLength == 2 ? "ab" : sheet);
        }
    }
}

TEST(Id3v2Read, ReadReplacesEverything) {
    TID3v2 tag;
    tag.Read(Tag(3, {Frame(3, "TIT2", Text(0, "t")), Frame(3, "TLEN", Text(0, "1"))}));
    ASSERT_EQ(tag.title, "t");
    tag.Read(Bytes(64, 0));
    EXPECT_EQ(tag.tagSize, 0);
    EXPECT_EQ(tag.title, "");
    EXPECT_EQ(tag.tlenOffset, 0);
    EXPECT_EQ(tag.tlenLength, 0);
}

// Tags written by other programs: the tag ends where lame's first frame begins.
TEST(Id3v2Read, TagsWrittenByLame) {
    using namespace velmora::test;
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 1.0, 440.0, 8000);
    const std::string tags = "--id3v2-only --tt 'Song Title' --ta 'The Band' --tl Album "
                             "--tc 'A comment' -b 128";
    EncodeWithLame(pcm, PcmSpec{}, "--id3v2-latin1 " + tags, dir.File("latin1.mp3"));
    EncodeWithLame(pcm, PcmSpec{}, "--id3v2-utf16 " + tags, dir.File("utf16.mp3"));

    const Bytes latin1 = ReadFile(dir.File("latin1.mp3"));
    TID3v2 tag;
    tag.Read(latin1);
    ASSERT_GT(tag.tagSize, 10);
    EXPECT_EQ(tag.version, 3);
    EXPECT_EQ(latin1[tag.tagSize], 0xFF); // a frame header follows
    EXPECT_EQ(tag.title, "Song Title");
    EXPECT_EQ(tag.artist, "The Band");
    EXPECT_EQ(tag.album, "Album");
    EXPECT_EQ(tag.comment, std::string("eng\0A comment", 13));
    ASSERT_GT(tag.tlenLength, 0);
    EXPECT_EQ(tag.lengthText, std::string(latin1.begin() + tag.tlenOffset,
                                          latin1.begin() + tag.tlenOffset + tag.tlenLength));

    const Bytes utf16 = ReadFile(dir.File("utf16.mp3"));
    tag.Read(utf16);
    ASSERT_GT(tag.tagSize, 10);
    EXPECT_EQ(utf16[tag.tagSize], 0xFF);
    EXPECT_EQ(tag.title, "Song Title");
    EXPECT_EQ(tag.artist, "The Band");
    EXPECT_EQ(tag.comment, std::string("eng\0A comment", 13));
}
