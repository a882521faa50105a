#include "Fixtures.h"
#include "OpenHelpers.h"
#include "UnitInfo.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr const char* kErrorAnalyzing =
    "Error analyzing this file - probably not an MPEG audio file";
constexpr const char* kNoHeader = "Failed to find a valid MPEG header - this is not an MP3 file!";

} // namespace

TEST(AnalyseFile, Id3v2TagOf4096BytesStartsTheAudioAfterIt) {
    const auto audio = AudibleFrames(200);
    const auto file = Concat({Id3v2Tag(4096), audio});
    const OpenResult r = Analyse(file);
    const StreamInfo& info = r.info;
    EXPECT_EQ(info.id3v2.tagSize, 4096);
    EXPECT_EQ(info.audioStart, 4096);
    EXPECT_FALSE(info.retried);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_EQ(info.frameCount, 200);
    // Offsets are absolute, the end entry included.
    EXPECT_EQ(info.frames[0].offset, 4096);
    EXPECT_EQ(info.frames[199].offset, 4096 + 199 * 417);
    EXPECT_EQ(info.frames[200].offset, static_cast<std::int64_t>(file.size()));
    EXPECT_EQ(info.sourceSize, static_cast<std::int64_t>(file.size()));
}

// 5000 bytes of zeros holding decodable 48 kHz headers at `strays`, then 300 frames at 44.1 kHz,
// which never continue a 48 kHz chain.
static std::vector<std::uint8_t> DamagedStart(std::initializer_list<std::size_t> strays) {
    std::vector<std::uint8_t> garbage(5000, 0);
    FrameSpec stray = AudibleFrame();
    stray.sampleRateIndex = 1;
    const auto strayFrame = BuildFrame(stray);
    for (std::size_t at : strays)
        std::copy_n(strayFrame.begin(), 4, garbage.begin() + static_cast<std::ptrdiff_t>(at));
    return Concat({garbage, AudibleFrames(300)});
}

TEST(AnalyseFile, RejectedAttemptsMoveOnWithGrowingSkips) {
    const struct {
        std::initializer_list<std::size_t> strays;
        int attempts;
        std::int64_t audioStart;
        bool warned;
    } cases[] = {
        // The header at 0 gives one frame: rejected; the next attempt starts 4 bytes on.
        {{0}, 2, 4, false},
        // Attempts at 0, 4, 8, 12; the fourth skips 4 + 4 more and the fifth starts at 20.
        {{0, 4, 8, 12}, 5, 20, false},
        // Each attempt jumps past the next stray header; the accepted one starts at 3608.
        {{0, 1200, 2400, 3600}, 5, 3608, true},
    };
    for (const auto& c : cases) {
        const OpenResult r = Analyse(DamagedStart(c.strays));
        EXPECT_EQ(r.attempts, c.attempts);
        EXPECT_TRUE(r.info.retried);
        EXPECT_EQ(r.info.audioStart, c.audioStart);
        EXPECT_EQ(r.info.frames[0].offset, 5000);
        EXPECT_EQ(r.info.frameCount, 300);
        EXPECT_EQ(r.warnings.size(), c.warned ? 1u : 0u);
        const auto texts = BuildInformationTexts(r.info, TagsKept::Yes, MessageTable::English());
        EXPECT_EQ(texts.LabelFirstFrameInvalid, "yes");
        EXPECT_EQ(texts.LabelFirstFrameMissing, "yes");
    }
    const OpenResult damaged = Analyse(DamagedStart({0, 1200, 2400, 3600}));
    EXPECT_EQ(damaged.warnings, std::vector<OpenWarning>{OpenWarning::RemovedBeginning});
}

TEST(AnalyseFile, FourValidFramesAreNotEnough) {
    EXPECT_EQ(AnalyseError(AudibleFrames(4)), kErrorAnalyzing);
    EXPECT_EQ(AnalyseError(AudibleFrames(5)), "");
}

