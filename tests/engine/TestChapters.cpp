#include "Id3v2Builder.h"
#include "OpenHelpers.h"
#include "UnitChapters.h"
#include "UnitID3v2.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

TID3v2 ReadTag(const TagBytes& region) {
    TID3v2 tag;
    tag.Read(region);
    return tag;
}

TagBytes Title(int version, std::string_view utf8) {
    return Id3Frame(version, "TIT2", EncodedText(3, utf8));
}

// A podcast's tag: title, cover art, a table of three chapters, the chapters, padding.
struct Podcast {
    int version = 3;
    std::vector<std::string> listed = {"ch0", "ch1", "ch2"};
    bool intro = true; // ch0 is there
    bool outro = true; // ch2 is there
    std::uint32_t times[3][2] = {{0, 30000}, {30000, 60000}, {60000, 90000}};
    std::uint32_t offsets[2] = {5000, 9000}; // ch2's byte offsets
    std::size_t padding = 64;
    std::uint8_t flags = 0;

    TagBytes Frames() const {
        const TagBytes art = ByteWriter()
                                 .Byte(0) // encoding
                                 .Text("image/png")
                                 .Byte(0) // MIME type
                                 .Byte(3) // picture type: front cover
                                 .Byte(0) // description
                                 .Bytes({0x89, 'P', 'N', 'G', 0xFF, 0xFF, 0x00, 0xE0});
        TagBytes frames = Concat({Title(version, "Show"), Id3Frame(version, "APIC", art),
                                  Id3Frame(version, "CTOC", CtocData("toc", 0x03, listed)),
                                  Id3Frame(version, "XUNK", {1, 2, 3})});
        if (intro)
            frames = Concat({frames, Id3Frame(version, "CHAP",
                                              ChapData("ch0", times[0][0], times[0][1],
                                                       Title(version, "Intro")))});
        frames = Concat({frames, Id3Frame(version, "CHAP",
                                          ChapData("ch1", times[1][0], times[1][1],
                                                   Title(version, "J\xC3\xB3ga")))});
        if (outro)
            frames = Concat({frames, Id3Frame(version, "CHAP",
                                              ChapData("ch2", times[2][0], times[2][1], {},
                                                       offsets[0], offsets[1]))});
        return frames;
    }
    TagBytes Bytes() const {
        TagBytes tag = Id3Tag(version, Frames(), padding, flags);
        if (flags & 0x10) { // footer
            const TagBytes footer = ByteWriter().Text("3DI").Byte(4).Byte(0).Byte(flags);
            tag = Concat({tag, footer, TagBytes(tag.begin() + 6, tag.begin() + 10)});
        }
        return tag;
    }
};

} // namespace

TEST(Chapters, ChaptersAndTablesAreReadWithTheirTitles) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        Podcast p;
        p.version = version;
        // Out of order in the tag: the list is by start time.
        p.times[0][0] = 1000;
        const TID3v2 tag = ReadTag(p.Bytes());
        EXPECT_EQ(tag.title, "Show");
        ASSERT_EQ(tag.chapters.size(), 3u);
        EXPECT_EQ(tag.chapters[1], (Chapter{"ch1", 30000, 60000, kNoChapterOffset, kNoChapterOffset,
                                            "J\xC3\xB3ga"}));
        EXPECT_EQ(tag.chapters[2], (Chapter{"ch2", 60000, 90000, 5000, 9000, ""}));
        ASSERT_EQ(tag.tables.size(), 1u);
        EXPECT_EQ(tag.tables[0].flags, 0x03);
        EXPECT_EQ(tag.tables[0].entries, (std::vector<std::string>{"ch0", "ch1", "ch2"}));
        const std::vector<Chapter> ordered = tag.ChaptersInOrder();
        EXPECT_EQ(ordered[0].title, "Intro");
        EXPECT_EQ(ordered[0].startMs, 1000u);
        EXPECT_EQ(tag.chapterTag, p.Bytes());
        EXPECT_TRUE(tag.notes.empty());
    }
}

