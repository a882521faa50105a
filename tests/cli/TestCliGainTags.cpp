// Gain changes keep the tags true and leave undo information other volume tools understand.
#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

enum class Material { Tone, SilenceHeavy, Mono };

// A lame file of a few seconds; the silence-heavy one has frames whose global_gain is 0.
void MakeFile(Material material, const std::string& path) {
    PcmSpec spec;
    spec.channels = material == Material::Mono ? 1 : 2;
    std::vector<std::int16_t> pcm;
    if (material == Material::SilenceHeavy) {
        AppendSilence(pcm, spec, 2);
        AppendTone(pcm, spec, 1, 1000, 12000);
        AppendSilence(pcm, spec, 2);
    } else {
        AppendTone(pcm, spec, 4, 440, 9000);
        AppendNoise(pcm, spec, 1, 3000, 7);
    }
    EncodeWithLame(pcm, spec, "-b 128", path);
}

StreamInfo Open(const std::string& path) {
    NullProgress progress;
    return OpenSourceFile(path, Settings{}, MessageTable::English(), progress, {}).info;
}

// The bytes of every audio frame, in order.
std::vector<std::vector<std::uint8_t>> AudioFrames(const std::string& path) {
    const StreamInfo info = Open(path);
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::int64_t i = 0; i < info.frameCount; ++i) {
        const FrameEntry& e = info.frames[i];
        frames.emplace_back(bytes.begin() + e.offset, bytes.begin() + e.offset + e.length);
    }
    return frames;
}

// How many frames differ (or are missing on one side).
std::size_t FramesDiffering(const std::vector<std::vector<std::uint8_t>>& a,
                            const std::vector<std::vector<std::uint8_t>>& b) {
    std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i] ? 1 : 0;
    return n;
}

CliRun Save(const std::string& path, int steps) {
    return RunCliCaptured({path, "--gain", std::to_string(steps), "--yes"}, {"save", "--defaults"});
}

std::string Shell(const std::string& command) {
    std::string output;
    EXPECT_EQ(RunCommand(command, &output), 0) << command << "\n" << output;
    return output;
}

// A number printed after `label` by a peer tool.
double After(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    EXPECT_NE(at, std::string::npos) << label << " in\n" << text;
    return at == std::string::npos ? 0.0 : std::atof(text.c_str() + at + label.size());
}