TEST(AnalyseFile, AcceptanceWantsOneFramePer2000Bytes) {
    // 5 frames followed by 20000 bytes of zeros: 5 frames are not more than 22085 / 2000.
    std::vector<std::uint8_t> file = AudibleFrames(5);
    file.resize(file.size() + 20000, 0);
    EXPECT_EQ(AnalyseError(file), kErrorAnalyzing);
}

TEST(AnalyseFile, SmartCbrRescansWithTheDominantBitrate) {
    // 995 frames at 128 kbit/s and 5 at 160 kbit/s spread through the stream: 99.5 %.
    std::vector<std::uint8_t> file;
    for (int i = 0; i < 1000; ++i)
        AppendFrames(file, AudibleFrame(i % 200 == 100 ? 10 : 9), 1);
    Settings smart;
    const OpenResult on = Analyse(file, smart);
    EXPECT_FALSE(on.info.IsVbr());
    EXPECT_EQ(on.info.frameCount, 995);
    EXPECT_EQ(on.info.missingHeaderCount, 5);
    EXPECT_EQ(on.info.MissingHeaderList, (std::vector<std::int64_t>{100, 299, 498, 697, 896}));

    Settings off;
    off.CheckBoxSmartCBR = false;
    const OpenResult plain = Analyse(file, off);
    EXPECT_TRUE(plain.info.IsVbr());
    EXPECT_EQ(plain.info.frameCount, 1000);
    EXPECT_EQ(plain.info.missingHeaderCount, 0);
}

TEST(AnalyseFile, SmartCbrLeavesAStreamWithAXingFrameAlone) {
    std::vector<std::uint8_t> file = BuildExtraInfoFrame(FrameSpec{}, "Xing", 1000, 0);
    for (int i = 0; i < 1000; ++i)
        AppendFrames(file, AudibleFrame(i % 200 == 100 ? 10 : 9), 1);
    const OpenResult r = Analyse(file);
    EXPECT_TRUE(r.info.IsVbr());
    EXPECT_EQ(r.info.frameCount, 1000);
}

TEST(AnalyseFile, VeryAggressiveMarksQuietFramesOnlyFrom510Frames) {
    struct Case {
        int frames;
        int aggressivity;
        std::int64_t decodedFrom;
        int markedSilent;
    };
    const Case cases[] = {
        {509, 2, 404, 0},
        {510, 2, 5, 500},
        {510, 0, 405, 0},
        {50, 2, 0, 0},
    };
    for (const Case& c : cases) {
        Settings s;
        s.RadioGroupTrimAggressivity = c.aggressivity;
        FakeTail tail;
        const OpenResult r = Analyse(AudibleFrames(c.frames), s, tail.Bind());
        EXPECT_EQ(tail.begin, c.decodedFrom) << c.frames;
        EXPECT_EQ(tail.end, c.frames) << c.frames;
        int silent = 0;
        for (std::int64_t i = 0; i < r.info.frameCount; ++i)
            silent += r.info.frames[i].silent ? 1 : 0;
        EXPECT_EQ(silent, c.markedSilent) << c.frames;
        EXPECT_FALSE(r.info.abruptEnding);
    }
}

TEST(AnalyseFile, EndingIsAbruptWhenTheLast100FramesAreLoud) {
    FakeTail loud;
    loud.energy = 12;
    const OpenResult r = Analyse(AudibleFrames(300), {}, loud.Bind());
    EXPECT_TRUE(r.info.abruptEnding);
    const auto texts = BuildInformationTexts(r.info, TagsKept::Yes, MessageTable::English());
    EXPECT_EQ(texts.EditEnding, "abrupt");
    EXPECT_EQ(texts.EditEndingColor, 0xFF0000u); // red as QColor(QRgb) reads it

    // One quiet frame among the last 100 makes it natural.
    auto quietOne = [](StreamInfo& info, std::int64_t b, std::int64_t e) {
        for (std::int64_t i = b; i < e; ++i)
            info.frames[i].energy = i == e - 100 ? 11 : 5000;
    };
    const OpenResult natural = Analyse(AudibleFrames(300), {}, quietOne);
    EXPECT_FALSE(natural.info.abruptEnding);
    EXPECT_EQ(
        BuildInformationTexts(natural.info, TagsKept::Yes, MessageTable::English()).EditEnding,
        "natural");
}

