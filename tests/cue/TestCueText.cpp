#include "CueHelpers.h"

#include "Fixtures.h"

#include "UnitCueGenerate.h"
#include "UnitCueParse.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string TextOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(ParseCueSheet, ByteOrderMarkAndWindows1252SheetsGiveUtf8Names) {
    const struct {
        std::string sheet, performer, name;
    } cases[] = {
        // The mark used to hide the whole first line.
        {"\xEF\xBB\xBFPERFORMER \"Bj\xC3\xB6rk\"\nFILE \"x\"\nTITLE \"J\xC3\xB3ga\"\nINDEX 01 "
         "00:00:00",
         "Bj\xC3\xB6rk", "01 J\xC3\xB3ga.mp3"},
        {"PERFORMER \"Bj\xF6rk\"\nFILE \"x\"\nTITLE \"\x93J\xF3ga\x94 \x80\"\nINDEX 01 00:00:00",
         "Bj\xC3\xB6rk", "01 \xE2\x80\x9CJ\xC3\xB3ga\xE2\x80\x9D \xE2\x82\xAC.mp3"},
    };
    for (const auto& c : cases) {
        const CueTrackTable t = ParseCueSheetText(c.sheet, {Mpeg1Layer3Header(), 1000, false});
        EXPECT_EQ(t.CueAlbumPerformer, c.performer);
        ASSERT_EQ(t.tracks.size(), 1u);
        EXPECT_EQ(t.tracks[0].name, c.name);
    }
}

TEST(RenderCueSheet, QuotesAndLineEndsInThePathCannotBreakTheSheet) {
    const std::string text =
        RenderCueSheet("/m/\"a\"\nTRACK 05 AUDIO\r\x7F.mp3", Mpeg1Layer3Header(), {0, 2025});
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "FILE \"/m/''a'' TRACK 05 AUDIO  .mp3\" BINARY");
    EXPECT_EQ(ParseCueSheetText(text, {Mpeg1Layer3Header(), 3000, false}).tracks.size(), 2u);
}

TEST(WriteCueSheetFile, AFullDiskKeepsTheOldSheetAndLeavesNoFileBehind) {
    TempDir disk;
    if (RunCommand("mount -t tmpfs -o size=64k velmora-test '" + disk.path() + "'") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    struct Unmount {
        std::string path;
        ~Unmount() { RunCommand("umount '" + path + "'"); }
    } unmount{disk.path()};
    // A name at the file system's limit still leaves room for the temporary name.
    const std::string sheet = disk.File(std::string(kNameMax - 4, 'n') + ".cue");
    WriteCueSheetFile(sheet, "REM made by hand\r\n");
    RunCommand("cat /dev/zero > '" + disk.File("filler") + "'");
    // Several pages: a sheet truncated first would keep only what fitted.
    const std::string longer(12000, 'x');
    for (const std::string& target : {sheet, disk.File("new.cue")})
        EXPECT_THROW(WriteCueSheetFile(target, longer), VelmoraError);
    EXPECT_TRUE(TextOf(sheet) == "REM made by hand\r\n");
    EXPECT_EQ(Listing(disk.path()).size(), 2u); // the sheet and the filler
    std::filesystem::remove(disk.File("filler"));
    WriteCueSheetFile(sheet, longer);
    EXPECT_TRUE(TextOf(sheet) == longer);
}
