// A Save As whose frames were copied while the file was opened must give exactly the file an
// ordinary Save As gives, whether or not the copy could be used.

#include "DecoderOracle.h"
#include "Fixtures.h"
#include "OpenHelpers.h"
#include "WriterHelpers.h"

#include "UnitDescriptor.h"
#include "UnitIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace velmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct EarlyRun {
    std::vector<std::uint8_t> bytes;
    bool used = false;
    std::string error;
    std::string warning;
};

// The decoded samples an exact cut keeps: [begin, the decoded length - endGap).
struct Samples {
    std::int64_t begin = 0;
    std::int64_t endGap = 0;
};

// The save's parameters as the command line makes them, the cut to the sample when given.
WriteParams Params(const std::string& source, const std::string& output, const StreamInfo& info,
                   const Settings& s, const SaveSpec& spec, std::optional<Samples> samples) {
    WriteParams p = MakeSaveParams(source, output, info, spec.trim, PlanFor(info, s, spec), s,
                                   spec.gain, spec.fadeIn, spec.fadeOut);
    if (samples) {
        p.beginSample = samples->begin;
        p.endSample = std::max(p.beginSample, DecodedSamples(info) - samples->endGap);
    }
    return p;
}

// Opens `source` with an early copy whose forecast is made as the command line makes it (off
// by `shift` bytes, to test a wrong one), then saves to `output` with it.
EarlyRun SaveAsEarly(const std::string& source, const std::string& output, const Settings& s,
                     const SaveSpec& spec, std::int64_t shift = 0,
                     std::optional<Samples> samples = std::nullopt, std::int64_t copyStep = 0) {
    EarlyCopy::Forecast forecast;
    if (copyStep > 0)
        forecast.copyStep = copyStep;
    forecast.startFrame = [&](const MpegHeader&) { return spec.trim.beginFrames; };
    forecast.place = [&](const StreamInfo& info) {
        EarlyCopy::Placement at = PlaceEarlyCopy(Params(source, output, info, s, spec, samples),
                                                 info, {s, Messages(), spec.wav, spec.tagsKept});
        at.outputOffset += shift;
        return at;
    };
    EarlyCopy early(source, output, forecast);
    NullProgress progress;
    EarlyRun run;
    try {
        StreamInfo info = OpenSourceFile(source, s, Messages(), progress, {}, nullptr, &early).info;
        WriteParams p = Params(source, output, info, s, spec, samples);
        p.earlyCopy = &early;
        const WriteResult r =
            WriteOutput(p, info, {s, Messages(), spec.wav, spec.tagsKept}, progress);
        if (!samples) {
            EXPECT_EQ(r.outputSize, PlanFor(info, s, spec).predictedSize);
        }
        run.warning = r.exactCutWarning;
        run.bytes = ReadFile(output);
    } catch (const std::exception& e) {
        run.error = e.what();
    }
    run.used = early.Used();
    return run;
}