TEST(AnalyseFile, TailAnalysisFailureFailsTheOpen) {
    auto failing = [](StreamInfo&, std::int64_t, std::int64_t) {
        throw VelmoraError("Stopped at user request");
    };
    EXPECT_THROW(Analyse(AudibleFrames(20), {}, failing), VelmoraError);
}

TEST(AnalyseFile, TrailingTagsRiffHeaderAndId3v2AreSteppedOver) {
    const auto audio = AudibleFrames(50);
    std::vector<std::uint8_t> riff(58, 0);
    std::memcpy(riff.data(), "RIFF", 4);
    std::memcpy(riff.data() + 8, "WAVEfmt ", 8);
    riff[16] = 30;
    std::memcpy(riff.data() + 50, "data", 4);
    std::vector<std::uint8_t> id3v1(128, ' ');
    std::memcpy(id3v1.data(), "TAG", 3);
    const OpenResult r = Analyse(Concat({riff, audio, id3v1}));
    EXPECT_EQ(r.info.riffHeaderSize, 58);
    EXPECT_EQ(r.info.id3v1Size, 128);
    EXPECT_EQ(r.info.audioStart, 58);
    EXPECT_EQ(r.info.frameCount, 50);
    EXPECT_FALSE(r.info.lastFrameIncomplete);
    EXPECT_EQ(r.info.frames[50].offset, 58 + 50 * 417);
}

TEST(AnalyseFile, BadInputGivesTheSpecifiedErrors) {
    std::vector<std::uint8_t> ff(1 << 20, 0xFF);
    std::vector<std::uint8_t> random(1 << 20);
    std::uint32_t seed = 12345;
    for (auto& b : random) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* error;
    } cases[] = {
        {"empty", {}, kNoHeader},
        {"3 bytes", {0xFF, 0xFB, 0x90}, kNoHeader},
        {"1 MiB of 0xFF", ff, kNoHeader},
        {"1 MiB of random bytes", random, nullptr},
        {"headers with too few bytes", Concat({BuildFrame(AudibleFrame())}), kErrorAnalyzing},
    };
    for (const auto& c : cases) {
        const std::string error = AnalyseError(c.bytes);
        if (c.error)
            EXPECT_EQ(error, c.error) << c.name;
        else
            EXPECT_TRUE(error == kNoHeader || error == kErrorAnalyzing) << c.name << ": " << error;
    }
}

TEST(AnalyseFile, BlocksThatLieAboutTheirSizesStayHarmless) {
    const auto audio = AudibleFrames(100);
    // An ID3v2 tag claiming more than the file holds is no tag: its bytes are skipped as garbage.
    auto longTag = Id3v2Tag(400);
    longTag[6] = 0x7F;
    const OpenResult tag = Analyse(Concat({longTag, audio}));
    EXPECT_EQ(tag.info.id3v2.tagSize, 0);
    EXPECT_EQ(tag.info.frames[0].offset, 400);
    EXPECT_TRUE(tag.info.leadingGarbage);

    // A RIFF format chunk size near 4 GiB does not wrap into a small header.
    std::vector<std::uint8_t> riff(70, 0);
    std::memcpy(riff.data(), "RIFF", 4);
    std::memcpy(riff.data() + 8, "WAVEfmt ", 8);
    riff[16] = 0xF0, riff[17] = riff[18] = riff[19] = 0xFF;
    const OpenResult wav = Analyse(Concat({riff, audio}));
    EXPECT_EQ(wav.info.riffHeaderSize, 0);
    EXPECT_EQ(wav.info.frameCount, 100);

    // An APE footer claiming 0xFFFFFFFF bytes and Lyrics3 digits of 999999 are not taken.
    std::vector<std::uint8_t> ape(32, 0);
    std::memcpy(ape.data(), "APETAGEX", 8);
    ape[12] = ape[13] = ape[14] = ape[15] = 0xFF;
    std::string lyrics = "999999LYRICS200";
    const OpenResult tail =
        Analyse(Concat({audio, std::vector<std::uint8_t>(lyrics.begin(), lyrics.end()), ape}));
    EXPECT_EQ(tail.info.apeSize, 0);
    EXPECT_EQ(tail.info.lyrics3Size, 0);
    EXPECT_EQ(tail.info.frameCount, 100);
    EXPECT_TRUE(tail.info.lastFrameIncomplete);
}

