#include "UnitCRC.h"
#include "UnitMP3.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;

namespace {

MpegHeader Decoded(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    const std::uint8_t b[4] = {b0, b1, b2, b3};
    MpegHeader h;
    EXPECT_TRUE(DecodeHeader(h, HeaderWordAt(b)));
    return h;
}

} // namespace

TEST(DecodeHeader, Mpeg1Layer3At128kbpsGives417Bytes) {
    const MpegHeader h = Decoded(0xFF, 0xFB, 0x90, 0x64);
    EXPECT_EQ(h.headerWord, 0x6490FBFFu);
    EXPECT_EQ(h.versionId, kMpeg1);
    EXPECT_EQ(h.layerId, kLayer3);
    EXPECT_FALSE(h.hasCrc);
    EXPECT_EQ(h.bitrateKbps, 128);
    EXPECT_EQ(h.sampleRate, 44100u);
    EXPECT_EQ(h.channelMode, kJointStereo);
    EXPECT_EQ(h.frameLength, 417);
    EXPECT_EQ(h.headerSize, 4);
    EXPECT_EQ(h.sideInfoEnd, 36);
    EXPECT_EQ(Decoded(0xFF, 0xFB, 0x92, 0x64).frameLength, 418);
}

TEST(DecodeHeader, FrameLengthsAcrossVersionsLayersAndSlots) {
    struct Case {
        std::uint8_t b1, b2, b3;
        int length, headerSize, sideInfoEnd;
    } cases[] = {
        {0xF3, 0x80, 0x00, 208, 4, 21},  // MPEG-2 L3 64 kbit/s 22050 Hz stereo
        {0xE3, 0x18, 0x00, 72, 4, 21},   // MPEG-2.5 L3 8 kbit/s 8000 Hz
        {0xFF, 0x10, 0x00, 32, 4, 36},   // MPEG-1 L1 32 kbit/s 44100 Hz: 34 rounded to 4-byte slot
        {0xFF, 0x12, 0x00, 36, 4, 36},   // ... with padding
        {0xE5, 0xE8, 0x00, 2880, 4, 21}, // MPEG-2.5 L2 160 kbit/s 8000 Hz
        {0xE5, 0xEA, 0x00, 2881, 4, 21}, // ... with padding: the longest frame
        {0xFA, 0x90, 0x00, 417, 6, 38},  // MPEG-1 stereo with CRC
        {0xF3, 0x80, 0xC0, 208, 4, 13},  // MPEG-2 single channel
        {0xE7, 0x18, 0x00, 192, 4, 21},  // MPEG-2.5 Layer I is accepted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.b1) << " " << int(c.b2));
        const MpegHeader h = Decoded(0xFF, c.b1, c.b2, c.b3);
        EXPECT_EQ(h.frameLength, c.length);
        EXPECT_EQ(h.headerSize, c.headerSize);
        EXPECT_EQ(h.sideInfoEnd, c.sideInfoEnd);
    }
}

TEST(DecodeHeader, RejectsReservedAndFreeFormat) {
    const std::uint8_t bad[][4] = {
        {0xFF, 0xFB, 0x00, 0x64}, // bitrate index 0 (free format)
        {0xFF, 0xFB, 0xF0, 0x64}, // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x64}, // sample-rate index 3
        {0xFF, 0xEB, 0x90, 0x64}, // version code 1
        {0xFF, 0xF9, 0x90, 0x64}, // layer code 0
    };
    for (const auto& b : bad) {
        MpegHeader h;
        EXPECT_FALSE(DecodeHeader(h, HeaderWordAt(b)));
    }
}

TEST(Crc16, CheckValueAndTable) {
    EXPECT_EQ(kCrc16Table[0], 0x0000);
    EXPECT_EQ(kCrc16Table[1], 0x8005);
    EXPECT_EQ(kCrc16Table[2], 0x800F);
    EXPECT_EQ(kCrc16Table[3], 0x000A);
    std::uint16_t crc = 0xFFFF;
    const char* digits = "123456789";
    Crc16Update({reinterpret_cast<const std::uint8_t*>(digits), 9}, crc);
    EXPECT_EQ(crc, 0xAEE7);
    Crc16Update({}, crc);
    EXPECT_EQ(crc, 0xAEE7);
}