std::vector<std::uint8_t> SaveAsPlain(const std::string& source, const std::string& output,
                                      const Settings& s, const SaveSpec& spec,
                                      std::optional<Samples> samples = std::nullopt) {
    StreamInfo info = OpenFile(source, s);
    NullProgress none;
    WriteOutput(Params(source, output, info, s, spec, samples), info,
                {s, Messages(), spec.wav, spec.tagsKept}, none);
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

// An exact cut starts a few frames before (or, after a long encoder delay, after) the frame a
// frame cut keeps first, behind carrier frames: the copy is placed as the cut plans it.
TEST(EarlyCopy, ExactCutsGiveTheOrdinaryOutput) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame needed";
    TempDir dir;
    const struct {
        const char* name;
        const char* lame;
        int rate, channels;
    } sources[] = {
        {"cbr.mp3", "-b 128", 44100, 2},      {"vbr.mp3", "-V 2", 44100, 2},
        {"crc.mp3", "-b 96 -p", 44100, 2},    {"mpeg2.mp3", "-V 5", 22050, 2},
        {"mono.mp3", "-b 64 -m m", 32000, 1}, {"no-tag.mp3", "-b 128 -t", 44100, 2},
    };
    const struct {
        const char* what;
        Samples samples;
    } cuts[] = {
        {"inside frames", {30 * 1152 + 333, 10 * 1152 + 17}},
        {"on a frame boundary", {40 * 1152, 0}},
        {"from the start", {0, 5000}},
        {"added silence: the frame cut", {3000, 3000}},
    };
    for (const auto& src : sources) {
        const std::string path = EncodeMixture(dir, src.name, src.lame, 4, src.rate, src.channels);
        for (const auto& cut : cuts) {
            const std::string what = std::string(src.name) + ", " + cut.what;
            Settings s = NeutralSettings();
            s.CheckBoxExactCut = true;
            if (std::string_view(cut.what).starts_with("added silence"))
                s.ComboBoxAddSilenceBeginning = 2;
            StreamInfo info = OpenFile(path, s);
            const std::int64_t spf = SamplesPerFrame(info.firstHeader);
            const Samples at = cut.samples;
            const std::int64_t endFrames = at.endGap / spf;
            const SaveSpec spec{{at.begin / spf, endFrames}};
            const auto expected = SaveAsPlain(path, dir.File("plain.mp3"), s, spec, at);
            const EarlyRun run = SaveAsEarly(path, dir.File("early.mp3"), s, spec, 0, at);
            EXPECT_EQ(run.error, "") << what;
            EXPECT_TRUE(run.used) << what;
            // Added silence, or a start within the decoder's delay of a source that does not
            // declare it: the frame cut, copied early as well.
            const bool frameCut = s.ComboBoxAddSilenceBeginning > 0 ||
                                  (std::string_view(src.name) == "no-tag.mp3" && at.begin == 0);
            EXPECT_EQ(run.warning.empty(), !frameCut) << what;
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

// The copy runs within the kernel on one file system and through the process across two (the
// output on the tmpfs at /dev/shm): the same file either way. A source shorter than the copy asks
// for ends it without an error.
TEST(EarlyCopy, CopiesOnOneFileSystemAndAcrossTwo) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, GainFrames(400));
    const auto source = ReadFile(path);
    const Settings s = NeutralSettings();
    const auto expected = SaveAsPlain(path, dir.File("plain.mp3"), s, {{3, 4}});

    std::optional<TempDir> shm;
    try {
        shm.emplace("/dev/shm");
    } catch (const std::runtime_error&) {
    }
    struct stat here {};
    struct stat there {};
    const bool across = shm && ::stat(dir.path().c_str(), &here) == 0 &&
                        ::stat(shm->path().c_str(), &there) == 0 && here.st_dev != there.st_dev;
    for (const std::string& folder : {dir.File("out"), across ? shm->path() : std::string()}) {
        if (folder.empty())
            continue;
        fs::create_directories(folder);
        // In one step, and in steps of a page and of three pages.
        for (const std::int64_t step : {std::int64_t{0}, std::int64_t{1}, std::int64_t{12288}}) {
            const EarlyRun run =
                SaveAsEarly(path, folder + "/early.mp3", s, {{3, 4}}, 0, std::nullopt, step);
            EXPECT_EQ(run.error, "") << folder << " " << step;
            EXPECT_TRUE(run.used) << folder << " " << step;
            EXPECT_TRUE(run.bytes == expected) << folder << " " << step;
        }

        const Descriptor from(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        const Descriptor to(
            ::open((folder + "/part").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        const auto size = static_cast<std::int64_t>(source.size());
        const IoResult r = CopyRangeFully(from.get(), 100, to.get(), 7, size);
        EXPECT_EQ(r.error, 0) << folder;
        EXPECT_EQ(r.bytes, size - 100) << folder;
        const auto copied = ReadFile(folder + "/part");
        EXPECT_TRUE(copied.size() == source.size() - 93 &&
                    std::equal(source.begin() + 100, source.end(), copied.begin() + 7))
            << folder;
    }
    if (!across)
        GTEST_SKIP() << "no second file system at /dev/shm: the copy through the process untested";
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
