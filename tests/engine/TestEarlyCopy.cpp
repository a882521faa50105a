// A Save As whose frames were copied while the file was opened must give exactly the file an
// ordinary Save As gives, whether or not the copy could be used.

#include "Fixtures.h"
#include "OpenHelpers.h"
#include "WriterHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace velmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct EarlyRun {
    std::vector<std::uint8_t> bytes;
    bool used = false;
    std::string error;
};

// Opens `source` with an early copy whose forecast is made as the command line makes it (off
// by `shift` bytes, to test a wrong one), then saves to `output` with it.
EarlyRun SaveAsEarly(const std::string& source, const std::string& output, const Settings& s,
                     const SaveSpec& spec, std::int64_t shift = 0) {
    EarlyCopy::Forecast forecast;
    forecast.startFrame = [&](const MpegHeader&) { return spec.trim.beginFrames; };
    forecast.outputOffset = [&](const StreamInfo& info) {
        const WriteParams p = MakeSaveParams(source, output, info, spec.trim,
                                             PlanFor(info, s, spec), s, spec.gain, 0, 0);
        return OutputHeadLength(p, info, {s, Messages(), spec.wav, spec.tagsKept}) + shift;
    };
    EarlyCopy early(output, forecast);
    NullProgress progress;
    EarlyRun run;
    try {
        StreamInfo info = OpenSourceFile(source, s, Messages(), progress, {}, nullptr, &early).info;
        const OutputPlan plan = PlanFor(info, s, spec);
        WriteParams p = MakeSaveParams(source, output, info, spec.trim, plan, s, spec.gain,
                                       spec.fadeIn, spec.fadeOut);
        p.earlyCopy = &early;
        const WriteResult r =
            WriteOutput(p, info, {s, Messages(), spec.wav, spec.tagsKept}, progress);
        EXPECT_EQ(r.outputSize, plan.predictedSize);
        run.bytes = ReadFile(output);
    } catch (const std::exception& e) {
        run.error = e.what();
    }
    run.used = early.Used();
    return run;
}

std::vector<std::uint8_t> SaveAsPlain(const std::string& source, const std::string& output,
                                      const Settings& s, const SaveSpec& spec) {
    StreamInfo info = OpenFile(source, s);
    Save(source, output, info, s, spec);
    return ReadFile(output);
}

TEST(EarlyCopy, LameFilesGiveTheOrdinaryOutput) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame needed";
    TempDir dir;
    PcmSpec pcmSpec;
    std::vector<std::int16_t> pcm;
    // Long enough for the scan to read it in several pieces.
    AppendTone(pcm, pcmSpec, 10, 440, 12000);
    AppendNoise(pcm, pcmSpec, 10, 6000, 3);
    const struct {
        const char* name;
        const char* lame;
    } sources[] = {{"cbr.mp3", "-b 128"}, {"vbr.mp3", "-V 2"}, {"crc.mp3", "-b 96 -p"}};
    std::vector<SaveVariant> variants = UnchangedFrameVariants();
    variants.push_back({"wav", [](Settings&) {}, {{5, 5}, 0, 0, 0, true}});
    for (const auto& src : sources) {
        const std::string path = dir.File(src.name);
        EncodeWithLame(pcm, pcmSpec, src.lame, path);
        for (const auto& v : variants) {
            Settings s = NeutralSettings();
            v.adjust(s);
            const std::string what = std::string(src.name) + " " + v.name;
            const auto expected = SaveAsPlain(path, dir.File("plain.mp3"), s, v.spec);
            const EarlyRun run = SaveAsEarly(path, dir.File("early.mp3"), s, v.spec);
            EXPECT_EQ(run.error, "") << what;
            EXPECT_TRUE(run.used) << what;
            EXPECT_TRUE(run.bytes == expected) << what;
        }
    }
}

// Tags at both ends, junk between frames: the copy is used where the kept frames follow each
// other in the source, and the output is the ordinary one either way.
TEST(EarlyCopy, TagsJunkAndWrongForecasts) {
    TempDir dir;
    std::vector<std::uint8_t> file = Id3v2WithTlen("123456");
    const auto frames = GainFrames(60);
    const std::size_t half = frames.size() / 2 / 418 * 418;
    file.insert(file.end(), frames.begin(), frames.begin() + static_cast<long>(half));
    Append(file, {1, 2, 3, 4, 5, 6, 7});
    file.insert(file.end(), frames.begin() + static_cast<long>(half), frames.end());
    Append(file, ApeTag(40));
    Append(file, Lyrics3v2("words"));
    Append(file, Id3v1("title"));
    const std::string path = dir.File("a.mp3");
    WriteFile(path, file);

    const struct {
        const char* name;
        bool cleanup;
        SaveSpec spec;
        std::int64_t shift;
        bool used;
    } cases[] = {
        {"junk dropped", true, {{3, 4}}, 0, false},
        {"junk carried", false, {{3, 4}}, 0, true},
        {"junk after the kept frames", true, {{3, 40}}, 0, true},
        {"forecast one byte short", false, {{3, 4}}, -1, false},
        {"forecast one byte long", true, {{3, 40}}, 1, false},
        {"nothing kept", true, {{30, 30}}, 0, false},
    };
    for (const auto& c : cases) {
        Settings s = NeutralSettings();
        s.CheckBoxCleanup = c.cleanup;
        const auto expected = SaveAsPlain(path, dir.File("plain.mp3"), s, c.spec);
        const EarlyRun run = SaveAsEarly(path, dir.File("early.mp3"), s, c.spec, c.shift);
        EXPECT_EQ(run.error, "") << c.name;
        EXPECT_EQ(run.used, c.used) << c.name;
        EXPECT_TRUE(run.bytes == expected) << c.name;
        EXPECT_EQ(Listing(dir.path()),
                  (std::vector<std::string>{"a.mp3", "early.mp3", "plain.mp3"}))
            << c.name;
    }
}

// A copy begun for a save that then fails leaves no file behind and the old target as it was.
TEST(EarlyCopy, FailedSavesLeaveNothingBehind) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, GainFrames(40));
    const Settings s = NeutralSettings();

    EarlyRun run = SaveAsEarly(path, dir.File("none/b.mp3"), s, {{2, 2}});
    EXPECT_NE(run.error.find("No such file or directory"), std::string::npos) << run.error;
    EXPECT_FALSE(run.used);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.mp3"});

    // The trim asks for more frames than there are: the open succeeds, the writer refuses.
    const std::vector<std::uint8_t> old(1000, 7);
    WriteFile(dir.File("b.mp3"), old);
    run = SaveAsEarly(path, dir.File("b.mp3"), s, {{30, 30}});
    EXPECT_NE(run.error, "");
    EXPECT_EQ(ReadFile(dir.File("b.mp3")), old);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));

    // A disk without room for the new file: the copy does not start, the save fails.
    SmallFilesystem small(dir.File("small"));
    if (!small.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs";
    const std::string folder = dir.File("small");
    WriteFile(folder + "/a.mp3", GainFrames(900)); // 375 KB of the 1 MiB
    WriteFile(folder + "/b.mp3", std::vector<std::uint8_t>(300000, 7));
    run = SaveAsEarly(folder + "/a.mp3", folder + "/b.mp3", s, {{1, 1}});
    EXPECT_NE(run.error.find("No space left on device\nIs your disk full?"), std::string::npos)
        << run.error;
    EXPECT_FALSE(run.used);
    EXPECT_EQ(ReadFile(folder + "/b.mp3"), std::vector<std::uint8_t>(300000, 7));
    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"a.mp3", "b.mp3"}));
}

} // namespace
} // namespace velmora
