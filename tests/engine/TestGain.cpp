#include "FrameBuilder.h"
#include "UnitGain.h"
#include "UnitMP3.h"
#include "UnitOptions.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;
using namespace velmora::test;

namespace {

MpegHeader HeaderOf(const std::vector<std::uint8_t>& frame) {
    MpegHeader h;
    EXPECT_TRUE(DecodeHeader(h, HeaderWordAt(frame.data())));
    return h;
}

struct Layout {
    const char* name;
    std::uint8_t versionId, bitrateIndex, channelMode;
    bool crc;
};

// Every version and channel mode, with and without CRC (which moves the side information).
const Layout kLayouts[] = {
    {"MPEG-1 stereo", 3, 9, 0, false},          {"MPEG-1 joint stereo", 3, 9, 1, true},
    {"MPEG-1 dual channel", 3, 9, 2, false},    {"MPEG-1 single channel", 3, 9, 3, true},
    {"MPEG-2 stereo", 2, 8, 0, true},           {"MPEG-2 joint stereo", 2, 8, 1, false},
    {"MPEG-2 single channel", 2, 8, 3, false},  {"MPEG-2.5 dual channel", 0, 8, 2, false},
    {"MPEG-2.5 single channel", 0, 8, 3, true},
};

FrameSpec SpecFor(const Layout& l) {
    FrameSpec s;
    s.versionId = l.versionId;
    s.bitrateIndex = l.bitrateIndex;
    s.channelMode = l.channelMode;
    s.crc = l.crc;
    s.mainDataBegin = 0x1FF >> (l.versionId == 3 ? 0 : 1);
    s.part23Length = {0xFFF, 0xFFF, 0xFFF, 0xFFF};
    return s;
}

} // namespace

TEST(GainFieldTable, MatchesTheSideInformationLayoutOfEveryVersionAndMode) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.name);
        const FrameSpec s = SpecFor(l);
        const GainFieldLayout layout = GainFieldsFor(HeaderOf(BuildFrame(s)));
        ASSERT_EQ(layout.count, SlotCount(s));
        for (int slot = 0; slot < layout.count; ++slot)
            EXPECT_EQ(layout.firstBit + slot * layout.distance, Part23Position(s, slot) + 21);
    }
}

TEST(ApplyGain, ChangesOnlyTheGainFieldsAndClampsEachOne) {
    // Per slot: the starting gain, and what +8 and -8 make of it.
    const int start[4] = {250, 5, 0, 128};
    const int up[4] = {255, 13, 0, 136};
    const int down[4] = {242, 0, 0, 120};
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.name);
        FrameSpec s = SpecFor(l);
        for (int slot = 0; slot < 4; ++slot)
            s.globalGain[static_cast<std::size_t>(slot)] = start[slot];
        const std::vector<std::uint8_t> original = BuildFrame(s);
        const MpegHeader h = HeaderOf(original);
        for (int delta : {8, -8}) {
            std::vector<std::uint8_t> frame = original;
            ApplyGain(frame.data() + h.headerSize, h, delta);
            std::vector<std::uint8_t> expected = original;
            for (int slot = 0; slot < SlotCount(s); ++slot)
                PutBits(expected.data() + h.headerSize, Part23Position(s, slot) + 21, 8,
                        static_cast<std::uint32_t>(delta > 0 ? up[slot] : down[slot]));
            EXPECT_EQ(frame, expected) << "delta " << delta;
        }
    }
}

TEST(ApplyGain, RaisingThenLoweringRestoresTheFrameWhereNothingClamped) {
    std::mt19937 random(7);
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.name);
        for (int round = 0; round < 50; ++round) {
            FrameSpec s = SpecFor(l);
            for (int& g : s.globalGain)
                g = static_cast<int>(random() % 256);
            for (int& p : s.part23Length)
                p = static_cast<int>(random() % 4096);
            std::vector<std::uint8_t> original = BuildFrame(s);
            const MpegHeader h = HeaderOf(original);
            // Random bits everywhere else in the side information too.
            const int sideBytes = h.sideInfoEnd - h.headerSize;
            for (int i = 0; i < sideBytes; ++i) {
                for (int bit = 0; bit < 8; ++bit) {
                    const int pos = i * 8 + bit;
                    bool inField = false;
                    for (int slot = 0; slot < SlotCount(s); ++slot) {
                        const int g = Part23Position(s, slot) + 21;
                        inField |= pos >= g && pos < g + 8;
                    }
                    if (!inField)
                        PutBits(original.data() + h.headerSize, pos, 1, random() & 1);
                }
            }
            const int k = 1 + static_cast<int>(random() % 8);
            bool clamps = false;
            for (int slot = 0; slot < SlotCount(s); ++slot) {
                const int g = s.globalGain[static_cast<std::size_t>(slot)];
                clamps |= g != 0 && g + k > 255;
            }
            std::vector<std::uint8_t> frame = original;
            ApplyGain(frame.data() + h.headerSize, h, k);
            ApplyGain(frame.data() + h.headerSize, h, -k);
            if (!clamps) {
                EXPECT_EQ(frame, original) << "k " << k;
            }
        }
    }
}