TEST(CliGainTags, ThePeerUndoAndOurOwnRestoreEveryFrame) {
    if (!HaveProgram("mp3gain") || !HaveProgram("lame"))
        GTEST_SKIP() << "mp3gain or lame missing";
    struct Case {
        const char* name;
        Material material;
        std::vector<int> steps;
        bool peerUndo; // mp3gain -u, else velmora-cli undo
    } cases[] = {
        {"one raise", Material::Tone, {2}, true},
        {"two changes in a row", Material::Tone, {3, -1}, true},
        {"lowered, silent frames", Material::SilenceHeavy, {-3}, true},
        {"raised, silent frames", Material::SilenceHeavy, {4}, true},
        {"mono, twice", Material::Mono, {2, 2}, true},
        {"our undo", Material::Tone, {3, -1}, false},
        {"our undo, silent frames", Material::SilenceHeavy, {-2, -2}, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string original = dir.File("original.mp3"), edited = dir.File("edited.mp3");
        MakeFile(c.material, original);
        fs::copy_file(original, edited);
        for (const int steps : c.steps) {
            const CliRun r = Save(edited, steps);
            ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        }
        ASSERT_GT(FramesDiffering(AudioFrames(edited), AudioFrames(original)), 0u) << c.name;
        if (c.peerUndo) {
            Shell("mp3gain -q -u '" + edited + "' 2>&1");
        } else {
            const CliRun r = RunCliCaptured({"undo", "--defaults", edited});
            ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        }
        EXPECT_EQ(FramesDiffering(AudioFrames(edited), AudioFrames(original)), 0u) << c.name;
        const CliRun again = RunCliCaptured({"undo", "--defaults", edited});
        EXPECT_NE(again.out.find("no undo information"), std::string::npos) << c.name;
    }
}

TEST(CliGainTags, ThePlannedSizeCountsTheTagsTheGainChanges) {
    if (!HaveProgram("mp3gain") || !HaveProgram("lame"))
        GTEST_SKIP() << "mp3gain or lame missing";
    struct Case {
        const char* name;
        bool peerTag;             // mp3gain stored its values in an APE tag first
        std::vector<int> earlier; // our saves before the one planned
        int steps;
    } cases[] = {
        {"a new tag for the undo item", false, {}, 2},
        {"an undo item joins the peer's tag", true, {}, -3},
        {"the undo item is updated", false, {2}, 1},
        {"the undo item goes when the change is undone", true, {2}, -2},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        MakeFile(Material::Tone, path);
        if (c.peerTag)
            Shell("mp3gain -q '" + path + "' 2>&1");
        for (const int steps : c.earlier)
            ASSERT_EQ(Save(path, steps).status, 0) << c.name;
        const CliRun plan = RunCliCaptured({path, "--gain", std::to_string(c.steps), "--dry-run"},
                                           {"save", "--defaults"});
        ASSERT_EQ(plan.status, 0) << c.name << ": " << plan.err;
        const double predicted = After(plan.out, "predicted size: ");
        ASSERT_EQ(Save(path, c.steps).status, 0) << c.name;
        EXPECT_EQ(predicted, static_cast<double>(fs::file_size(path))) << c.name;
    }
}

TEST(CliGainTags, StaleReplayGainValuesFollowTheChange) {
    if (!HaveProgram("mp3gain") || !HaveProgram("lame"))
        GTEST_SKIP() << "mp3gain or lame missing";
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    MakeFile(Material::Tone, path);
    Shell("mp3gain -q '" + path + "' 2>&1"); // analyses and stores, changes no frame
    const std::string before = Shell("mp3gain -s c '" + path + "' 2>&1");
    const double gainBefore = After(before, "Recommended \"Track\" dB change: ");
    const double maxBefore = After(before, "Max mp3 global gain field: ");

    struct Step {
        int steps;
    } steps[] = {{2}, {-3}};
    double expected = gainBefore;
    double maxExpected = maxBefore;
    for (const Step& s : steps) {
        const CliRun r = Save(path, s.steps);
        ASSERT_EQ(r.status, 0) << r.err;
        expected -= s.steps * 5.0 * std::log10(2.0);
        maxExpected += s.steps;
        const std::string stored = Shell("mp3gain -s c '" + path + "' 2>&1");
        EXPECT_NEAR(After(stored, "Recommended \"Track\" dB change: "), expected, 1e-5) << stored;
        EXPECT_EQ(After(stored, "Max mp3 global gain field: "), maxExpected) << stored;
        // A fresh analysis agrees with the corrected value.
        fs::copy_file(path, dir.File("fresh.mp3"), fs::copy_options::overwrite_existing);
        const std::string fresh = Shell("mp3gain -s r -s s '" + dir.File("fresh.mp3") + "' 2>&1");
        EXPECT_NEAR(After(fresh, "Recommended \"Track\" dB change: "), expected, 0.1) << fresh;
    }
}

TEST(CliGainTags, LoudgainId3v2ValuesFollowTheChange) {
    if (!HaveProgram("loudgain") || !HaveProgram("lame") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "loudgain, lame or ffprobe missing";
    struct Case {
        const char* version;
        int steps;
    } cases[] = {{"3", 2}, {"4", -3}, {"4", 8}};
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        MakeFile(Material::Tone, path);
        Shell(std::string("loudgain -q -s i -I ") + c.version + " '" + path + "' >/dev/null 2>&1");
        const CliRun r = Save(path, c.steps);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string tags = Shell("ffprobe -v error -show_entries format_tags "
                                       "-of default=nw=1 '" +
                                       path + "'");
        const double stored = After(tags, "REPLAYGAIN_TRACK_GAIN=");
        const std::string fresh = Shell("loudgain -q -O '" + path + "' 2>/dev/null");
        // -O: File, Loudness, Range, True_Peak, True_Peak_dBTP, Reference, Will_clip,
        // Clip_prevent, Gain, New_Peak, New_Peak_dBTP
        const std::regex row(
            R"(\t[-0-9.]+ LUFS\t[^\t]*\t[^\t]*\t[^\t]*\t[^\t]*\t[^\t]*\t[^\t]*\t([-0-9.]+) dB)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(fresh, m, row)) << fresh;
        EXPECT_NEAR(stored, std::atof(m[1].str().c_str()), 0.1) << c.version << " " << tags;
    }
}

TEST(CliGainTags, DamagedUndoInformationIsNeverApplied) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    MakeFile(Material::Tone, path);
    ASSERT_EQ(Save(path, 2).status, 0);
    std::vector<std::uint8_t> bytes = ReadFile(path);
    const std::string good = "-002,-002,N";
    const auto at = std::search(bytes.begin(), bytes.end(), good.begin(), good.end());
    ASSERT_NE(at, bytes.end());
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {{"-002,-00x,N", "damaged"}, {"-002,-001,N", "channels"}, {"-002,-002,W", "wrap"}};
    for (const Case& c : cases) {
        std::copy(c.text, c.text + good.size(), at);
        WriteFile(path, bytes);
        const CliRun r = RunCliCaptured({"undo", "--defaults", path});
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(path), bytes) << c.text;
    }
    // A gain change leaves the damaged item alone, says so, and still corrects what it can.
    std::copy(cases[0].text, cases[0].text + good.size(), at);
    WriteFile(path, bytes);
    const CliRun r = Save(path, 1);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("note: APE item MP3GAIN_UNDO \"-002,-00x,N\" is damaged"),
              std::string::npos)
        << r.err;
}

} // namespace