TEST(OpenSourceFile, FileErrorsAndTheBusyFlag) {
    TempDir dir;
    const auto path = dir.File("a.mp3");
    WriteFile(path, AudibleFrames(30));
    NullProgress progress;
    const MessageTable messages = MessageTable::English();
    bool busy = false;
    bool busyDuringTail = false;
    auto tail = [&](StreamInfo&, std::int64_t, std::int64_t) { busyDuringTail = busy; };
    const OpenResult r = OpenSourceFile(path, {}, messages, progress, tail, &busy);
    EXPECT_TRUE(busyDuringTail);
    EXPECT_FALSE(busy);
    EXPECT_EQ(r.fileName, "a.mp3");
    EXPECT_EQ(r.info.frameCount, 30);
    EXPECT_GT(r.info.sourceTimeNs, 0);

    WriteFile(dir.File("bad.mp3"), AudibleFrames(4));
    EXPECT_THROW(OpenSourceFile(dir.File("bad.mp3"), {}, messages, progress, tail, &busy),
                 VelmoraError);
    EXPECT_FALSE(busy);

    // A file truncated inside its last frame opens with that frame as an incomplete tail.
    auto truncated = AudibleFrames(50);
    truncated.resize(truncated.size() - 200);
    WriteFile(dir.File("cut.mp3"), truncated);
    const OpenResult cut = OpenSourceFile(dir.File("cut.mp3"), {}, messages, progress, tail, &busy);
    EXPECT_EQ(cut.info.frameCount, 49);
    EXPECT_TRUE(cut.info.lastFrameIncomplete);
    EXPECT_EQ(cut.info.frames[49].length, 217u);

    // A sparse file of 4 GiB + 100 bytes of zeros: no header in the first MiB, found quickly.
    const std::string sparse = dir.File("sparse.mp3");
    if (RunCommand("truncate -s 4294967396 '" + sparse + "'") == 0) {
        try {
            OpenSourceFile(sparse, {}, messages, progress, tail, &busy);
            ADD_FAILURE() << "a file of zeros opened";
        } catch (const VelmoraError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_FALSE(busy);
    }

    const struct {
        std::string path;
        const char* ending;
    } cases[] = {
        {dir.File("missing.mp3"), "Failed to open the file \""},
        {dir.path(), ""},
    };
    for (const auto& c : cases) {
        try {
            OpenSourceFile(c.path, {}, messages, progress, tail, &busy);
            ADD_FAILURE() << c.path;
        } catch (const VelmoraError& e) {
            EXPECT_NE(std::string(e.what()).find(" - "), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.ending), std::string::npos) << e.what();
        }
        EXPECT_FALSE(busy);
    }
}

TEST(OpenTemplates, SeekHeaderHasRoomForTheXingDataInEveryFormat) {
    int checked = 0;
    for (std::uint32_t version : {0u, 2u, 3u})
        for (std::uint32_t layer : {1u, 2u, 3u})
            for (std::uint32_t rate = 0; rate < 3; ++rate)
                for (std::uint32_t mode = 0; mode < 4; ++mode)
                    for (std::uint32_t bitrate = 1; bitrate < 15; ++bitrate)
                        for (std::uint32_t crcAndPadding = 0; crcAndPadding < 4; ++crcAndPadding) {
                            const std::uint32_t word = 0xE0FFu | (version << 11) | (layer << 9) |
                                                       ((crcAndPadding & 1) ? 0 : 0x100u) |
                                                       (bitrate << 20) | (rate << 18) |
                                                       ((crcAndPadding & 2) ? kPaddingMask : 0) |
                                                       (mode << 30) | (3u << 28);
                            MpegHeader first;
                            ASSERT_TRUE(DecodeHeader(first, word));
                            const MpegHeader t = BuildSeekHeaderTemplate(first);
                            EXPECT_GE(t.frameLength, t.sideInfoEnd + 120);
                            EXPECT_LE(t.frameLength, 1728);
                            EXPECT_FALSE(t.hasCrc);
                            // The lowest bitrate with room: one index less would not do.
                            const std::uint32_t index = (t.headerWord >> 20) & 15;
                            if (index > 1) {
                                MpegHeader smaller;
                                DecodeHeader(smaller,
                                             (t.headerWord & ~kBitrateMask) | ((index - 1) << 20));
                                EXPECT_LT(smaller.frameLength, smaller.sideInfoEnd + 120);
                            }
                            // Everything but bitrate, mode extension and protection is kept.
                            EXPECT_EQ(t.headerWord & 0xCF0FFEFF, word & 0xCF0FFEFF);
                            ++checked;
                        }
    EXPECT_EQ(checked, 3 * 3 * 3 * 4 * 14 * 4);
}