TEST(Chapters, BadChapterFramesAreIgnoredWithANoteAndTheOthersKept) {
    const TagBytes good = Id3Frame(4, "CHAP", ChapData("ok", 0, 1000, Title(4, "Fine")));
    const TagBytes oversizeSub = ByteWriter().Text("TIT2").Syncsafe32(500).Bytes({0, 0}).Byte(3);
    const struct {
        const char* name;
        TagBytes frames;
        std::size_t chapters; // besides "ok"
        const char* note;
    } cases[] = {
        {"end before start", Id3Frame(4, "CHAP", ChapData("bad", 5000, 4000)), 0,
         "ID3v2 CHAP \"bad\" ends before it starts; ignored"},
        {"cut short", Id3Frame(4, "CHAP", ByteWriter().Text("bad").Byte(0).Be32(0)), 0,
         "ID3v2 CHAP frame cut short; ignored"},
        {"no element ID", Id3Frame(4, "CHAP", ByteWriter().Text("bad")), 0,
         "ID3v2 CHAP frame cut short; ignored"},
        {"table naming a missing chapter",
         Id3Frame(4, "CTOC", CtocData("toc", 0x03, {"ok", "gone"})), 0,
         "ID3v2 CTOC \"toc\" names \"gone\", which the tag does not hold; ignored"},
        {"table cut short",
         Id3Frame(4, "CTOC", ByteWriter().Text("toc").Byte(0).Byte(3).Byte(2).Text("ok").Byte(0)),
         0, "ID3v2 CTOC \"toc\" cut short; ignored"},
        {"title sub-frame larger than its chapter",
         Id3Frame(4, "CHAP", ChapData("big", 1000, 2000, oversizeSub)), 1,
         "ID3v2 frame TIT2 of 500 bytes is larger than the tag; ignored"},
        {"title in invalid UTF-8",
         Id3Frame(4, "CHAP",
                  ChapData("utf", 1000, 2000, Id3Frame(4, "TIT2", EncodedText(3, "\xC3")))),
         1, "ID3v2 CHAP \"utf\" TIT2: invalid UTF-8; ignored"},
        {"chapter frame larger than the tag",
         ByteWriter().Text("CHAP").Syncsafe32(100000).Bytes({0, 0}).Text("big").Byte(0).bytes(), 0,
         "ID3v2 frame CHAP of 100000 bytes is larger than the tag; ignored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = ReadTag(Id3Tag(4, Concat({Title(4, "Show"), good, c.frames})));
        EXPECT_EQ(tag.title, "Show");
        ASSERT_EQ(tag.chapters.size(), 1 + c.chapters);
        EXPECT_EQ(tag.chapters[0].title, "Fine");
        EXPECT_TRUE(tag.tables.empty());
        ASSERT_EQ(tag.notes.size(), 1u);
        EXPECT_EQ(tag.notes[0], c.note);
    }
}

TEST(Chapters, AThousandChaptersAndChaptersBeyondTheAudio) {
    TagBytes frames;
    for (std::uint32_t k = 0; k < 1000; ++k)
        frames = Concat({frames, Id3Frame(4, "CHAP",
                                          ChapData("c" + std::to_string(k), (999 - k) * 1000,
                                                   (1000 - k) * 1000))});
    TID3v2 tag = ReadTag(Id3Tag(4, frames));
    ASSERT_EQ(tag.chapters.size(), 1000u);
    const std::vector<Chapter> ordered = tag.ChaptersInOrder();
    EXPECT_EQ(ordered.front().elementId, "c999");
    EXPECT_EQ(ordered.back().elementId, "c0");

    // 700.5 s of audio: chapters from 701 s on start after it; one ending at 701 s stays.
    DropChaptersOutside(tag, 700500);
    EXPECT_EQ(tag.chapters.size(), 701u);
    EXPECT_EQ(tag.notes.size(), 299u);
    EXPECT_EQ(tag.notes[0], "ID3v2 CHAP \"c0\" lies beyond the end of the audio; ignored");
    tag = ReadTag(Id3Tag(4, Id3Frame(4, "CHAP", ChapData("long", 0, 702000))));
    DropChaptersOutside(tag, 700500);
    EXPECT_TRUE(tag.chapters.empty());
}

TEST(Chapters, ChapterTimesAreFormatted) {
    EXPECT_EQ(FormatChapterTime(0), "0:00.000");
    EXPECT_EQ(FormatChapterTime(90250), "1:30.250");
    EXPECT_EQ(FormatChapterTime(3600000 + 61001), "1:01:01.001");
}

TEST(Chapters, ACutMovesTheChaptersAndLeavesEveryOtherByte) {
    const auto cut = [](std::int64_t beginMs, std::int64_t endMs, std::int64_t leadMs,
                        std::int64_t beginByte, std::int64_t outputByte, bool endCut) {
        ChapterCut c;
        c.keptBeginMs = beginMs;
        c.keptEndMs = endMs;
        c.leadMs = leadMs;
        c.keptBeginByte = beginByte;
        c.keptEndByte = 20000;
        c.outputBeginByte = outputByte;
        c.endCut = endCut;
        return c;
    };
    // What the source becomes in each case.
    const auto startCut = [](Podcast& p) {
        p.intro = false;
        p.listed = {"ch1", "ch2"};
        p.times[1][0] = 0, p.times[1][1] = 30000;
        p.times[2][0] = 30000, p.times[2][1] = 60000;
        p.offsets[0] = 3500, p.offsets[1] = 7500;
    };
    const struct {
        const char* name;
        int version;
        std::uint8_t flags;
        ChapterCut cut;
        void (*expect)(Podcast&);
    } cases[] = {
        {"2.3, 30 s off the start", 3, 0, cut(30000, 90000, 0, 2000, 500, false), startCut},
        {"2.4, 30 s off the start", 4, 0, cut(30000, 90000, 0, 2000, 500, false), startCut},
        {"2.4 with a footer: the tag shrinks", 4, 0x10, cut(30000, 90000, 0, 2000, 500, false),
         startCut},
        {"the end cut at 45 s", 3, 0, cut(0, 45000, 0, 2000, 2000, true),
         [](Podcast& p) {
             p.listed = {"ch0", "ch1"};
             p.outro = false;
             p.times[1][1] = 45000;
         }},
        {"a second of silence added", 4, 0, cut(0, 90000, 1000, 2000, 2417, false),
         [](Podcast& p) {
             for (auto& t : p.times)
                 t[0] += 1000, t[1] += 1000;
             p.offsets[0] += 417, p.offsets[1] += 417;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Podcast source;
        source.version = c.version;
        source.flags = c.flags;
        source.padding = c.flags & 0x10 ? 0 : 64;
        Podcast expected = source;
        c.expect(expected);
        const TagBytes before = source.Bytes();
        TagBytes want = expected.Bytes();
        if (!(c.flags & 0x10)) { // the room left becomes padding
            expected.padding += before.size() - want.size();
            want = expected.Bytes();
            ASSERT_EQ(want.size(), before.size());
        }
        std::vector<std::string> notes;
        const auto moved = MoveChapters(before, c.cut, notes);
        ASSERT_TRUE(moved.has_value());
        EXPECT_EQ(*moved, want);
        EXPECT_TRUE(notes.empty());
        const TID3v2 read = ReadTag(*moved);
        EXPECT_EQ(read.tagSize, std::int64_t(want.size()));
        EXPECT_TRUE(read.notes.empty());
        EXPECT_EQ(read.tables.size(), 1u);
    }

    // A save that keeps everything where it was leaves the tag alone.
    std::vector<std::string> notes;
    EXPECT_FALSE(MoveChapters(Podcast().Bytes(), cut(0, 90000, 0, 2000, 2000, false), notes));
    // The last chapter may end past the audio: only a cut at the end shortens it.
    Podcast late;
    late.times[2][1] = 90400;
    EXPECT_FALSE(MoveChapters(late.Bytes(), cut(0, 90000, 0, 2000, 2000, false), notes));
}

TEST(Chapters, ChaptersOfFlaggedFramesAndUnsynchronisedTagsMove) {
    // A version-4 chapter with a data length and unsynchronisation: its times hold 0xFF bytes.
    const TagBytes content = ChapData("ch1", 0x0000FF00, 0x0001FF00);
    const TagBytes stored =
        Concat({ByteWriter().Syncsafe32(std::uint32_t(content.size())), Unsynchronised(content)});
    const TagBytes tag =
        Id3Tag(4, Concat({Title(4, "Show"), Id3Frame(4, "CHAP", stored, 0x03)}), 32);
    ChapterCut cut;
    cut.keptBeginMs = 0x0000FF00 - 0x100;
    cut.keptEndMs = 0x0001FF00;
    std::vector<std::string> notes;
    const auto moved = MoveChapters(tag, cut, notes);
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(moved->size(), tag.size());
    const TID3v2 read = ReadTag(*moved);
    ASSERT_EQ(read.chapters.size(), 1u);
    EXPECT_EQ(read.chapters[0].startMs, 0x100u);
    EXPECT_EQ(read.chapters[0].endMs, 0x10100u);
    EXPECT_EQ(read.title, "Show");

    // A version-3 tag unsynchronised as a whole, its cover holding FF E0: stored longer than
    // the frames it holds.
    const TagBytes frames =
        Concat({Title(3, "Show"), Id3Frame(3, "APIC", {0, 0, 3, 0, 0xFF, 0xE0, 0xFF}),
                Id3Frame(3, "CHAP", content)});
    const TagBytes unsynchronised = Id3Tag(3, Unsynchronised(frames), 32, 0x80);
    const auto movedWhole = MoveChapters(unsynchronised, cut, notes);
    ASSERT_TRUE(movedWhole.has_value());
    EXPECT_EQ(movedWhole->size(), unsynchronised.size());
    const TID3v2 again = ReadTag(*movedWhole);
    ASSERT_EQ(again.chapters.size(), 1u);
    EXPECT_EQ(again.chapters[0].startMs, 0x100u);
    EXPECT_EQ(again.title, "Show");
    EXPECT_TRUE(again.notes.empty());
}