TEST(FrameCrc, CoversHeaderBytes2And3AndSideInfoOnlyAndStoresHighByteFirst) {
    std::uint8_t frame[64] = {0xFF, 0xFA, 0x90, 0x64};
    for (int i = 6; i < 64; ++i)
        frame[i] = static_cast<std::uint8_t>(i * 7);
    MpegHeader h;
    ASSERT_TRUE(DecodeHeader(h, HeaderWordAt(frame)));
    std::uint16_t expected = 0xFFFF;
    Crc16Update({frame + 2, 2}, expected);
    Crc16Update({frame + 6, 32}, expected);
    const std::uint16_t crc = FrameCrc(h, frame);
    frame[4] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[5] = static_cast<std::uint8_t>(crc >> 8);
    EXPECT_EQ(frame[4], expected >> 8);
    EXPECT_EQ(frame[5], expected & 0xFF);
    EXPECT_EQ(StoredCrc(frame), crc);
    frame[1] ^= 0x08;  // header byte 1 is not covered
    frame[40] ^= 0xFF; // main data is not covered
    EXPECT_EQ(FrameCrc(h, frame), crc);
    frame[37] ^= 0x01; // the last side-information byte is
    EXPECT_NE(FrameCrc(h, frame), crc);
}

TEST(FrameArithmetic, ConversionsRoundAsSpecified) {
    const MpegHeader m1 = Decoded(0xFF, 0xFB, 0x90, 0x64);
    EXPECT_EQ(FramesToMilliseconds(m1, 1), 26);
    EXPECT_EQ(FramesToMilliseconds(m1, 38), 992);
    EXPECT_EQ(FramesToMilliseconds(m1, 39), 1018);
    EXPECT_EQ(FramesToSeconds(m1, 38), 0);
    EXPECT_EQ(FramesToSeconds(m1, 39), 1);
    EXPECT_EQ(SecondsToFrames(m1, 1), 39);
    EXPECT_EQ(MillisecondsToFrames(m1, 1000), 38);
    const MpegHeader m2 = Decoded(0xFF, 0xF3, 0x80, 0x00);
    EXPECT_EQ(SecondsToFrames(m2, 1), 39);
    EXPECT_EQ(FramesToMilliseconds(m2, 39), 1018);
    EXPECT_EQ(MulDiv(3000000000LL, 3, 2), 4500000000LL);
    // 30 hours of frames: beyond a 32-bit product, still exact.
    EXPECT_EQ(FramesToSeconds(m1, 4134375), 108000);
    MpegHeader none;
    EXPECT_EQ(SecondsToFrames(none, 5), 1);
}

TEST(FrameArithmetic, TimeTexts) {
    // 44100 Hz and 1152 samples: pick frame counts whose milliseconds are known.
    MpegHeader h;
    h.versionId = kMpeg1;
    h.layerId = kLayer1;                            // 384 samples
    h.sampleRate = 48000;                           // 1 frame = 8 ms exactly
    EXPECT_EQ(FormatSeconds(h, 1543, 2), "12.34s"); // 12344 ms
    EXPECT_EQ(FormatSeconds(h, 1543, 0), "12s");
    EXPECT_EQ(FormatSeconds(h, 1543, 3), "12.344s");
    EXPECT_EQ(FormatClock(h, 0), "0:00.00");
    EXPECT_EQ(FormatClock(h, 23406), "3:07.24"); // 187248 ms
    EXPECT_EQ(FormatCueTime(h, 0), "00:00:00");
    EXPECT_EQ(FormatCueTime(h, 23406), "03:07:24");
    EXPECT_EQ(FormatCueTime(h, 750000), "100:00:00"); // past 99 minutes: more digits
    h.sampleRate = 384;                               // 1 frame = 1 s
    EXPECT_EQ(FormatLength(h, 187), "3:07");
    EXPECT_EQ(FormatLength(h, 3599), "59:59");
    EXPECT_EQ(FormatLength(h, 3600), "1h00");
    EXPECT_EQ(FormatLength(h, 3900), "1h05");
    EXPECT_EQ(FormatLengthWords(h, 187), "3m 07s");
    EXPECT_EQ(FormatLengthWords(h, 3900), "1h 05");
}
