#include "FrameBuilder.h"
#include "ScanHelpers.h"
#include "UnitSilence.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// Coded audio: non-zero part2_3_length and main data without a dominant byte.
FrameSpec Audible() {
    return AudibleFrameSpec(420);
}

FrameSpec ZeroSideInfo() {
    FrameSpec s = Audible();
    s.part23Length = {0, 0, 0, 0};
    return s;
}

// Audible side information over main data chosen by the test.
FrameSpec WithMainData(std::vector<std::uint8_t> mainData) {
    FrameSpec s = Audible();
    s.mainData = std::move(mainData);
    return s;
}

// `count` bytes of `value` among bytes that each occur at most twice.
std::vector<std::uint8_t> DominatedBy(std::uint8_t value, int count, int total) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(total));
    int other = 0;
    for (int i = 0; i < total; ++i) {
        if (i < count) {
            out[static_cast<std::size_t>(i)] = value;
            continue;
        }
        std::uint8_t b = static_cast<std::uint8_t>(other++ % 255);
        if (b >= value)
            ++b;
        out[static_cast<std::size_t>(i)] = b;
    }
    return out;
}

Settings WithItem(int item, bool fast = true) {
    Settings s;
    s.RadioGroupTrimAggressivity = item;
    s.CheckBoxFastSilenceDetection = fast;
    return s;
}

// Whether the middle frame of five is marked silent.
bool MiddleFrameSilent(const FrameSpec& middle, const Settings& settings,
                       std::int64_t fileOffset = 0) {
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, Audible(), 2);
    AppendFrames(bytes, middle, 1);
    AppendFrames(bytes, Audible(), 2);
    const StreamInfo info = Scan(bytes, settings, 0, fileOffset);
    EXPECT_EQ(info.frameCount, 5);
    EXPECT_FALSE(info.frames[0].silent);
    return info.frames[2].silent;
}

} // namespace

TEST(SilenceTest, Layer3FramesByContent) {
    std::vector<std::uint8_t> pairs;
    for (int i = 0; i < 400; ++i)
        pairs.push_back(i % 2 ? 0xFF : 0x00);
    FrameSpec paddedPairs = WithMainData(pairs);
    paddedPairs.padding = true; // 382 bytes of main data: the uniform block is 286 bytes

    struct Case {
        const char* name;
        FrameSpec frame;
        int item;
        std::int64_t fileOffset;
        bool silent;
    } cases[] = {
        {"zero side information, item 0", ZeroSideInfo(), 0, 0, true},
        {"zero side information, item 2", ZeroSideInfo(), 2, 0, true},
        {"0x55 filler", WithMainData(std::vector<std::uint8_t>(381, 0x55)), 0, 0, true},
        {"coded audio", Audible(), 0, 0, false},
        {"filler for the first 3/4 only", WithMainData(std::vector<std::uint8_t>(285, 0x55)), 0, 0,
         true},
        {"filler one byte short of 3/4", WithMainData(std::vector<std::uint8_t>(284, 0x55)), 0, 0,
         false},
        {"00 FF pairs at an even file offset", paddedPairs, 0, 0, true},
        {"00 FF pairs at an odd file offset", paddedPairs, 0, 1, false},
        {"60% one byte, item 1", WithMainData(DominatedBy(0x00, 229, 381)), 1, 0, true},
        {"50% one byte, item 1", WithMainData(DominatedBy(0x00, 191, 381)), 1, 0, false},
        {"60% one byte, item 0", WithMainData(DominatedBy(0x00, 229, 381)), 0, 0, false},
        {"8% one byte, item 2", WithMainData(DominatedBy(0x77, 31, 381)), 2, 0, true},
        {"7.6% one byte, item 2", WithMainData(DominatedBy(0x77, 29, 381)), 2, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MiddleFrameSilent(c.frame, WithItem(c.item), c.fileOffset), c.silent) << c.name;
}

TEST(SilenceTest, FastZoneSkipsTheDataTestsInTheMiddle) {
    // 3 MiB of audio with filler frames and zero-side-information frames in the middle.
    const FrameSpec filler = WithMainData(std::vector<std::uint8_t>(381, 0x55));
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, Audible(), 3700);
    AppendFrames(bytes, filler, 3);
    AppendFrames(bytes, ZeroSideInfo(), 3);
    AppendFrames(bytes, Audible(), 3700);
    AppendFrames(bytes, filler, 3); // within the last MiB: examined whatever the option
    AppendFrames(bytes, Audible(), 2);

    const StreamInfo fast = Scan(bytes, WithItem(0, true));
    const StreamInfo full = Scan(bytes, WithItem(0, false));
    ASSERT_EQ(fast.frameCount, 7411);
    for (int i = 3700; i < 3703; ++i) {
        EXPECT_FALSE(fast.frames[i].silent) << i;
        EXPECT_TRUE(full.frames[i].silent) << i;
    }
    for (int i = 3703; i < 3706; ++i)
        EXPECT_TRUE(fast.frames[i].silent) << i;
    for (int i = 7406; i < 7409; ++i)
        EXPECT_TRUE(fast.frames[i].silent) << i;
    EXPECT_FALSE(fast.frames[7409].silent);
}

