#include "CueHelpers.h"

#include "Fixtures.h"
#include "UnitCueSheet.h"
#include "UnitCueSplit.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kRate = 44100;
// Encoder delay plus decoder delay of lame files decoded without gapless trimming.
constexpr int kDecodedDelay = 576 + 529;

struct Recording {
    std::string path;
    std::vector<std::int64_t> gapMiddleFrames; // where each gap's middle is heard
};

// Four tones separated by digital silence of 2, 3 and 2.5 s.
Recording MakeRecording(const std::string& path) {
    const PcmSpec spec{kRate, 2};
    std::vector<std::int16_t> pcm;
    Recording r{path, {}};
    const double gaps[] = {2.0, 3.0, 2.5};
    const double tones[] = {440, 660, 550, 330};
    for (int k = 0; k < 4; ++k) {
        AppendTone(pcm, spec, 8.0, tones[k], 6000 + 2000 * k);
        if (k == 3)
            break;
        const std::int64_t begin = static_cast<std::int64_t>(pcm.size() / 2);
        AppendSilence(pcm, spec, gaps[k]);
        const std::int64_t end = static_cast<std::int64_t>(pcm.size() / 2);
        r.gapMiddleFrames.push_back(((begin + end) / 2 + kDecodedDelay) / 1152);
    }
    EncodeWithLame(pcm, spec, "-b 128", path);
    return r;
}

} // namespace

TEST(GenerateCueSheet, LameRecordingGetsATrackAtTheMiddleOfEveryGap) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const Recording rec = MakeRecording(dir.File("rec.mp3"));
    OpenResult opened = OpenWithDecoder(rec.path, {}, true);
    Settings settings;
    settings.SpinEditMinimumCueTrackLength = 5;
    NullProgress progress;
    const CueGenerateResult result =
        GenerateCueSheet(rec.path, opened.info, {}, PriorVolumeAnalysis::None, settings,
                         MessageTable::English(), progress);

    ASSERT_EQ(result.sheet.trackFrames.size(), 4u) << result.sheet.text;
    EXPECT_EQ(result.sheet.trackFrames[0], 0);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::int64_t split = result.sheet.trackFrames[k + 1];
        EXPECT_NEAR(split, rec.gapMiddleFrames[k], 2) << k;
        // The split is the middle of the run of silent frames around it.
        std::int64_t s = split, e = split;
        while (s > 0 && opened.info.frames[s - 1].energy == 0)
            --s;
        while (e < opened.info.frameCount && opened.info.frames[e].energy == 0)
            ++e;
        EXPECT_EQ(split, s + (e - s) / 2) << k;
        EXPECT_GE(e - s, 60) << k;
    }
    EXPECT_TRUE(result.normalization.has_value());
    EXPECT_EQ(result.cuePath, dir.File("rec.cue"));
    const std::vector<std::uint8_t> written = ReadFile(result.cuePath);
    EXPECT_EQ(std::string(written.begin(), written.end()), result.sheet.text);
    EXPECT_EQ(result.sheet.text.substr(0, 6 + rec.path.size() + 10),
              "FILE \"" + rec.path + "\" BINARY\r\n");
}

TEST(GenerateCueSheet, DigitalSilenceOnlyStopsBeforeWritingASheet) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const PcmSpec spec{kRate, 2};
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, spec, 5.0);
    EncodeWithLame(pcm, spec, "-b 128", dir.File("quiet.mp3"));
    OpenResult opened = OpenWithDecoder(dir.File("quiet.mp3"), {}, true);
    NullProgress progress;
    EXPECT_THROW(GenerateCueSheet(dir.File("quiet.mp3"), opened.info, {}, PriorVolumeAnalysis::None,
                                  {}, MessageTable::English(), progress),
                 VelmoraError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("quiet.cue")));
}

TEST(GenerateThenSplit, OneFilePerTrackWithTheSourceFramesByteForByte) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const Recording rec = MakeRecording(dir.File("rec.mp3"));
    const std::vector<std::uint8_t> source = ReadFile(rec.path);
    OpenResult opened = OpenWithDecoder(rec.path, {}, true);
    Settings settings;
    settings.SpinEditMinimumCueTrackLength = 5;
    settings.CheckBoxExactCut = false; // the frame cut, whose bytes this test pins
    NullProgress progress;
    const MessageTable messages = MessageTable::English();
    const CueGenerateResult sheet = GenerateCueSheet(
        rec.path, opened.info, {}, PriorVolumeAnalysis::None, settings, messages, progress);
    const SplitResult split =
        SplitByCueSheet(rec.path, opened.info, {}, settings, messages, progress);

    ASSERT_TRUE(split.found);
    EXPECT_EQ(split.folder, dir.File("rec"));
    EXPECT_EQ(Listing(split.folder),
              (std::vector<std::string>{"01.mp3", "02.mp3", "03.mp3", "04.mp3"}));
    std::vector<std::int64_t> starts = sheet.sheet.trackFrames;
    starts.push_back(opened.info.frameCount);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string& out = split.written[k];
        const OpenResult track = OpenWithDecoder(out, {}, true);
        // The sheet's hundredths may land one frame before the split frame itself.
        const std::int64_t first = MillisecondsToFrames(
            opened.info.firstHeader, FramesToMilliseconds(opened.info.firstHeader, starts[k]));
        const std::int64_t last =
            k + 1 < 4
                ? MillisecondsToFrames(opened.info.firstHeader,
                                       FramesToMilliseconds(opened.info.firstHeader, starts[k + 1]))
                : starts[k + 1];
        ASSERT_EQ(track.info.frameCount, last - first) << out;
        EXPECT_EQ(FrameBytes(ReadFile(out), track.info, 0, last - first),
                  FrameBytes(source, opened.info, first, last - first))
            << out;
        if (HaveProgram("mpg123")) {
            std::string messagesOut;
            EXPECT_EQ(RunCommand("mpg123 -t -q '" + out + "'", &messagesOut), 0);
            EXPECT_EQ(messagesOut, "") << out;
        }
    }
}
