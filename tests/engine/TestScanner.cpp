#include "FrameBuilder.h"
#include "ScanHelpers.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr const char* kNoHeader = "Failed to find a valid MPEG header - this is not an MP3 file!";

FrameSpec Audible() {
    return AudibleFrameSpec(400);
}

std::vector<std::uint8_t> Frames(const FrameSpec& spec, int count) {
    std::vector<std::uint8_t> out;
    AppendFrames(out, spec, count);
    return out;
}

std::vector<std::uint8_t> CutFrame(std::size_t keep) {
    std::vector<std::uint8_t> frame = Frames(Audible(), 1);
    frame.resize(keep);
    return frame;
}

std::string ErrorOf(const std::vector<std::uint8_t>& bytes, const Settings& settings = {}) {
    try {
        Scan(bytes, settings);
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ScanStream, IdenticalCbrFramesKeepEveryHeaderBitButPaddingConstant) {
    const StreamInfo info = Scan(Frames(Audible(), 12));
    EXPECT_EQ(info.frameCount, 12);
    EXPECT_FALSE(info.IsVbr());
    EXPECT_EQ(info.ConstantBitsMask, 0xFFFDFFFFu);
    EXPECT_EQ(info.ConstantBitsValue, HeaderWord(Audible()));
    EXPECT_EQ(info.DominantBitrateIndex(), 9);
    EXPECT_EQ(info.missingHeaderCount, 0);
    EXPECT_FALSE(info.leadingGarbage);
    EXPECT_FALSE(info.lastFrameIncomplete);
    EXPECT_FALSE(info.extraInfoPresent);
    for (std::int64_t i = 0; i < 12; ++i) {
        EXPECT_EQ(info.frames[i].offset, i * 417);
        EXPECT_EQ(info.frames[i].length, 417u);
        EXPECT_EQ(info.frames[i].headerSize, 4);
    }
    ASSERT_EQ(info.frames.size(), 14);
    EXPECT_EQ(info.frames[12].offset, 12 * 417);
    EXPECT_EQ(info.frames[12].length, 0u);
}

TEST(ScanStream, ModeExtensionAndPaddingChangesStayCbr) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 8; ++i) {
        FrameSpec s = Audible();
        s.modeExtension = static_cast<std::uint8_t>(i % 4);
        s.padding = i % 3 == 0;
        AppendFrames(bytes, s, 1);
    }
    const StreamInfo info = Scan(bytes);
    EXPECT_EQ(info.frameCount, 8);
    EXPECT_FALSE(info.IsVbr());
    EXPECT_EQ(info.ConstantBitsMask, 0xFFFDFFFFu & ~kModeExtensionMask);
    EXPECT_EQ(info.frames[1].offset, 418);
}

TEST(ScanStream, DominantBitrateNeedsAllButOneFrameIn128) {
    struct Case {
        int at9, at10, dominant;
    } cases[] = {{200, 1, 9}, {200, 2, 0}, {0, 5, 10}, {300, 2, 9}, {300, 3, 0}};
    for (const Case& c : cases) {
        FrameSpec s9 = Audible(), s10 = Audible();
        s10.bitrateIndex = 10;
        std::vector<std::uint8_t> bytes = Frames(s9, c.at9);
        AppendFrames(bytes, s10, c.at10);
        const StreamInfo info = Scan(bytes);
        EXPECT_EQ(info.frameCount, c.at9 + c.at10);
        EXPECT_EQ(info.IsVbr(), c.at9 > 0 && c.at10 > 0);
        EXPECT_EQ(info.DominantBitrateIndex(), c.dominant) << c.at9 << "/" << c.at10;
    }
}

TEST(ScanStream, DamagedHeaderResynchronisesOnAHeaderAgreeingWithTheConstantBits) {
    std::vector<std::uint8_t> bytes = Frames(Audible(), 10);
    // Frame 5's header destroyed, and a header of another bitrate inside its data.
    std::memset(&bytes[5 * 417], 0, 4);
    const std::uint8_t otherRate[4] = {0xFF, 0xFB, 0xA0, 0x40};
    std::memcpy(&bytes[5 * 417 + 100], otherRate, 4);
    const StreamInfo info = Scan(bytes);
    EXPECT_EQ(info.frameCount, 9);
    EXPECT_EQ(info.missingHeaderCount, 1);
    EXPECT_EQ(info.MissingHeaderList, std::vector<std::int64_t>{5});
    EXPECT_EQ(info.frames[4].offset, 4 * 417);
    EXPECT_EQ(info.frames[5].offset, 6 * 417);
    EXPECT_EQ(info.frames[8].offset, 9 * 417);
    EXPECT_FALSE(info.lastFrameIncomplete);
    EXPECT_FALSE(info.IsVbr());
}

