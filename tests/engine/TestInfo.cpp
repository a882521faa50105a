#include "OpenHelpers.h"
#include "UnitInfo.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

InformationTexts Texts(const StreamInfo& info, bool tagsKept = true, std::string_view sep = ".") {
    return BuildInformationTexts(info, TagsKept{tagsKept}, MessageTable::English(), sep);
}

std::vector<std::uint8_t> Id3v1(std::uint8_t genre) {
    std::vector<std::uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, "  Title\t", 8);
    std::memcpy(tag.data() + 33, "Artist    ", 10);
    std::memcpy(tag.data() + 93, "1999", 4);
    tag[127] = genre;
    return tag;
}

// An ID3v2.3 tag with one TIT2 frame.
std::vector<std::uint8_t> Id3v2WithTitle(const std::string& title) {
    std::vector<std::uint8_t> tag = Id3v2Tag(200);
    const std::uint8_t frame[] = {
        'T', 'I', 'T', '2', 0, 0, 0, static_cast<std::uint8_t>(title.size() + 1), 0, 0, 0};
    std::copy(std::begin(frame), std::end(frame), tag.begin() + 10);
    std::copy(title.begin(), title.end(), tag.begin() + 21);
    return tag;
}

} // namespace

TEST(InformationTexts, MainBoxOfAPlainCbrFile) {
    const OpenResult r = Analyse(AudibleFrames(1000));
    const auto t = Texts(r.info);
    EXPECT_EQ(t.EditType, "MPEG 1 layer III 44100Hz - joint-stereo");
    EXPECT_EQ(t.EditLength, "0:26");
    EXPECT_EQ(t.durationSeconds, 26);
    EXPECT_EQ(t.EditID3, "no");
    EXPECT_EQ(t.EditCRC, "no");
    EXPECT_EQ(t.EditBitrate, "CBR 128Kbps");
    EXPECT_EQ(t.EditEnding, "natural");
    EXPECT_EQ(t.LabelNumberFH, "1000");
    EXPECT_EQ(t.LabelNumberMissingFH, "0");
    EXPECT_EQ(t.LabelLastFrameIncomplete, "no");
    EXPECT_EQ(t.LabelFirstFrameMissing, "no");
    EXPECT_EQ(t.LabelWAVembedded, "no");
    EXPECT_EQ(t.LabelFirstFrameInvalid, "no");
    // 417000 bytes × 8 / 26122 ms.
    EXPECT_EQ(t.LabelNumberAverageBitrate, "127.7 Kbps");
    EXPECT_EQ(Texts(r.info, true, ",").LabelNumberAverageBitrate, "127,7 Kbps");
    EXPECT_EQ(t.ListBoxInconsistent, std::vector<std::string>{"- none -"});
    EXPECT_EQ(t.ListBoxMissingFH, std::vector<std::string>{"- none -"});
    EXPECT_FALSE(t.id3v1.enabled);
    EXPECT_EQ(t.id3v1.title, "- no tag found -");
    EXPECT_EQ(t.id3v1.artist, "");
    EXPECT_FALSE(t.id3v2.enabled);
    EXPECT_EQ(t.id3v2.title, "- no tag found -");
}

TEST(InformationTexts, TypeBitrateAndCrcVariants) {
    StreamInfo mp3Pro = std::move(Analyse(AudibleFrames(20)).info);
    FrameSpec mono;
    mono.versionId = 2;
    mono.channelMode = 3;
    DecodeHeader(mp3Pro.firstHeader, HeaderWord(mono));
    mp3Pro.mp3Pro = true;
    EXPECT_EQ(Texts(mp3Pro).EditType,
              "MPEG 2 layer III 22050Hz or mp3PRO 44100Hz - single-channel");

    FrameSpec info = AudibleFrame();
    std::vector<std::uint8_t> withInfo = BuildExtraInfoFrame(info, "Info", 20, 0);
    AppendFrames(withInfo, info, 20);
    EXPECT_EQ(Texts(Analyse(withInfo).info).EditBitrate, "CBR+ 128Kbps");

    Settings s;
    s.CheckBoxSmartCBR = false;
    std::vector<std::uint8_t> vbr;
    for (int i = 0; i < 100; ++i)
        AppendFrames(vbr, AudibleFrame(i % 2 ? 9 : 10), 1);
    const auto vt = Texts(Analyse(vbr, s).info);
    EXPECT_EQ(vt.EditBitrate, "VBR (" + vt.LabelNumberAverageBitrate + " average)");
    EXPECT_EQ(vt.LabelNumberAverageBitrate, "143.8 Kbps");

    // Three bad CRCs say "bad" even when the first frame's is right.
    FrameSpec crc = AudibleFrame();
    crc.crc = true;
    std::vector<std::uint8_t> crcFile;
    AppendFrames(crcFile, crc, 10);
    EXPECT_EQ(Texts(Analyse(crcFile).info).EditCRC, "yes");
    FrameSpec bad = crc;
    bad.badCrc = true;
    AppendFrames(crcFile, bad, 3);
    EXPECT_EQ(Texts(Analyse(crcFile).info).EditCRC, "bad");
}

