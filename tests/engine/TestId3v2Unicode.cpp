#include "Id3v2Builder.h"
#include "OpenHelpers.h"
#include "UnitID3v2.h"
#include "UnitTextEncoding.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

TagBytes Raw(std::string_view bytes) {
    return TagBytes(bytes.begin(), bytes.end());
}

TID3v2 ReadTag(const TagBytes& region) {
    TID3v2 tag;
    tag.Read(region);
    return tag;
}

} // namespace

TEST(Id3TextEncoding, EveryEncodingDecodesToUtf8AndBadTextIsRefused) {
    const struct {
        const char* name;
        std::uint8_t encoding;
        std::string bytes;
        const char* text;    // nullptr: refused
        const char* problem; // part of the refusal's text
    } cases[] = {
        {"Latin-1", 0, "Bj\xF6rk", "Bj\xC3\xB6rk", ""},
        {"UTF-16 little-endian mark", 1,
         std::string("\xFF\xFE"
                     "B\0j\0\xF6\0",
                     8),
         "Bj\xC3\xB6", ""},
        {"UTF-16 big-endian mark", 1, std::string("\xFE\xFF\0B\0j\0\xF6", 8), "Bj\xC3\xB6", ""},
        {"UTF-16 terminated", 1,
         std::string("\xFF\xFE"
                     "A\0\0\0",
                     6),
         "A", ""},
        {"UTF-16 two strings", 1,
         std::string("\xFF\xFE"
                     "A\0\0\0\xFF\xFE"
                     "B\0",
                     10),
         "A/B", ""},
        {"UTF-16 second string keeps the order", 1, std::string("\xFE\xFF\0A\0\0\0B", 8), "A/B",
         ""},
        {"UTF-16 surrogate pair", 1, std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80",
         ""},
        {"UTF-16BE", 2, std::string("\0J\0\xF3\x65\xE5", 6), "J\xC3\xB3\xE6\x97\xA5", ""},
        {"UTF-8", 3, "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", ""},
        {"UTF-8 with a mark", 3, "\xEF\xBB\xBFx", "x", ""},
        {"empty UTF-16", 1, "", "", ""},
        {"odd-length UTF-16", 1,
         std::string("\xFF\xFE"
                     "A\0B",
                     5),
         nullptr, "odd-length"},
        {"UTF-16 without a mark", 1, std::string("A\0B\0", 4), nullptr, "byte-order mark"},
        {"lone high surrogate", 2, std::string("\xD8\x3D\0A", 4), nullptr, "surrogate"},
        {"lone low surrogate", 2, std::string("\xDC\0", 2), nullptr, "surrogate"},
        {"invalid UTF-8", 3, "\xC3\x28", nullptr, "invalid UTF-8"},
        {"overlong UTF-8", 3, "\xC0\xAF", nullptr, "invalid UTF-8"},
        {"UTF-8 surrogate", 3, "\xED\xA0\x80", nullptr, "invalid UTF-8"},
        {"UTF-8 cut short", 3, "ab\xE6\x97", nullptr, "invalid UTF-8"},
        {"unknown encoding", 7, "x", nullptr, "unknown text encoding 7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string problem;
        const auto text = DecodeId3Strings(c.encoding, Raw(c.bytes), problem, '/');
        if (c.text) {
            ASSERT_TRUE(text.has_value()) << problem;
            EXPECT_EQ(*text, c.text);
        } else {
            EXPECT_FALSE(text.has_value());
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
}

TEST(Id3TextEncoding, Id3v1TextsComeDownToLatin1OrNearestAscii) {
    const struct {
        const char* utf8;
        const char* latin1;
    } cases[] = {
        {"Bj\xC3\xB6rk", "Bj\xF6rk"},
        {"\xC5\x81\xC3\xB3\x64\xC5\xBA", "L\xF3"
                                         "dz"},                        // Łódź
        {"\xC5\x93uvre \xC4\xB2", "oeuvre IJ"},                        // œuvre Ĳ
        {"A \xE2\x80\x93 B \xE2\x80\x9Cq\xE2\x80\x9D", "A - B \"q\""}, // dash and quotes
        {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},                            // 日本
        {"\xF0\x9F\x98\x80", "?"},
        {"plain", "plain"},
        {"\xE9t\xE9", "\xE9t\xE9"}, // already single-byte: kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToLatin1Nearest(c.utf8), c.latin1);
        EXPECT_EQ(Latin1ToUtf8(Utf8ToLatin1Nearest(c.latin1)),
                  IsUtf8(c.latin1) ? std::string(c.latin1) : Latin1ToUtf8(c.latin1));
    }
}

TEST(Id3v2Read, UnicodeTextsOfEveryVersionComeAsUtf8) {
    const std::string title = "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC";
    // The same title in UTF-16LE with a mark: B j ö r k space – space J ó g a space 日 本.
    const char16_t units[] = u"Bj\u00F6rk \u2013 J\u00F3ga \u65E5\u672C";
    std::string utf16 = "\xFF\xFE";
    for (const char16_t u : std::u16string_view(units)) {
        utf16 += static_cast<char>(u & 0xFF);
        utf16 += static_cast<char>(u >> 8);
    }
    const std::string comment("eng\0note", 8);
    const struct {
        const char* name;
        TagBytes tag;
    } cases[] = {
        {"2.2 UTF-16", Id3Tag(2, Concat({ByteWriter()
                                             .Text("TT2")
                                             .Be24(std::uint32_t(utf16.size() + 1))
                                             .Append(EncodedText(1, utf16)),
                                         ByteWriter().Text("TP1").Be24(11).Append(
                                             EncodedText(3, "Sigur R\xC3\xB3s"))}))},
        {"2.3 UTF-16",
         Id3Tag(3,
                Concat({Id3Frame(3, "TIT2", EncodedText(1, utf16 + std::string("\0\0", 2))),
                        Id3Frame(3, "TPE1",
                                 EncodedText(1, Utf16Le("Sigur R") + std::string("\xF3\0s\0", 4))),
                        Id3Frame(3, "COMM",
                                 EncodedText(1, "eng" + Utf16Le("") + std::string("\0\0", 2) +
                                                    Utf16Le("note")))}),
                20)},
        {"2.4 UTF-8", Id3Tag(4, Concat({Id3Frame(4, "TIT2", EncodedText(3, title)),
                                        Id3Frame(4, "TPE1", EncodedText(3, "Sigur R\xC3\xB3s")),
                                        Id3Frame(4, "COMM", EncodedText(3, comment))}))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = ReadTag(c.tag);
        EXPECT_EQ(tag.tagSize, std::int64_t(c.tag.size()));
        EXPECT_EQ(tag.title, title);
        EXPECT_EQ(tag.artist, "Sigur R\xC3\xB3s");
        if (std::string_view(c.name) != "2.2 UTF-16") {
            EXPECT_EQ(tag.comment, comment);
        }
        EXPECT_TRUE(tag.notes.empty()) << tag.notes.front();
    }
}

TEST(Id3v2Read, UnsynchronisationExtendedHeadersDataLengthsAndFooters) {
    // "\xFF" (ÿ in Latin-1) followed by 0xE0 or more is stored as FF 00 when unsynchronised.
    const TagBytes title = EncodedText(0, "a\xFF\xFF"
                                          "b");
    const TagBytes unsyncTitle = EncodedText(0, std::string("a\xFF\0\xFF\0b", 6));
    const TagBytes ext3 = ByteWriter()
                              .Be32(6)       // extended header size, without itself
                              .Bytes({0, 0}) // flags
                              .Be32(4);      // padding size
    const TagBytes ext4 = ByteWriter()
                              .Syncsafe32(6) // extended header size, with itself
                              .Byte(1)       // flag bytes
                              .Byte(0);      // flags
    const TagBytes tlen = EncodedText(0, "1234");
    const TagBytes dataLength = ByteWriter().Syncsafe32(5).Append(tlen);
    const struct {
        const char* name;
        TagBytes tag;
        std::int64_t tagSize;
        const char* title;
        std::int64_t tlenOffset; // 0: none
    } cases[] = {
        {"2.3 unsynchronised",
         Id3Tag(3,
                Concat({ByteWriter().Text("TIT2").Be32(5).Bytes({0, 0}), // size before unsync
                        unsyncTitle, Id3Frame(3, "TLEN", tlen)}),
                0, 0x80),
         10 + 10 + 7 + 10 + 5,
         "a\xC3\xBF\xC3\xBF"
         "b",
         0},
        {"2.3 unsynchronised, nothing to undo",
         Id3Tag(3, Concat({Id3Frame(3, "TLEN", tlen), Id3Frame(3, "TIT2", EncodedText(0, "ab"))}),
                0, 0x80),
         10 + 15 + 13, "ab", 10 + 10 + 1},
        {"2.3 extended header",
         Id3Tag(3, Concat({ext3, Id3Frame(3, "TLEN", tlen), Id3Frame(3, "TIT2", title)}), 4, 0x40),
         10 + 10 + 15 + 15 + 4,
         "a\xC3\xBF\xC3\xBF"
         "b",
         10 + 10 + 10 + 1},
        {"2.4 extended header", Id3Tag(4, Concat({ext4, Id3Frame(4, "TIT2", title)}), 0, 0x40),
         10 + 6 + 15,
         "a\xC3\xBF\xC3\xBF"
         "b",
         0},
        {"2.4 frame unsynchronisation and data length",
         Id3Tag(4, Concat({Id3Frame(4, "TLEN", dataLength, 0x01),
                           Id3Frame(4, "TIT2", Concat({ByteWriter().Syncsafe32(5), unsyncTitle}),
                                    0x03)})),
         10 + 19 + 21,
         "a\xC3\xBF\xC3\xBF"
         "b",
         10 + 10 + 4 + 1},
        {"2.4 footer",
         Concat({Id3Tag(4, Id3Frame(4, "TIT2", title), 0, 0x10),
                 ByteWriter().Text("3DI").Bytes({4, 0, 0x10}).Syncsafe32(15)}),
         10 + 15 + 10,
         "a\xC3\xBF\xC3\xBF"
         "b",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TagBytes region = c.tag;
        region.insert(region.end(), {0xFF, 0xFB, 0x90, 0x64}); // audio follows
        const TID3v2 tag = ReadTag(region);
        EXPECT_EQ(tag.tagSize, c.tagSize);
        EXPECT_EQ(tag.title, c.title);
        EXPECT_EQ(tag.tlenOffset, c.tlenOffset);
        if (c.tlenOffset > 0) {
            EXPECT_EQ(tag.lengthText, "1234");
            EXPECT_EQ(region[std::size_t(c.tlenOffset)], '1');
        }
    }
}

TEST(Id3v2Read, BadTextFramesAreIgnoredWithANoteAndTheOthersKept) {
    const struct {
        const char* name;
        TagBytes frame;
        const char* note;
    } cases[] = {
        {"odd-length UTF-16",
         Id3Frame(3, "TIT2",
                  EncodedText(1, std::string("\xFF\xFE"
                                             "A\0B",
                                             5))),
         "TIT2: odd-length UTF-16; ignored"},
        {"no byte-order mark", Id3Frame(3, "TIT2", EncodedText(1, std::string("A\0B\0", 4))),
         "TIT2: UTF-16 without a byte-order mark; ignored"},
        {"invalid UTF-8", Id3Frame(4, "TIT2", EncodedText(3, "\xFF\xFE")),
         "TIT2: invalid UTF-8; ignored"},
        {"unknown encoding", Id3Frame(4, "TIT2", EncodedText(9, "x")),
         "TIT2: unknown text encoding 9; ignored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TagBytes tag =
            Id3Tag(4, Concat({Id3Frame(4, "TIT2", EncodedText(0, "before")), c.frame,
                              Id3Frame(4, "TPE1", EncodedText(3, "kept"))}));
        const TID3v2 read = ReadTag(tag);
        EXPECT_EQ(read.title, "before");
        EXPECT_EQ(read.artist, "kept");
        ASSERT_EQ(read.notes.size(), 1u);
        EXPECT_EQ(read.notes[0], std::string("ID3v2 ") + c.note);
    }
}