TEST(ScanStream, MissingHeaderListKeepsEveryOne) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 15; ++i) {
        AppendFrames(bytes, Audible(), 2);
        bytes.insert(bytes.end(), 7, 0x00);
    }
    AppendFrames(bytes, Audible(), 1);
    const StreamInfo info = Scan(bytes);
    EXPECT_EQ(info.frameCount, 31);
    EXPECT_EQ(info.missingHeaderCount, 15);
    EXPECT_EQ(info.MissingHeaderList,
              (std::vector<std::int64_t>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30}));
    EXPECT_EQ(info.frames[2].offset, 2 * 417 + 7);
}

TEST(ScanStream, AppendedStreamOfAnotherRateNeedsPatchedStreams) {
    FrameSpec other = Audible();
    other.sampleRateIndex = 1; // 48000 Hz: 384 bytes
    std::vector<std::uint8_t> bytes = Frames(Audible(), 10);
    AppendFrames(bytes, other, 10);

    const StreamInfo strict = Scan(bytes);
    EXPECT_EQ(strict.frameCount, 10);
    EXPECT_EQ(strict.missingHeaderCount, 0); // the break right after the last frame is the tail
    EXPECT_TRUE(strict.lastFrameIncomplete);
    EXPECT_EQ(strict.frames[10].offset, 4170);
    EXPECT_EQ(strict.frames[10].length, 3840u);
    EXPECT_EQ(strict.frames[11].offset, static_cast<std::int64_t>(bytes.size()));

    Settings patched;
    patched.CheckBoxAllowPatchedStreams = true;
    const StreamInfo loose = Scan(bytes, patched);
    EXPECT_EQ(loose.frameCount, 20);
    EXPECT_EQ(loose.frames[11].offset, 4170 + 384);
    EXPECT_FALSE(loose.lastFrameIncomplete);
    EXPECT_EQ(loose.ConstantBitsMask & 0x000C0000u,
              0x00080000u); // 44100 and 48000 differ in bit 18
}

TEST(ScanStream, RequiredBitrateTreatsOtherBitratesAsMissingHeaders) {
    FrameSpec s10 = Audible();
    s10.bitrateIndex = 10; // 522 bytes
    std::vector<std::uint8_t> bytes = Frames(s10, 2);
    AppendFrames(bytes, Audible(), 5);
    AppendFrames(bytes, s10, 2);
    AppendFrames(bytes, Audible(), 3);

    const StreamInfo any = Scan(bytes);
    EXPECT_EQ(any.frameCount, 12);
    EXPECT_TRUE(any.IsVbr());

    const StreamInfo only9 = Scan(bytes, {}, 9);
    EXPECT_TRUE(only9.leadingGarbage);
    EXPECT_EQ(only9.firstHeader.bitrateKbps, 128);
    EXPECT_EQ(only9.frameCount, 8);
    EXPECT_EQ(only9.missingHeaderCount, 1);
    EXPECT_EQ(only9.MissingHeaderList, std::vector<std::int64_t>{5});
    EXPECT_EQ(only9.frames[0].offset, 2 * 522);
    EXPECT_EQ(only9.frames[5].offset, 4 * 522 + 5 * 417);
    EXPECT_FALSE(only9.IsVbr());
}