// Added silence must read as frames: the stream's bitrate (for VBR the lowest) is taken unless
// its frame would be no longer than its side information (Layer I at 32 kbit/s), which the scan
// would pass over.
TEST(OpenTemplates, SilentFrameIsLongerThanItsSideInformationInEveryFormat) {
    for (std::uint32_t version : {0u, 2u, 3u})
        for (std::uint32_t layer : {1u, 2u, 3u})
            for (std::uint32_t rate = 0; rate < 3; ++rate)
                for (std::uint32_t mode = 0; mode < 4; ++mode)
                    for (const bool vbr : {false, true}) {
                        const std::uint32_t bitrate = vbr ? 14u : 1u;
                        const std::uint32_t word = 0xE0FFu | (version << 11) | (layer << 9) |
                                                   0x100u | (bitrate << 20) | (rate << 18) |
                                                   (mode << 30);
                        MpegHeader first;
                        ASSERT_TRUE(DecodeHeader(first, word));
                        const SilentFrameTemplateData t = BuildSilentFrameTemplate(first, vbr);
                        EXPECT_GT(t.header.frameLength, t.header.sideInfoEnd) << std::hex << word;
                        if (((t.header.headerWord >> 20) & 15) > 1) {
                            MpegHeader lower;
                            DecodeHeader(lower, t.header.headerWord - (1u << 20));
                            EXPECT_LE(lower.frameLength, lower.sideInfoEnd) << std::hex << word;
                        }
                    }
}

// A face that asks to stop at its first pump.
class StopAtOnce final : public IProgress {
public:
    void SetTotal(int) override {}
    void Report(int) override {}
    void ProcessMessages() override { m_stop = true; }
    bool StopRequested() const override { return m_stop; }

private:
    bool m_stop = false;
};

TEST(AnalyseFile, OutcomesAreKnownByKindWhateverTheLanguage) {
    MessageTable translated = MessageTable::English();
    for (std::string& text : translated.MessageStrings)
        text = "(xx) " + text;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        bool stop;
        ErrorKind kind;
        std::string text;
    };
    const Case cases[] = {
        {"stopped", AudibleFrames(3000), true, ErrorKind::Stopped, "Stopped at user request"},
        {"no header", {}, false, ErrorKind::NoHeader, translated.MessageStrings[kMsgNoValidHeader]},
        // The retries recognise the scan's "no header" by its kind, so the translated text of
        // the second attempt still becomes the analysis error.
        {"skips ran out", AudibleFrames(4), false, ErrorKind::Failure,
         translated.MessageStrings[kMsgErrorAnalyzing]},
    };
    for (const Case& c : cases) {
        StopAtOnce stopping;
        NullProgress running;
        IProgress& progress = c.stop ? static_cast<IProgress&>(stopping) : running;
        try {
            AnalyseFile(c.file, Settings{}, translated, progress, {});
            ADD_FAILURE() << c.name << ": opened";
        } catch (const VelmoraError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.name;
            EXPECT_EQ(IsStopRequest(e), c.kind == ErrorKind::Stopped) << c.name;
            EXPECT_EQ(e.what(), c.text) << c.name;
        }
    }
}
