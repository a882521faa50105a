#include "Fixtures.h"
#include "OpenHelpers.h"
#include "UnitMP3.h"
#include "WriterHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

namespace velmora {

namespace {

using namespace test;
namespace fs = std::filesystem;

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// A file with tone, noise and quiet, as lame encodes it.
std::string Encode(const TempDir& dir, const std::string& name, const std::string& args,
                   double seconds = 6, int rate = 44100, int channels = 2) {
    PcmSpec spec{rate, channels};
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, spec, seconds / 3, 440, 12000);
    AppendNoise(pcm, spec, seconds / 3, 6000, 7);
    AppendTone(pcm, spec, seconds / 3, 1000, 3000);
    const std::string path = dir.File(name);
    EncodeWithLame(pcm, spec, args, path);
    return path;
}

// The frame and byte counts of the output's extra-info frame, when it has one.
struct XingCounts {
    bool present = false;
    std::int64_t frames = -1, bytes = -1;
};
XingCounts ReadXing(const std::vector<std::uint8_t>& out, std::int64_t at) {
    XingCounts x;
    MpegHeader h;
    if (at + 4 > static_cast<std::int64_t>(out.size()) || !DecodeHeader(h, HeaderWordAt(&out[at])))
        return x;
    const std::uint8_t* p = out.data() + at + h.sideInfoEnd;
    if (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0)
        return x;
    x.present = true;
    const std::uint32_t flags = Be32(p + 4);
    const std::uint8_t* q = p + 8;
    if (flags & 1)
        x.frames = Be32(q), q += 4;
    if (flags & 2)
        x.bytes = Be32(q);
    return x;
}

TEST(WriterFiles, LameOutputsDecodeCleanlyAndAgreeWithThePlan) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123"))
        GTEST_SKIP() << "lame and mpg123 needed";
    TempDir dir;
    const struct {
        const char* name;
        const char* lame;
        int rate, channels;
    } sources[] = {
        {"cbr.mp3", "-b 128", 44100, 2},
        {"vbr.mp3", "-V 2", 44100, 2},
        {"crc.mp3", "-b 96 -p", 44100, 2},
        {"mono.mp3", "-b 32 -m m", 22050, 1},
    };
    std::vector<SaveVariant> variants = UnchangedFrameVariants();
    variants.push_back({"gain and fades", [](Settings&) {}, {{3, 3}, 2, 10, 12}});
    variants.push_back({"gain down", [](Settings&) {}, {{}, -8}});
    for (const auto& src : sources) {
        const std::string path = Encode(dir, src.name, src.lame, 6, src.rate, src.channels);
        for (const auto& v : variants) {
            for (bool inPlace : {false, true}) {
                Settings s = NeutralSettings();
                v.adjust(s);
                std::string target = dir.File("out.mp3");
                if (inPlace)
                    fs::copy_file(path, target, fs::copy_options::overwrite_existing);
                StreamInfo info = OpenFile(inPlace ? target : path, s);
                const OutputPlan plan = PlanFor(info, s, v.spec);
                Save(inPlace ? target : path, inPlace ? "" : target, info, s, v.spec);
                const std::string what =
                    std::string(src.name) + " " + v.name + (inPlace ? " in place" : "");
                const Mpg123Report r = RunMpg123(target);
                EXPECT_EQ(r.status, 0) << what;
                EXPECT_EQ(r.complaints, "") << what;
                EXPECT_EQ(r.frames, plan.outputFrames) << what;
                const auto out = ReadFile(target);
                const XingCounts x = ReadXing(out, 0);
                if (x.present) {
                    EXPECT_EQ(x.frames, plan.outputFrames) << what;
                    EXPECT_EQ(x.bytes, static_cast<std::int64_t>(out.size())) << what;
                }
                // Our own scan of the output agrees as well.
                const StreamInfo again = OpenFile(target, s);
                EXPECT_EQ(again.frameCount, plan.outputFrames) << what;
                EXPECT_EQ(again.missingHeaderCount, 0) << what;
                EXPECT_EQ(again.badCrcCount, 0) << what;
            }
        }
    }
}

std::vector<std::int16_t> DecodePcm(const std::string& path) {
    const std::string raw = path + ".raw";
    EXPECT_EQ(RunCommand("mpg123 -q --no-gapless -s '" + path + "' > '" + raw + "'"), 0);
    const auto bytes = ReadFile(raw);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

TEST(WriterFiles, AddedSilenceDecodesToDigitalSilence) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123"))
        GTEST_SKIP() << "lame and mpg123 needed";
    TempDir dir;
    const std::string path = Encode(dir, "a.mp3", "-b 128");
    Settings s = NeutralSettings();
    s.ComboBoxAddSilenceBeginning = s.ComboBoxAddSilenceEnd = 10; // 38 frames each
    StreamInfo info = OpenFile(path, s);
    Save(path, dir.File("b.mp3"), info, s, {{5, 5}});
    const auto pcm = DecodePcm(dir.File("b.mp3"));
    const std::size_t frameSamples = 1152 * 2;
    ASSERT_EQ(pcm.size(), static_cast<std::size_t>(info.frameCount - 10 + 76) * frameSamples);
    const auto zero = [](std::int16_t v) { return v == 0; };
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.begin() + 38 * frameSamples, zero));
    EXPECT_FALSE(
        std::all_of(pcm.begin() + 38 * frameSamples, pcm.begin() + 40 * frameSamples, zero));
    // The first trailing frame still carries the overlap of the last audio frame.
    EXPECT_TRUE(std::all_of(pcm.end() - 37 * frameSamples, pcm.end(), zero));
}