TEST(ScanStream, LeadingExtraInfoFrameIsKeptWithItsIdentifierAtTheNoCrcPlace) {
    struct Case {
        const char* tag;
        bool crc;
    } cases[] = {{"Info", false}, {"Xing", false}, {"Info", true}, {"Xing", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + (c.crc ? " with CRC" : ""));
        FrameSpec spec = Audible();
        spec.crc = c.crc;
        const std::vector<std::uint8_t> extra = BuildExtraInfoFrame(spec, c.tag, 5, 5 * 417);
        std::vector<std::uint8_t> bytes = extra;
        AppendFrames(bytes, spec, 5);
        const StreamInfo info = Scan(bytes);
        EXPECT_TRUE(info.extraInfoPresent);
        EXPECT_EQ(info.xingFound, std::string(c.tag) == "Xing");
        EXPECT_FALSE(info.leadingGarbage);
        EXPECT_EQ(info.frameCount, 5);
        EXPECT_EQ(info.frames[0].offset, 417);
        EXPECT_EQ(info.firstHeader.hasCrc, c.crc);
        EXPECT_EQ(info.badCrcCount, 0);
        EXPECT_FALSE(info.ExtraInfoFrame.header.hasCrc);
        EXPECT_EQ(info.ExtraInfoFrame.header.frameLength, 417);

        // The copy: protection bit set, and with a CRC the data moved two bytes down.
        std::vector<std::uint8_t> expected = extra;
        expected[1] |= 1;
        if (c.crc)
            std::memmove(&expected[36], &expected[38], 417 - 38);
        EXPECT_EQ(info.ExtraInfoFrame.bytes, expected);
        EXPECT_EQ(std::memcmp(&info.ExtraInfoFrame.bytes[36], c.tag, 4), 0);
    }
}

// An identifier counts only inside the frame, and two bytes early only in a protected frame
// (where it stands as a frame without CRC would have it); anything else is an audio frame.
TEST(ScanStream, IdentifierOutsideItsPlaceIsNoExtraInfoFrame) {
    FrameSpec spec = Audible();
    std::vector<std::uint8_t> early = BuildFrame(spec);
    std::memcpy(&early[34], "Xing", 4); // two bytes before the place, no CRC
    std::vector<std::uint8_t> bytes = early;
    AppendFrames(bytes, spec, 5);
    StreamInfo info = Scan(bytes);
    EXPECT_FALSE(info.extraInfoPresent);
    EXPECT_EQ(info.frameCount, 6);

    // A Layer I frame at 32 kbit/s ends before the place the identifier would have.
    FrameSpec layer1;
    layer1.layerId = 3;
    layer1.bitrateIndex = 1;
    layer1.padding = true;
    std::vector<std::uint8_t> shortFrames = BuildFrame(layer1);
    ASSERT_EQ(shortFrames.size(), 36u);
    const std::vector<std::uint8_t> tag = {'X', 'i', 'n', 'g'};
    shortFrames.insert(shortFrames.end(), tag.begin(), tag.end());
    info = Scan(shortFrames);
    EXPECT_FALSE(info.extraInfoPresent);
}

TEST(ScanStream, OnlyOneExtraInfoFrameIsSteppedOver) {
    const FrameSpec spec = Audible();
    std::vector<std::uint8_t> bytes = BuildExtraInfoFrame(spec, "Xing", 1, 1);
    const std::vector<std::uint8_t> info2 = BuildExtraInfoFrame(spec, "Info", 1, 1);
    bytes.insert(bytes.end(), info2.begin(), info2.end());
    AppendFrames(bytes, spec, 3);
    const StreamInfo info = Scan(bytes);
    EXPECT_TRUE(info.xingFound);
    EXPECT_EQ(info.frameCount, 4);
    EXPECT_EQ(info.frames[0].offset, 417);
}

TEST(ScanStream, TailAfterTheLastFrame) {
    struct Case {
        std::vector<std::uint8_t> tail;
        bool incomplete;
        std::uint32_t tailLength;
    } cases[] = {
        {std::vector<std::uint8_t>(30, 0x00), true, 30},
        {std::vector<std::uint8_t>(4, 0x00), false, 0},
        {{}, false, 0},
        // A frame cut short: the header is there but the frame runs past the end.
        {CutFrame(200), true, 200},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = Frames(Audible(), 5);
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        const StreamInfo info = Scan(bytes);
        SCOPED_TRACE(c.tail.size());
        EXPECT_EQ(info.frameCount, 5);
        EXPECT_EQ(info.missingHeaderCount, 0);
        EXPECT_EQ(info.lastFrameIncomplete, c.incomplete);
        EXPECT_EQ(info.frames[5].offset, 5 * 417);
        EXPECT_EQ(info.frames[5].length, c.tailLength);
        EXPECT_EQ(info.frames[6].offset,
                  c.incomplete ? static_cast<std::int64_t>(bytes.size()) : 0);
    }
}

