#include "UnitCueGenerate.h"
#include "UnitCueParse.h"
#include "VelmoraError.h"

#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

MpegHeader Mpeg1Header() {
    return velmora::test::Mpeg1Layer3Header();
}

struct Gap {
    std::int64_t begin, length;
};

// A loud recording of n frames with energy-0 runs at the given places.
FrameTable Energies(std::int64_t n, std::initializer_list<Gap> gaps, std::uint32_t loud = 5000) {
    FrameTable t;
    t.Resize(n + 2);
    for (std::int64_t i = 0; i < n; ++i)
        t[i].energy = loud;
    for (const Gap& g : gaps)
        for (std::int64_t i = g.begin; i < g.begin + g.length; ++i)
            t[i].energy = 0;
    return t;
}

using Splits = std::vector<std::int64_t>;

} // namespace

TEST(QuietThreshold, FirstBinHoldingASixteenthOrTheRunningCount) {
    FrameTable t;
    t.Resize(1602);
    for (int i = 0; i < 1600; ++i)
        t[i].energy = 3000 * 256;
    // 99 of 1600 quiet frames are short of a sixteenth (100): the threshold moves past them.
    for (int i = 0; i < 99; ++i)
        t[i].energy = 10;
    EXPECT_EQ(QuietThreshold(t, 1600), 3001u);
    t[99].energy = 255;
    EXPECT_EQ(QuietThreshold(t, 1600), 1u);
    // Frames louder than the histogram count in no bin: the walk ends with the running count.
    for (int i = 0; i < 1600; ++i)
        t[i].energy = i < 50 ? 0 : 8192u * 256u;
    EXPECT_EQ(QuietThreshold(t, 1600), 50u);
    EXPECT_EQ(QuietThreshold(t, 0), 1u);
}

TEST(FindCueSplits, ChoosesLongestGapsFirstWithinTheRules) {
    const struct {
        const char* what;
        std::int64_t n, minTrack;
        std::vector<Gap> gaps;
        Splits expected;
    } cases[] = {
        {"longest first, each at its middle",
         10000,
         100,
         {{2000, 50}, {5000, 31}, {8000, 100}},
         {0, 8050, 2025, 5015}},
        {"19 frames are too short, 20 are enough", 10000, 100, {{2000, 19}, {6000, 20}}, {0, 6010}},
        {"middles closer than minTrack to either end are never used",
         10000,
         100,
         {{0, 150}, {9850, 150}},
         {0}},
        {"middle exactly minTrack from the start is used, N - minTrack is not",
         10000,
         100,
         {{80, 40}, {9880, 40}},
         {0, 100}},
        {"of two gaps inside one claim only the longer counts",
         10000,
         100,
         {{3000, 40}, {3060, 30}},
         {0, 3020}},
        {"a gap beyond the claim around the first counts too",
         10000,
         100,
         {{3000, 40}, {3130, 30}},
         {0, 3020, 3145}},
        {"of equally long gaps the first wins the pass",
         10000,
         100,
         {{7000, 30}, {2000, 30}},
         {0, 2015, 7015}},
        {"a long gap is chosen once, not over and over",
         10000,
         10,
         {{5000, 115}, {2000, 25}},
         {0, 5057, 2012}},
        {"the last gap found within 200 frames of the end is dropped", 1000, 10, {{830, 40}}, {0}},
        {"201 frames from the end it stays", 1000, 10, {{779, 40}}, {0, 799}},
        {"a file of 150 frames without gaps gets no track", 150, 10, {}, {}},
        {"a file of 201 frames without gaps gets one", 201, 10, {}, {0}},
    };
    for (const auto& c : cases) {
        FrameTable t;
        t.Resize(c.n + 2);
        for (std::int64_t i = 0; i < c.n; ++i)
            t[i].energy = 5000;
        for (const Gap& g : c.gaps)
            for (std::int64_t i = g.begin; i < g.begin + g.length; ++i)
                t[i].energy = 0;
        EXPECT_EQ(FindCueSplits(t, c.n, c.minTrack), c.expected) << c.what;
    }
}