TEST(InformationTexts, TagBoxesAndTheToggle) {
    const auto file = Concat({Id3v2WithTitle("  Song \x01"), AudibleFrames(20), Id3v1(17)});
    const OpenResult r = Analyse(file);
    const auto on = Texts(r.info, true);
    EXPECT_EQ(on.EditID3, "1&2");
    EXPECT_TRUE(on.id3v1.enabled);
    EXPECT_EQ(on.id3v1.title, "Title");
    EXPECT_EQ(on.id3v1.artist, "Artist");
    EXPECT_EQ(on.id3v1.year, "1999");
    EXPECT_EQ(on.id3v1.genre, "Rock");
    EXPECT_TRUE(on.id3v2.enabled);
    EXPECT_EQ(on.id3v2.title, "Song");
    EXPECT_EQ(on.id3v2.year, "");
    // Ctrl+T: the box says "no", the pages stay filled.
    const auto off = Texts(r.info, false);
    EXPECT_EQ(off.EditID3, "no");
    EXPECT_EQ(off.id3v1.title, "Title");
    EXPECT_EQ(off.id3v2.title, "Song");

    EXPECT_EQ(Texts(Analyse(Concat({AudibleFrames(20), Id3v1(255)})).info).id3v1.genre, "");
    EXPECT_EQ(Texts(Analyse(Concat({AudibleFrames(20), Id3v1(0)})).info).EditID3, "v1");
    EXPECT_EQ(Texts(Analyse(Concat({Id3v2WithTitle("x"), AudibleFrames(20)})).info).EditID3, "v2");
}

TEST(InformationTexts, ErrorsPageListsChangingFlagsButNotModeExtension) {
    std::vector<std::uint8_t> file;
    for (int i = 0; i < 20; ++i) {
        FrameSpec f = AudibleFrame();
        f.modeExtension = static_cast<std::uint8_t>(i & 3);
        AppendFrames(file, f, 1);
    }
    EXPECT_EQ(Texts(Analyse(file).info).ListBoxInconsistent, std::vector<std::string>{"- none -"});
    Settings patched;
    patched.CheckBoxAllowPatchedStreams = true;
    for (int i = 0; i < 20; ++i) {
        FrameSpec f = AudibleFrame();
        f.privateBit = true;
        f.channelMode = 0;
        f.crc = true;
        AppendFrames(file, f, 1);
    }
    EXPECT_EQ(Texts(Analyse(file, patched).info).ListBoxInconsistent,
              (std::vector<std::string>{"Channel Mode", "Private bit", "CRC protection"}));
}

TEST(InformationTexts, MissingHeaderPositions) {
    for (int missing : {3, 9, 10, 12}) {
        std::vector<std::uint8_t> file;
        for (int i = 0; i < 200; ++i) {
            AppendFrames(file, AudibleFrame(), 1);
            if (i % 15 == 14 && i / 15 < missing)
                file.insert(file.end(), 7, 0);
        }
        const OpenResult r = Analyse(file);
        ASSERT_EQ(r.info.missingHeaderCount, missing);
        const auto t = Texts(r.info);
        EXPECT_EQ(t.LabelNumberMissingFH, std::to_string(missing));
        ASSERT_EQ(t.ListBoxMissingFH.size(),
                  static_cast<std::size_t>(std::min(missing, 10) + (missing >= 10 ? 1 : 0)));
        EXPECT_EQ(t.ListBoxMissingFH[0], "0:00.39"); // frame 15: 391 ms
        EXPECT_EQ(t.ListBoxMissingFH.back(), missing >= 10 ? "..." : t.ListBoxMissingFH.back());
    }
}