namespace {

std::string JsonField(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\": ");
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + key.size() + 4;
    return line.substr(from, line.find_first_of(",}", from) - from);
}

TEST(CliGainTags, AlbumModeMeasuresTheFilesAsOneAndAppliesOneStep) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    TempDir dir;
    const PcmSpec spec;
    const int amplitudes[] = {3000, 9000, 1500};
    std::vector<std::string> files;
    std::vector<std::uint8_t> joined;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, spec, 4, 300 + 200 * i, amplitudes[i]);
        AppendNoise(pcm, spec, 2, amplitudes[i] / 3, 20 + i);
        files.push_back(dir.File("track" + std::to_string(i) + ".mp3"));
        EncodeWithLame(pcm, spec, "-b 160 -t", files.back()); // no extra-info frame
        const std::vector<std::uint8_t> bytes = ReadFile(files.back());
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    WriteFile(dir.File("joined.mp3"), joined);

    const CliRun whole = RunCliCaptured(
        {"normalize", "--defaults", "--json", "--lufs", "-16", dir.File("joined.mp3")});
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::vector<std::string> args = {"normalize", "--defaults", "--json", "--album",
                                     "--lufs",    "-16",        "--apply"};
    args.insert(args.end(), files.begin(), files.end());
    const std::vector<std::vector<std::uint8_t>> before = {ReadFile(files[0]), ReadFile(files[1]),
                                                           ReadFile(files[2])};
    const CliRun album = RunCliCaptured(args);
    ASSERT_EQ(album.status, 0) << album.err;
    const std::vector<std::string> lines = Lines(album.out);
    ASSERT_EQ(lines.size(), 3u) << album.out;
    const double joinedLufs = std::atof(JsonField(Lines(whole.out)[0], "loudness").c_str());
    for (std::size_t i = 0; i < 3; ++i) {
        // The joined file has the encoder's padding at each seam and 400 ms blocks across it.
        EXPECT_NEAR(std::atof(JsonField(lines[i], "albumLoudness").c_str()), joinedLufs, 0.2);
        EXPECT_EQ(JsonField(lines[i], "loudnessStep"),
                  JsonField(Lines(whole.out)[0], "loudnessStep"));
        EXPECT_EQ(JsonField(lines[i], "applied"), JsonField(lines[i], "loudnessStep"));
        EXPECT_NE(ReadFile(files[i]), before[i]) << i;
    }
    // The relative levels stay: each file moved by the same step.
    const CliRun after = RunCliCaptured({"normalize", "--defaults", "--json", "--album", "--lufs",
                                         "-16", files[0], files[1], files[2]});
    EXPECT_EQ(JsonField(Lines(after.out)[0], "loudnessStep"), "0") << after.out;
}

TEST(CliGainTags, LoudnessOptionsAreCheckedAndSilenceGetsNoStep) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    TempDir dir;
    const PcmSpec spec;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, spec, 0.2, 440, 8000);
    EncodeWithLame(pcm, spec, "-b 128", dir.File("short.mp3"));
    const CliRun shortFile = RunCliCaptured({"normalize", "--defaults", dir.File("short.mp3")});
    EXPECT_EQ(shortFile.status, 0) << shortFile.err;
    EXPECT_NE(shortFile.out.find("loudness -inf LUFS"), std::string::npos) << shortFile.out;
    EXPECT_NE(shortFile.out.find("loudness step: none"), std::string::npos) << shortFile.out;
    for (const char* bad : {"x", "5", "-80", ""}) {
        const CliRun r = RunCliCaptured({"normalize", "--lufs", bad, dir.File("short.mp3")});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--lufs takes a number"), std::string::npos) << r.err;
    }
    EXPECT_EQ(RunCliCaptured({"normalize", "--ceiling"}).status, 2);
}

} // namespace

namespace {

TEST(CliGainTags, ReplayGainTwoTrackTagsComeFromTheMeasurement) {
    if (!HaveProgram("mp3gain") || !HaveProgram("lame"))
        GTEST_SKIP() << "mp3gain or lame missing";
    struct Case {
        const char* option;
        bool written;
    } cases[] = {{"CheckBoxWriteReplayGainTags=on", true},
                 {"CheckBoxWriteReplayGainTags=off", false}};
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        MakeFile(Material::Tone, path);
        const CliRun r = RunCliCaptured({"normalize", "--defaults", "--option", c.option, "--json",
                                         "--lufs", "-14", "--apply", path});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string line = Lines(r.out)[0];
        ASSERT_NE(JsonField(line, "applied"), "0") << line;
        const std::string stored = Shell("mp3gain -s c '" + path + "' 2>&1");
        if (!c.written) {
            EXPECT_EQ(stored.find("Recommended \"Track\" dB change"), std::string::npos) << stored;
            continue;
        }
        const double after = std::atof(JsonField(line, "loudnessAfter").c_str());
        EXPECT_NEAR(After(stored, "Recommended \"Track\" dB change: "), -18 - after, 0.011)
            << stored;
    }
}

} // namespace