TEST(SilenceTest, Layer2FramesUseTheWholeDataAfterTheHeader) {
    FrameSpec quiet;
    quiet.layerId = 2;
    quiet.fill = 0x00;
    FrameSpec loud = quiet;
    loud.fill = 0;
    for (int i = 0; i < 420; ++i)
        loud.mainData.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    FrameSpec mostly = loud;
    mostly.mainData = DominatedBy(0x00, 300, 413);

    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, loud, 1);
    AppendFrames(bytes, quiet, 1);
    AppendFrames(bytes, mostly, 1);
    AppendFrames(bytes, loud, 2);
    const StreamInfo accurate = Scan(bytes, WithItem(0));
    const StreamInfo aggressive = Scan(bytes, WithItem(1));
    ASSERT_EQ(accurate.frameCount, 5);
    EXPECT_EQ(accurate.firstHeader.layerId, kLayer2);
    EXPECT_FALSE(accurate.frames[0].silent);
    EXPECT_TRUE(accurate.frames[1].silent);
    EXPECT_FALSE(accurate.frames[2].silent);
    EXPECT_TRUE(aggressive.frames[2].silent);
    EXPECT_EQ(accurate.frames[1].reservoirDepth, 0);
}

TEST(SilenceTest, LastFrameFollowsTheSecondToLast) {
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, Audible(), 3);
    AppendFrames(bytes, ZeroSideInfo(), 1);
    AppendFrames(bytes, Audible(), 1);
    const StreamInfo info = Scan(bytes);
    ASSERT_EQ(info.frameCount, 5);
    EXPECT_TRUE(info.frames[4].silent);
    EXPECT_FALSE(info.frames[2].silent);
}

TEST(AutoTrim, SilentRunsAtBothEnds) {
    FrameSpec reaching = Audible();
    reaching.mainDataBegin = 500; // reaches two frames back

    struct Case {
        const char* name;
        std::vector<std::pair<FrameSpec, int>> runs;
        std::int64_t begin, end;
    } cases[] = {
        {"38 silent frames", {{ZeroSideInfo(), 38}, {Audible(), 10}}, 38, 0},
        {"reservoir keeps two", {{ZeroSideInfo(), 38}, {reaching, 10}}, 36, 0},
        {"both ends", {{ZeroSideInfo(), 5}, {Audible(), 10}, {ZeroSideInfo(), 7}}, 5, 7},
        {"all silent", {{ZeroSideInfo(), 12}}, 12, 0},
        {"no silence", {{Audible(), 12}}, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes;
        for (const auto& [spec, count] : c.runs)
            AppendFrames(bytes, spec, count);
        const StreamInfo info = Scan(bytes);
        const auto trim = AutoTrim(info, Settings{}, OperationState::Idle);
        ASSERT_TRUE(trim.has_value());
        EXPECT_EQ(trim->beginFrames, c.begin) << c.name;
        EXPECT_EQ(trim->endFrames, c.end) << c.name;
        EXPECT_FALSE(AutoTrim(info, Settings{}, OperationState::Busy).has_value());
    }
}

TEST(AutoTrim, Mp3ProKeepsItsBeginning) {
    // MPEG-2 Layer III stereo, 64 kbit/s: 187 bytes of main data, 12 of them unused.
    FrameSpec audio = Audible();
    audio.versionId = 2;
    audio.bitrateIndex = 8;
    audio.part23Length = {700, 700, 0, 0};
    FrameSpec silent = audio;
    silent.part23Length = {0, 0, 0, 0};
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, silent, 20);
    AppendFrames(bytes, audio, 200);
    const StreamInfo info = Scan(bytes);
    ASSERT_TRUE(info.mp3Pro);

    Settings keep;
    EXPECT_EQ(AutoTrim(info, keep, OperationState::Idle)->beginFrames, 0);
    Settings allow;
    allow.CheckBoxDisableSilenceDetectionBeginning_mp3PRO = false;
    EXPECT_EQ(AutoTrim(info, allow, OperationState::Idle)->beginFrames, 12);

    // The same frames in MPEG-2.5 are not mp3PRO: the whole run is trimmed.
    audio.versionId = silent.versionId = 0;
    bytes.clear();
    AppendFrames(bytes, silent, 20);
    AppendFrames(bytes, audio, 200);
    const StreamInfo plain = Scan(bytes);
    EXPECT_FALSE(plain.mp3Pro);
    EXPECT_EQ(AutoTrim(plain, keep, OperationState::Idle)->beginFrames, 20);
}
