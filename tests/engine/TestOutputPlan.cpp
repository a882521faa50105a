#include "OpenHelpers.h"
#include "UnitOutputPlan.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::test;

namespace {

OutputPlanDisplay Plan(const StreamInfo& info, const Settings& s, TrimPoints trim = {},
                       bool tagsKept = true, bool wav = false, std::string_view sep = ".") {
    return ComputeOutputPlan(
        info, trim, s,
        {.tagsKept = TagsKept{tagsKept}, .outputIsWav = wav, .decimalSeparator = sep});
}

std::vector<std::uint8_t> Id3v1() {
    std::vector<std::uint8_t> tag(128, ' ');
    std::memcpy(tag.data(), "TAG", 3);
    return tag;
}

} // namespace

TEST(OutputPlan, OneSecondOfSilenceAtBothEndsAdds38FramesEach) {
    const OpenResult r = Analyse(AudibleFrames(100));
    Settings s;
    s.ComboBoxAddSilenceBeginning = 10; // 1.0s
    s.ComboBoxAddSilenceEnd = 10;
    const auto d = Plan(r.info, s);
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.plan.silenceBeginFrames, 38);
    EXPECT_EQ(d.plan.silenceEndFrames, 38);
    EXPECT_EQ(d.plan.outputFrames, 176);
    // The silent frame is the first frame's size without padding: 417 bytes.
    EXPECT_EQ(d.plan.predictedSize, 176 * 417);
    EXPECT_EQ(d.plan.bytesSaved, -76 * 417);
    EXPECT_EQ(d.LabelTimeRemain, "0:04");
    EXPECT_EQ(d.LabelSpaceSaved, "-30.9KB");
}

TEST(OutputPlan, TrimmingAndTheLabels) {
    const OpenResult r = Analyse(AudibleFrames(100));
    const struct {
        TrimPoints trim;
        std::string_view separator;
        std::int64_t outputFrames;
        std::string saved, remain;
    } cases[] = {
        {{0, 0}, ".", 100, "0.0KB", "0:02"},   {{10, 5}, ".", 85, "6.1KB", "0:02"},
        {{10, 5}, ",", 85, "6,1KB", "0:02"},   {{-1, 0}, ".", 0, "(0KB)", "(00:00)"},
        {{0, -1}, ".", 0, "(0KB)", "(00:00)"},
    };
    for (const auto& c : cases) {
        const auto d = Plan(r.info, Settings{}, c.trim, true, false, c.separator);
        EXPECT_EQ(d.valid, c.trim.beginFrames >= 0 && c.trim.endFrames >= 0);
        EXPECT_EQ(d.plan.outputFrames, c.outputFrames);
        EXPECT_EQ(d.LabelSpaceSaved, c.saved);
        EXPECT_EQ(d.LabelTimeRemain, c.remain);
    }
    EXPECT_EQ(FormatOneDecimal(1536 / 1024.0, "."), "1.5");
    EXPECT_EQ(FormatOneDecimal(-512 / 1024.0, "."), "-0.5");
}

TEST(OutputPlan, IncompleteLastFrameIsKeptOnlyWhenAskedAndNothingIsTrimmedAtTheEnd) {
    std::vector<std::uint8_t> file = AudibleFrames(50);
    file.resize(file.size() + 30, 0x11);
    const OpenResult r = Analyse(file);
    ASSERT_TRUE(r.info.lastFrameIncomplete);
    const struct {
        bool removeLast;
        std::int64_t endTrim;
        int keep;
        std::int64_t size;
    } cases[] = {
        {false, 0, 1, 50 * 417 + 30},
        {true, 0, 0, 50 * 417},
        {false, 1, 0, 49 * 417},
    };
    for (const auto& c : cases) {
        Settings s;
        s.CheckBoxRemoveLastFrame = c.removeLast;
        for (bool cleanup : {true, false}) {
            s.CheckBoxCleanup = cleanup;
            const auto d = Plan(r.info, s, {0, c.endTrim});
            EXPECT_EQ(d.plan.keepIncompleteLast, c.keep);
            EXPECT_EQ(d.plan.predictedSize, c.size);
            EXPECT_EQ(d.plan.outputFrames, 50 - c.endTrim);
        }
    }
}

TEST(OutputPlan, CleanupOffKeepsTheBytesBetweenFrames) {
    std::vector<std::uint8_t> file = AudibleFrames(20);
    const std::vector<std::uint8_t> junk(100, 0);
    file.insert(file.begin() + 10 * 417, junk.begin(), junk.end());
    const OpenResult r = Analyse(file);
    ASSERT_EQ(r.info.frameCount, 20);
    Settings s;
    EXPECT_EQ(Plan(r.info, s).plan.bytesSaved, 100);
    EXPECT_EQ(Plan(r.info, s).LabelSpaceSaved, "0.1KB");
    s.CheckBoxCleanup = false;
    EXPECT_EQ(Plan(r.info, s).plan.bytesSaved, 0);
    // Junk after the last kept frame goes with the trim.
    EXPECT_EQ(Plan(r.info, s, {0, 10}).plan.predictedSize, 10 * 417);
}

TEST(OutputPlan, TagModesWavAndTheTagToggle) {
    const OpenResult bare = Analyse(AudibleFrames(30));
    const OpenResult tagged = Analyse(Concat({Id3v2Tag(1000), AudibleFrames(30), Id3v1()}));
    const std::int64_t audio = 30 * 417;
    const struct {
        const OpenResult* file;
        std::uint8_t id3v1Mode;
        bool keepId3v2;
        bool tagsKept;
        bool wav;
        std::int64_t size;
    } cases[] = {
        {&bare, kId3v1Keep, true, true, false, audio},
        {&bare, kId3v1Remove, true, true, false, audio},
        {&bare, kId3v1Recreate, true, true, false, audio + 128},
        {&tagged, kId3v1Keep, true, true, false, audio + 128 + 1000},
        {&tagged, kId3v1Remove, true, true, false, audio + 1000},
        {&tagged, kId3v1Keep, false, true, false, audio + 128},
        {&tagged, kId3v1Keep, true, false, false, audio},
        {&tagged, kId3v1Recreate, true, false, false, audio + 128},
        // A WAV-wrapped output never carries the ID3v2 tag.
        {&tagged, kId3v1Keep, true, true, true, 58 + audio + 128},
    };
    for (const auto& c : cases) {
        Settings s;
        s.RadioButtonID3Remove = c.id3v1Mode;
        s.CheckBoxKeepID3v2 = c.keepId3v2;
        const auto d = Plan(c.file->info, s, {}, c.tagsKept, c.wav);
        EXPECT_EQ(d.plan.predictedSize, c.size) << int(c.id3v1Mode) << c.tagsKept << c.wav;
        EXPECT_EQ(d.plan.bytesSaved, c.file->info.sourceSize - c.size);
    }
}
