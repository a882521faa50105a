#include "CueHelpers.h"

#include "SmallTmpfs.h"
#include "UnitCueGenerate.h"
#include "UnitCueParse.h"
#include "UnitUtf8.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

CueParseContext Context() {
    return {Mpeg1Layer3Header(), 100000, false};
}

std::string TextOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(Utf8Text, WellFormedSequencesStayAndEveryOtherByteBecomesOneReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain ASCII", "plain ASCII"},
        {"Bj\xC3\xB6rk \xE2\x82\xAC \xF0\x9F\x8E\xB5",
         "Bj\xC3\xB6rk \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"caf\xE9.mp3", "caf" + r + ".mp3"}, // Latin-1 byte
        {"\xC0\x80", r + r},                 // overlong NUL
        {"\xE0\x9F\xBF", r + r + r},         // overlong three-byte form
        {"\xED\xA0\x80", r + r + r},         // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // above U+10FFFF
        {"\xE2\x82", r + r},                 // cut short at the end
        {"\xE2\x82x", r + r + "x"},          // cut short inside
        {"\xFF\xFE"
         "a",
         r + r + "a"},                                    // never a lead byte
        {std::string("a\0b", 3), std::string("a\0b", 3)}, // NUL is a character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
        EXPECT_EQ(IsValidUtf8(c.in), c.in == c.out) << c.in;
    }
}

TEST(Utf8Text, Windows1252BytesBecomeTheirCharacters) {
    EXPECT_EQ(Windows1252ToUtf8("Caf\xE9 \x80 \x93q\x94 \x8A\x9F \xFF"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xA0\xC5\xB8 \xC3\xBF");
    // The undefined bytes keep their Latin-1 meaning (C1 controls).
    EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(Windows1252ToUtf8("ascii"), "ascii");
}

TEST(ParseCueSheet, ByteOrderMarkAndSingleByteSheetsGiveUtf8Names) {
    const std::string tracks = "FILE \"x.mp3\" MP3\n"
                               "  TRACK 01 AUDIO\n    TITLE \"J\xC3\xB3ga\"\n"
                               "    INDEX 01 00:00:00\n";
    const struct {
        std::string sheet, performer, title, name;
    } cases[] = {
        // A byte-order mark before the first keyword used to hide the whole first line.
        {"\xEF\xBB\xBFPERFORMER \"Bj\xC3\xB6rk\"\nTITLE \"Caf\xC3\xA9\"\n" + tracks, "Bj\xC3\xB6rk",
         "Caf\xC3\xA9", "01 J\xC3\xB3ga.mp3"},
        {"PERFORMER \"Bj\xC3\xB6rk\"\n" + tracks, "Bj\xC3\xB6rk", "", "01 J\xC3\xB3ga.mp3"},
        {"PERFORMER \"Bj\xF6rk\"\nTITLE \"Caf\xE9\"\nFILE \"x.mp3\" MP3\nTRACK 01 AUDIO\n"
         "TITLE \"J\xF3ga \x93"
         "Live\x94\"\nINDEX 01 00:00:00\n",
         "Bj\xC3\xB6rk", "Caf\xC3\xA9", "01 J\xC3\xB3ga \xE2\x80\x9CLive\xE2\x80\x9D.mp3"},
    };
    for (const auto& c : cases) {
        const CueTrackTable t = ParseCueSheetText(c.sheet, Context());
        EXPECT_EQ(t.CueAlbumPerformer, c.performer) << c.sheet;
        EXPECT_EQ(t.CueAlbumTitle, c.title) << c.sheet;
        ASSERT_EQ(t.tracks.size(), 1u) << c.sheet;
        EXPECT_EQ(t.tracks[0].name, c.name);
    }
    // UTF-16 is not read: such a sheet has no tracks (and the splitter refuses it).
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("FILE \"x\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"))
        utf16 += std::string(1, c) + '\0';
    EXPECT_TRUE(ParseCueSheetText(utf16, Context()).tracks.empty());
}

TEST(RenderCueSheet, QuotesAndLineEndsInThePathCannotBreakTheSheet) {
    const struct {
        std::string path, shown;
    } cases[] = {
        {"/m/live.mp3", "/m/live.mp3"},
        {"/m/say \"hi\".mp3", "/m/say ''hi''.mp3"},
        {"/m/a\nTRACK 05 AUDIO\r\tb.mp3", "/m/a TRACK 05 AUDIO  b.mp3"},
        {"/m/caf\xC3\xA9\x7F.mp3", "/m/caf\xC3\xA9 .mp3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CueFileLinePath(c.path), c.shown);
        const std::string text = RenderCueSheet(c.path, Mpeg1Layer3Header(), {0, 2025});
        EXPECT_EQ(text.substr(0, text.find("\r\n")), "FILE \"" + c.shown + "\" BINARY");
        // The sheet reads back: no stray TRACK line numbered out of turn.
        const CueTrackTable t = ParseCueSheetText(text, Context());
        ASSERT_EQ(t.tracks.size(), 2u) << c.path;
        EXPECT_NEAR(t.tracks[1].startFrame, 2025, 1);
    }
}

TEST(WriteCueSheetFile, AFullDiskKeepsTheOldSheetAndLeavesNoTemporaryFile) {
    SmallTmpfs disk;
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    const std::string sheet = disk.File("many.cue");
    const std::string handMade = "REM made by hand\r\nFILE \"many.mp3\" BINARY\r\n";
    WriteText(sheet, handMade);
    disk.Fill();
    // Several pages: a sheet truncated first would keep only what fitted.
    std::string longer;
    while (longer.size() < 12000)
        longer += "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n";
    try {
        WriteCueSheetFile(sheet, longer);
        FAIL() << "the write succeeded on a full disk";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("No space left on device - ", 0), 0u) << e.what();
    }
    EXPECT_EQ(TextOf(sheet), handMade);
    EXPECT_EQ(Listing(disk.File("")), (std::vector<std::string>{"filler", "many.cue"}));

    std::filesystem::remove(disk.File("filler"));
    WriteCueSheetFile(sheet, longer);
    EXPECT_EQ(TextOf(sheet), longer);
    EXPECT_EQ(Listing(disk.File("")), (std::vector<std::string>{"many.cue"}));
}

TEST(WriteCueSheetFile, ANameAtTheFileSystemsLimitIsWritten) {
    TempDir dir;
    const std::string sheet = dir.File(std::string(kNameMax - 4, 'n') + ".cue");
    WriteCueSheetFile(sheet, "old\r\n");
    WriteCueSheetFile(sheet, "new\r\n");
    EXPECT_EQ(TextOf(sheet), "new\r\n");
    EXPECT_EQ(Listing(dir.path()).size(), 1u);
}
