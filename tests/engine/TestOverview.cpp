#include "LevelSteps.h"
#include "OpenHelpers.h"
#include "UnitOpen.h"
#include "UnitOverview.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velmora;
using namespace velmora::test;

namespace {

std::uint8_t MedianLevel(const StreamInfo& info, std::pair<std::int64_t, std::int64_t> range) {
    std::vector<std::uint8_t> levels;
    for (std::int64_t i = range.first; i < range.second; ++i)
        levels.push_back(info.frames[i].level);
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

} // namespace

TEST(Overview, LevelIsTheLoudestGainOfTheGranulesWithBits) {
    FrameSpec mono2;
    mono2.versionId = 2; // MPEG-2, 22050 Hz
    mono2.channelMode = 3;
    const struct {
        FrameSpec base;
        std::array<int, 4> part23;
        std::array<int, 4> gain;
        int level;
    } cases[] = {
        {{}, {0, 0, 0, 0}, {200, 200, 200, 200}, 0}, // no bits: silence, whatever the gain
        {{}, {800, 0, 0, 0}, {150, 220, 0, 0}, 150}, // the silent granule's gain is no level
        {{}, {800, 800, 800, 800}, {120, 180, 140, 100}, 180},
        {{}, {0, 0, 0, 900}, {250, 250, 250, 90}, 90}, // the last slot counts
        {{}, {800, 0, 0, 0}, {0, 0, 0, 0}, 1},         // bits with gain 0 still sound
        {mono2, {700, 0, 0, 0}, {170, 0, 0, 0}, 170},  // MPEG-2 mono: one slot
    };
    for (const auto& c : cases) {
        FrameSpec spec = c.base;
        spec.part23Length = c.part23;
        spec.globalGain = c.gain;
        std::vector<std::uint8_t> bytes;
        AppendFrames(bytes, spec, 16);
        const StreamInfo info = Analyse(bytes).info;
        ASSERT_EQ(info.frameCount, 16);
        EXPECT_EQ(info.frames[1].level, c.level) << c.gain[0] << " " << c.part23[0];
    }
    static_assert(sizeof(FrameEntry) == 24, "the level lives in the entry's padding");

    // The last slot's global_gain ends in the side information's 29th byte: a range that ends
    // there still gives it, read from those bytes alone.
    FrameSpec spec;
    spec.part23Length = {0, 0, 0, 900};
    spec.globalGain = {0, 0, 0, 91};
    std::vector<std::uint8_t> frame;
    AppendFrames(frame, spec, 1);
    const std::vector<std::uint8_t> side(frame.begin() + 4, frame.begin() + 4 + 29);
    EXPECT_EQ(OverviewLevel(side.data(), side.data() + side.size(), true, false), 91);
}

TEST(Overview, LevelsFollowTheDecodedLevelOfEachSection) {
    TempDir dir;
    const std::string path = dir.File("steps.mp3");
    MakeLevelSteps(path);
    const StreamInfo info = Analyse(ReadFile(path)).info;
    int previous = 0;
    for (int k = 0; k < 3; ++k) {
        const int level = MedianLevel(info, LevelStepCore(k));
        // Each section reads distinctly louder than the one before it.
        EXPECT_GE(level - previous, 6) << kLevelStepsDb[k];
        EXPECT_NEAR(OverviewLevelDb(static_cast<std::uint8_t>(level)), kLevelStepsDb[k], 6.0);
        previous = level;
    }
}

TEST(Overview, SilentRunsOfAtLeastTheLengthAsked) {
    const struct {
        const char* silent; // one character a frame: 's' silent
        std::int64_t minFrames;
        std::vector<FrameRange> runs;
    } cases[] = {
        {"", 1, {}},
        {"sss..s", 1, {{0, 3}, {5, 6}}},
        {"sss..s", 2, {{0, 3}}},
        {".ss.sss", 3, {{4, 7}}},
        {"......", 1, {}},
    };
    for (const auto& c : cases) {
        FrameTable table;
        const auto n = static_cast<std::int64_t>(std::strlen(c.silent));
        table.Resize(n);
        for (std::int64_t i = 0; i < n; ++i)
            table[i].silent = c.silent[i] == 's';
        EXPECT_EQ(SilentRuns(table, n, c.minFrames), c.runs) << c.silent;
    }
    FrameTable levels;
    levels.Resize(5);
    for (std::int64_t i = 0; i < 5; ++i)
        levels[i].level = static_cast<std::uint8_t>(10 * (i % 3));
    EXPECT_EQ(OverviewPeakLevel(levels, 0, 5), 20);
    EXPECT_EQ(OverviewPeakLevel(levels, 3, 5), 10);
    EXPECT_EQ(OverviewLevelDb(0), kNoLevelDb);
    EXPECT_GT(OverviewLevelDb(214), OverviewLevelDb(210));
}