TEST(ScanStream, GarbageThenACutFrameAtTheEnd) {
    std::vector<std::uint8_t> bytes = Frames(Audible(), 3);
    bytes.insert(bytes.end(), 50, 0x11);
    const std::vector<std::uint8_t> frame = Frames(Audible(), 1);
    bytes.insert(bytes.end(), frame.begin(), frame.begin() + 100);
    const StreamInfo info = Scan(bytes);
    EXPECT_EQ(info.frameCount, 3);
    EXPECT_TRUE(info.lastFrameIncomplete);
    EXPECT_EQ(info.missingHeaderCount, 0);
    EXPECT_EQ(info.frames[3].offset, 3 * 417 + 50);
    EXPECT_EQ(info.frames[3].length, 100u);
}

TEST(ScanStream, ReservoirDepthCountsTheFramesTheMainDataReachesInto) {
    // main_data_begin per frame, padding per frame (main data 381 or 382 bytes), expected depth.
    struct Case {
        int mainDataBegin;
        bool padding;
        int depth;
    } cases[] = {
        {0, false, 0},   // frame 0
        {300, true, 1},  // reaches into frame 0 only: depth is bounded by the index anyway
        {382, false, 1}, // exactly the 382 bytes of frame 1
        {383, false, 2}, // one byte more than frame 2 holds reaches frame 1 too
        {511, false, 2}, // 511 - 381 - 381 < 0
        {0, false, 0},   {1, false, 1},
    };
    std::vector<std::uint8_t> bytes;
    for (const Case& c : cases) {
        FrameSpec s = Audible();
        s.mainDataBegin = c.mainDataBegin;
        s.padding = c.padding;
        AppendFrames(bytes, s, 1);
    }
    const StreamInfo info = Scan(bytes);
    ASSERT_EQ(info.frameCount, 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(info.frames[i].reservoirDepth, cases[i].depth) << "frame " << i;

    // MPEG-2 reads 8 bits: 21-byte side information, 187 bytes of main data per frame.
    FrameSpec m2 = Audible();
    m2.versionId = 2;
    m2.bitrateIndex = 8;
    m2.part23Length = {100, 100, 0, 0};
    std::vector<std::uint8_t> m2bytes = Frames(m2, 3);
    m2.mainDataBegin = 255; // 255 - 187 = 68 > 0: two frames back
    AppendFrames(m2bytes, m2, 1);
    m2.mainDataBegin = 187;
    AppendFrames(m2bytes, m2, 1);
    const StreamInfo m2info = Scan(m2bytes);
    ASSERT_EQ(m2info.frameCount, 5);
    EXPECT_EQ(m2info.frames[3].reservoirDepth, 2);
    EXPECT_EQ(m2info.frames[4].reservoirDepth, 1);
}

TEST(ScanStream, Mp3ProFollowsTheAverageUnusedMainData) {
    // MPEG-2 Layer III, 64 kbit/s, 22050 Hz: 208 bytes, 187 of them main data (stereo).
    struct Case {
        std::uint8_t versionId;
        std::uint8_t channelMode;
        int part23PerChannel;
        bool mp3Pro;
    } cases[] = {
        {2, 1, (187 - 12) * 4, true}, // 12 bytes unused on average
        {2, 1, (187 - 8) * 4, false}, // 8 bytes
        {2, 1, (187 - 10) * 4, true}, // the threshold itself
        {2, 3, (195 - 5) * 8, true},  // single channel: 195 bytes of main data, 5 unused
        {2, 3, (195 - 4) * 8, false},
        {0, 1, 0, false}, // MPEG-2.5 never
        {3, 1, 0, false}, // nor MPEG-1
    };
    for (const Case& c : cases) {
        FrameSpec s = Audible();
        s.versionId = c.versionId;
        s.bitrateIndex = c.versionId == 3 ? 9 : 8;
        s.channelMode = c.channelMode;
        s.part23Length = {c.part23PerChannel, c.part23PerChannel, 0, 0};
        if (c.versionId == 3)
            s.part23Length = {4000, 4000, 4000, 4000};
        const StreamInfo info = Scan(Frames(s, 20));
        EXPECT_EQ(info.frameCount, 20);
        EXPECT_EQ(info.mp3Pro, c.mp3Pro) << int(c.versionId) << " " << c.part23PerChannel;
    }
}

TEST(ScanStream, CrcsAreCheckedAndKept) {
    FrameSpec good = Audible();
    good.crc = true;
    FrameSpec bad = good;
    bad.badCrc = true;
    std::vector<std::uint8_t> bytes = Frames(good, 3);
    AppendFrames(bytes, bad, 2);
    AppendFrames(bytes, good, 1);
    const StreamInfo info = Scan(bytes);
    EXPECT_EQ(info.frameCount, 6);
    EXPECT_EQ(info.badCrcCount, 2);
    for (int i = 0; i < 6; ++i) {
        const std::uint8_t* f = bytes.data() + info.frames[i].offset;
        EXPECT_EQ(info.frames[i].headerSize, 6);
        EXPECT_EQ(info.frames[i].computedCrc, FrameCrc(info.firstHeader, f));
        EXPECT_EQ(info.frames[i].computedCrc == StoredCrc(f), i < 3 || i == 5);
    }
}

TEST(ScanStream, FirstHeaderMustLieWithinTheFirstMegabyte) {
    const std::vector<std::uint8_t> frames = Frames(Audible(), 3);
    std::vector<std::uint8_t> near(0x100000 - 10, 0x00);
    near.insert(near.end(), frames.begin(), frames.end());
    const StreamInfo info = Scan(near);
    EXPECT_TRUE(info.leadingGarbage);
    EXPECT_EQ(info.frames[0].offset, 0x100000 - 10);

    std::vector<std::uint8_t> far(0x100000, 0x00);
    far.insert(far.end(), frames.begin(), frames.end());
    EXPECT_EQ(ErrorOf(far), kNoHeader);
    EXPECT_EQ(ErrorOf({0xFF, 0xFB, 0x90}), kNoHeader);
    EXPECT_EQ(ErrorOf({}), kNoHeader);
    EXPECT_EQ(ErrorOf(std::vector<std::uint8_t>(0x100000, 0xFF)), kNoHeader);
}

TEST(ScanStream, ProgressPumpAndStop) {
    const std::vector<std::uint8_t> bytes = Frames(Audible(), 3000);
    RecordingProgress progress;
    StreamInfo info;
    ScanStream(info, bytes, 0, {}, MessageTable::English(), progress);
    EXPECT_EQ(progress.totals, std::vector<int>{62});
    ASSERT_EQ(progress.reports.size(), 63u);
    for (int i = 0; i <= 62; ++i)
        EXPECT_EQ(progress.reports[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(progress.pumps, 2); // after frames 1023 and 2047

    RecordingProgress stopper(100);
    try {
        ScanStream(info, bytes, 0, {}, MessageTable::English(), stopper);
        FAIL() << "the scan did not stop";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Stopped at user request");
    }
    EXPECT_EQ(stopper.pumps, 0);
}

TEST(ScanStream, RescanReplacesEverything) {
    StreamInfo info;
    NullProgress progress;
    std::vector<std::uint8_t> first = BuildExtraInfoFrame(Audible(), "Xing", 1, 1);
    AppendFrames(first, Audible(), 40);
    first.insert(first.end(), 30, 0);
    ScanStream(info, first, 0, {}, MessageTable::English(), progress);
    ScanStream(info, Frames(Audible(), 2), 0, {}, MessageTable::English(), progress);
    EXPECT_EQ(info.frameCount, 2);
    EXPECT_EQ(info.frames.size(), 4);
    EXPECT_FALSE(info.extraInfoPresent);
    EXPECT_FALSE(info.xingFound);
    EXPECT_TRUE(info.ExtraInfoFrame.bytes.empty());
    EXPECT_FALSE(info.lastFrameIncomplete);
    EXPECT_EQ(info.frames[3].offset, 0);
}

TEST(FrameTable, GrowsAcrossChunksKeepingEntriesAndZeroesWhatItDrops) {
    FrameTable table;
    const std::int64_t count = FrameTable::kChunkSize * 2 + 5;
    for (std::int64_t i = 0; i < count; ++i)
        table.At(i).offset = i * 3;
    EXPECT_EQ(table.size(), count);
    bool kept = true;
    for (std::int64_t i = 0; i < count; ++i)
        kept = kept && table[i].offset == i * 3 && table[i].length == 0;
    EXPECT_TRUE(kept);
    EXPECT_LE(table.MemoryBytes(), (count + FrameTable::kChunkSize) * 24);

    table.Resize(10);
    table.Resize(FrameTable::kChunkSize + 1);
    EXPECT_EQ(table[9].offset, 27);
    EXPECT_EQ(table[10].offset, 0);
    EXPECT_EQ(table[FrameTable::kChunkSize].offset, 0);

    FrameTable small;
    small.Resize(3);
    EXPECT_EQ(small.MemoryBytes(), 1024 * 24);
}