TEST(WriterFiles, WavOutputDecodes) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123"))
        GTEST_SKIP() << "lame and mpg123 needed";
    TempDir dir;
    const std::string path = Encode(dir, "a.mp3", "-V 4");
    Settings s = NeutralSettings();
    StreamInfo info = OpenFile(path, s);
    SaveSpec spec{{4, 4}, 1};
    spec.wav = true;
    const OutputPlan plan = PlanFor(info, s, spec);
    Save(path, dir.File("w.wav"), info, s, spec);
    const auto wav = ReadFile(dir.File("w.wav"));
    WriteFile(dir.File("data.mp3"), {wav.begin() + 58, wav.end()});
    const Mpg123Report r = RunMpg123(dir.File("data.mp3"));
    EXPECT_EQ(r.complaints, "");
    EXPECT_EQ(r.frames, plan.outputFrames);
    if (HaveProgram("ffmpeg")) {
        std::string output;
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + dir.File("w.wav") + "' -f null -",
                             &output),
                  0);
        EXPECT_EQ(output, "");
    }
}

TEST(WriterFiles, MemoryTargetHoldsFramesSilenceAndTrailingBlocks) {
    TempDir dir;
    std::vector<std::uint8_t> source = Id3v2Tag(200);
    const auto frames = GainFrames(20);
    Append(source, frames);
    const auto ape = ApeTag(4000);
    Append(source, ape);
    Append(source, Id3v1("x"));
    WriteFile(dir.File("a.mp3"), source);
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    std::vector<std::uint8_t> memory(7, 1);
    WriteParams p;
    p.sourcePath = dir.File("a.mp3");
    p.memoryTarget = &memory;
    p.keepId3v2 = true; // never reaches a buffer
    p.writeId3v1 = false;
    p.silenceBeginFrames = 2;
    p.startFrame = 5;
    p.frameCount = 10;
    p.fadeSpan = 20;
    const WriteContext context{s, Messages(), true, true};
    NullProgress progress;
    const WriteResult r = WriteOutput(p, info, context, progress);
    const std::int64_t frame = static_cast<std::int64_t>(frames.size() / 20);
    std::vector<std::uint8_t> expected = info.SilentFrameTemplate.image;
    Append(expected, info.SilentFrameTemplate.image);
    expected.insert(expected.end(), frames.begin() + 5 * frame, frames.begin() + 15 * frame);
    Append(expected, ape);
    EXPECT_EQ(r.value, static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(memory, expected);
    EXPECT_EQ(r.windowAction, WindowAction::ReenableCommands);
}

TEST(WriterFiles, MissingOutputFolderFailsAndCreatesNothing) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), GainFrames(20));
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    const std::string error = SaveError(dir.File("a.mp3"), dir.File("none/b.mp3"), info, s);
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.mp3"});
}

TEST(WriterFiles, SourceChangedAfterOpenIsRefused) {
    for (bool inPlace : {false, true}) {
        TempDir dir;
        const auto source = GainFrames(20);
        WriteFile(dir.File("a.mp3"), source);
        WriteFile(dir.File("b.mp3"), {9, 9, 9});
        const Settings s = NeutralSettings();
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        // Another program rewrites the file with other content of another length.
        auto replaced = GainFrames(15);
        WriteFile(dir.File("a.mp3"), replaced);
        const std::string error =
            SaveError(dir.File("a.mp3"), inPlace ? "" : dir.File("b.mp3"), info, s, {{1, 1}, 2});
        EXPECT_NE(error.find("was changed on disk"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(dir.File("a.mp3")), replaced);
        EXPECT_EQ(ReadFile(dir.File("b.mp3")), (std::vector<std::uint8_t>{9, 9, 9}));
        EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    }
}

TEST(WriterFiles, FullFilesystemLeavesEveryFileAsItWas) {
    TempDir dir;
    SmallFilesystem small(dir.File("small"));
    if (!small.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs";
    const std::string folder = dir.File("small");

    // Save As over an existing file that the disk cannot hold twice.
    const auto source = GainFrames(900); // 375 KB
    WriteFile(folder + "/a.mp3", source);
    const std::vector<std::uint8_t> old(300000, 7);
    WriteFile(folder + "/b.mp3", old);
    Settings s = NeutralSettings();
    StreamInfo info = OpenFile(folder + "/a.mp3", s);
    std::string error = SaveError(folder + "/a.mp3", folder + "/b.mp3", info, s, {{}, 1});
    EXPECT_NE(error.find("No space left on device\nIs your disk full?"), std::string::npos)
        << error;
    EXPECT_EQ(ReadFile(folder + "/b.mp3"), old);
    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    fs::remove(folder + "/b.mp3");

    // An in-place save that grows the file beyond the free space.
    const auto big = GainFrames(2200); // 917 KB
    WriteFile(folder + "/a.mp3", big);
    s.ComboBoxAddSilenceBeginning = 19; // 30 s
    info = OpenFile(folder + "/a.mp3", s);
    error = SaveError(folder + "/a.mp3", "", info, s);
    EXPECT_NE(error.find("No space left on device\nIs your disk full?"), std::string::npos)
        << error;
    EXPECT_EQ(ReadFile(folder + "/a.mp3"), big);
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"a.mp3"});
}

} // namespace
} // namespace velmora