TEST(ApplyGain, ZeroGainNeverChangesAndAFieldLoweredToZeroStaysThere) {
    FrameSpec s;
    s.channelMode = 3;
    s.globalGain = {0, 5, 0, 0};
    std::vector<std::uint8_t> frame = BuildFrame(s);
    const MpegHeader h = HeaderOf(frame);
    std::uint8_t* side = frame.data() + h.headerSize;
    ApplyGain(side, h, 8);
    EXPECT_EQ(GetBits(side, 39, 8), 0u);
    EXPECT_EQ(GetBits(side, 98, 8), 13u);
    ApplyGain(side, h, -20);
    EXPECT_EQ(GetBits(side, 98, 8), 0u);
    ApplyGain(side, h, 8);
    EXPECT_EQ(GetBits(side, 98, 8), 0u);
}

TEST(FadeOffset, TwentySecondFadeAtThirtyDbFollowsItsSlope) {
    const MpegHeader h = HeaderOf(BuildFrame(FrameSpec{}));
    FadeParams p;
    p.fadeInIndex = 32;
    p.fadeOutIndex = 32;
    p.fadeDepth = 1;
    p.fadeSpan = 100000;
    p.frameCount = 100000;
    ASSERT_EQ(MillisecondsToFrames(h, 20000), 765);
    const struct {
        std::int64_t frame;
        int steps;
    } cases[] = {
        {0, -20},   {1, -20},   {382, -10}, {764, 0},    {765, 0},
        {50000, 0}, {99236, 0}, {99273, 0}, {99274, -1}, {99999, -20},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FadeOffset(p, h, c.frame), c.steps) << "frame " << c.frame;

    // Limited by half of 1000 kept frames: the curve keeps its slope and starts shallower.
    p.fadeSpan = 1000;
    p.frameCount = 1000;
    EXPECT_EQ(FadeOffset(p, h, 0), (0 - 500) * 10 / 382);
    EXPECT_EQ(FadeOffset(p, h, 499), 0);
    EXPECT_EQ(FadeOffset(p, h, 500), 0);
    EXPECT_EQ(FadeOffset(p, h, 999), (1 - 500) * 10 / 382);

    p.fadeInIndex = 0;
    EXPECT_EQ(FadeOffset(p, h, 0), 0);
}

TEST(FadeOffset, AFadeShorterThanItsDepthLeavesFramesAlone) {
    // MPEG-2.5 at 8000 Hz: the shortest fade (111 ms) is one frame, less than depth + 1.
    FrameSpec s;
    s.versionId = 0;
    s.bitrateIndex = 8;
    s.sampleRateIndex = 2;
    const MpegHeader h = HeaderOf(BuildFrame(s));
    ASSERT_EQ(h.sampleRate, 8000u);
    FadeParams p;
    p.fadeInIndex = 1;
    p.fadeOutIndex = 1;
    p.fadeSpan = 100;
    p.frameCount = 100;
    ASSERT_EQ(MillisecondsToFrames(h, FadeDurationTable[1]), 1);
    for (int depth = 1; depth <= 3; ++depth) {
        p.fadeDepth = depth;
        EXPECT_EQ(FadeOffset(p, h, 0), 0);
        EXPECT_EQ(FadeOffset(p, h, 99), 0);
    }
    p.fadeDepth = 0; // "-15dB": one frame is deep enough for a slope
    EXPECT_EQ(FadeOffset(p, h, 0), -10);
}

TEST(GainTexts, AmplificationAndFadeHints) {
    const struct {
        int position;
        const char* text;
    } amplification[] = {{0, "0.0dB"},   {1, "+1.5dB"},  {-1, "-1.5dB"},  {-3, "-4.5dB"},
                         {7, "+10.5dB"}, {8, "+12.0dB"}, {-8, "-12.0dB"}, {2, "+3.0dB"}};
    for (const auto& c : amplification)
        EXPECT_EQ(AmplificationText(c.position), c.text);
    EXPECT_EQ(FadeHintText(0), "0.0s");
    EXPECT_EQ(FadeHintText(1), "0.1s");
    EXPECT_EQ(FadeHintText(32), "20.0s");
    EXPECT_EQ(FadeHintText(31), std::to_string(FadeDurationTable[31] / 1000) + "." +
                                    std::to_string((FadeDurationTable[31] / 100) % 10) + "s");
}