TEST(FindCueSplits, StopsAtNinetyEightGaps) {
    FrameTable t = Energies(200000, {});
    for (int g = 0; g < 120; ++g)
        for (int i = 0; i < 30; ++i)
            t[1000 + g * 1500 + i].energy = 0;
    const Splits s = FindCueSplits(t, 200000, 10);
    ASSERT_EQ(s.size(), 99u);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], 1015); // all equally long: the first gap of each pass wins
    EXPECT_EQ(s[98], 1000 + 97 * 1500 + 15);
}

TEST(RenderCueSheet, TwoGapsGiveSevenCrLfLinesInTimeOrder) {
    const std::string text = RenderCueSheet("/music/live.mp3", Mpeg1Header(), {0, 8050, 2025});
    EXPECT_EQ(text, "FILE \"/music/live.mp3\" BINARY\r\n"
                    "  TRACK 01 AUDIO\r\n"
                    "    INDEX 01 00:00:00\r\n"
                    "  TRACK 02 AUDIO\r\n"
                    "    INDEX 01 00:52:89\r\n"
                    "  TRACK 03 AUDIO\r\n"
                    "    INDEX 01 03:30:28\r\n");
    EXPECT_EQ(RenderCueSheet("a.mp3", Mpeg1Header(), {}), "FILE \"a.mp3\" BINARY\r\n");
}

TEST(GenerateCueSheetText, ReadsBackToTheSameStartFrames) {
    StreamInfo info;
    info.firstHeader = Mpeg1Header();
    info.frameCount = 300000; // about 2 h 10 min: index minutes take three digits at the end
    info.frames = Energies(info.frameCount, {{50000, 60}, {150000, 80}, {290000, 70}});
    const GeneratedCueSheet sheet = GenerateCueSheetText("x.mp3", info, 60);
    EXPECT_EQ(sheet.trackFrames, (Splits{0, 50030, 150040, 290035}));
    const CueTrackTable table =
        ParseCueSheetText(sheet.text, {info.firstHeader, info.frameCount, false});
    ASSERT_EQ(table.tracks.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        // Hundredths of a second are coarser than a frame (26 ms) in neither direction by more
        // than one frame.
        EXPECT_NEAR(table.tracks[k].startFrame, sheet.trackFrames[k], 1) << k;
    }
    EXPECT_NE(sheet.text.find("INDEX 01 126:"), std::string::npos) << sheet.text;
}

TEST(WriteCueSheetFile, OverwritesAndReportsFileErrors) {
    test::TempDir dir;
    WriteCueSheetFile(dir.File("a.cue"), "long old text\r\n");
    WriteCueSheetFile(dir.File("a.cue"), "new\r\n");
    const std::vector<std::uint8_t> bytes = test::ReadFile(dir.File("a.cue"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new\r\n");
    EXPECT_THROW(WriteCueSheetFile(dir.File("no/such/a.cue"), "x"), VelmoraError);
}

TEST(WriteCueSheetFile, ReplacesTheLinkedSheetWholeAndKeepsItsMode) {
    test::TempDir dir;
    const std::string real = dir.File("real.cue");
    const std::string link = dir.File("a.cue");
    WriteCueSheetFile(real, "old\r\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.cue", link.c_str()), 0);

    WriteCueSheetFile(link, "new\r\n");
    const std::vector<std::uint8_t> bytes = test::ReadFile(real);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing but the two names: no temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.cue", "real.cue"}));

    try {
        WriteCueSheetFile(dir.File("no/such/a.cue"), "x");
        ADD_FAILURE() << "written";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()), "No such file or directory - Could not create \"" +
                                             dir.File("no/such/a.cue") + "\"");
    }
}
