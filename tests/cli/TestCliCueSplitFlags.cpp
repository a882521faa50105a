#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

constexpr int kSongs = 12;

// Twelve 20-second songs (tones of rising pitch) with two seconds of digital silence between
// them, made once for the tests of this file.
const std::string& Album() {
    static TempDir dir;
    static const std::string path = [] {
        const PcmSpec spec{44100, 1};
        std::vector<std::int16_t> pcm;
        for (int k = 0; k < kSongs; ++k) {
            if (k > 0)
                AppendSilence(pcm, spec, 2.0);
            AppendTone(pcm, spec, 20.0, 220.0 + 40 * k, 9000);
        }
        EncodeWithLame(pcm, spec, "-b 64", dir.File("album.mp3"));
        return dir.File("album.mp3");
    }();
    return path;
}

CliRun Cli(std::vector<std::string> args) {
    return RunCliCaptured(std::move(args), {"--defaults"});
}

// ffprobe's reading of a file's tags.
std::map<std::string, std::string> Tags(const std::string& file) {
    std::string output;
    RunCommand("ffprobe -v error -show_entries format_tags=title,artist,album,track -of "
               "default=nw=1 '" +
                   file + "' 2>/dev/null",
               &output);
    std::map<std::string, std::string> tags;
    for (const std::string& line : Lines(output))
        if (const std::size_t eq = line.find('='); line.rfind("TAG:", 0) == 0)
            tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
    return tags;
}

} // namespace

TEST(CliCueSplitFlags, TheGapValuesFindEveryTwentySecondSong) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const std::string mp3 = dir.File("album.mp3");
    fs::copy_file(Album(), mp3);
    const struct {
        std::vector<std::string> flags;
        std::size_t tracks;
    } cases[] = {
        // The default minimum track length (60 s) passes over the gaps within 60 s of another.
        {{}, 4},
        {{"--min-track", "15"}, kSongs},
        {{"--min-track=15s", "--threshold", "-60", "--min-gap", "1.5"}, kSongs},
        {{"--min-track", "0:15", "--min-gap", "2.5"}, 1},
        {{"--min-track", "15000ms", "--threshold", "auto", "--min-gap", "90f"}, 1},
        {{"--min-track", "25"}, 6},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"cue", mp3, "--json"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const CliRun r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j.at("schema"), 1);
        EXPECT_EQ(j.at("file"), mp3);
        EXPECT_EQ(j.at("sheet"), dir.File("album.cue"));
        ASSERT_EQ(j.at("tracks").size(), c.tracks) << r.out;
        std::int64_t frames = 0;
        for (const nlohmann::json& t : j.at("tracks")) {
            EXPECT_EQ(t.at("startFrame").get<std::int64_t>(), frames);
            EXPECT_EQ(t.at("startSample").get<std::int64_t>(), frames * 1152);
            frames += t.at("frames").get<std::int64_t>();
        }
        EXPECT_EQ(frames, j.at("frames").get<std::int64_t>());
        if (c.tracks == kSongs) {
            // Each split lies in the middle of its two-second gap: at 22 s × k - 1 s.
            for (int k = 1; k < kSongs; ++k)
                EXPECT_NEAR(j["tracks"][k].at("startSeconds").get<double>(), 22.0 * k - 1, 0.05);
        }
    }
    const std::string help = Cli({"cue", "--help"}).out;
    for (const char* said : {"--min-track TIME", "60 s", "--min-gap TIME", "20f", "--threshold DB",
                             "\"auto\"", "--json"})
        EXPECT_NE(help.find(said), std::string::npos) << said;
}

TEST(CliCueSplitFlags, SplitNamesTagsAndKeepsWhatExists) {
    if (!HaveProgram("lame") || !HaveProgram("ffprobe"))
        GTEST_SKIP() << "lame or ffprobe is not installed";
    TempDir dir;
    const std::string mp3 = dir.File("album.mp3");
    fs::copy_file(Album(), mp3);

    // One step: the gaps found and split at, into the folder asked for.
    const CliRun silence =
        Cli({"split", mp3, "--silence", "--min-track", "15", "-d", dir.File("gaps")});
    ASSERT_EQ(silence.status, 0) << silence.err;
    ASSERT_EQ(Lines(silence.out).size(), std::size_t{kSongs});
    EXPECT_EQ(Lines(silence.out)[11], dir.File("gaps/12.mp3"));
    EXPECT_FALSE(fs::exists(dir.File("album.cue")));

    // A sheet with titles and performers: the names by the pattern, the tags from the sheet.
    ASSERT_EQ(Cli({"cue", mp3, "--min-track", "15"}).status, 0);
    std::string sheet = "PERFORMER \"The Band\"\nTITLE \"Twelve Tones\"\n";
    int track = 0;
    const std::vector<std::uint8_t> generated = ReadFile(dir.File("album.cue"));
    for (const std::string& line : Lines(std::string(generated.begin(), generated.end()))) {
        sheet += line + "\n";
        if (line.find("TRACK") != std::string::npos)
            sheet += "    TITLE \"Tone/" + std::to_string(++track) + "\"\n";
    }
    WriteFile(dir.File("album.cue"), {sheet.begin(), sheet.end()});
    const std::vector<std::string> split = {"split", mp3, "--output-dir=" + dir.File("out"),
                                            "--names", "{performer}/{album} {track} {title}"};
    const CliRun named = Cli(split);
    ASSERT_EQ(named.status, 0) << named.err;
    const std::vector<std::string> written = Lines(named.out);
    ASSERT_EQ(written.size(), std::size_t{kSongs});
    EXPECT_EQ(written[2], dir.File("out/The Band/Twelve Tones 03 Tone-3.mp3"));
    const std::map<std::string, std::string> want = {
        {"title", "Tone/3"}, {"artist", "The Band"}, {"album", "Twelve Tones"}, {"track", "3/12"}};
    EXPECT_EQ(Tags(written[2]), want);
    EXPECT_EQ(Tags(written[11]).at("track"), "12/12");
    EXPECT_TRUE(Tags(dir.File("gaps/01.mp3")).count("track"));

    // A second run refuses before writing anything; --overwrite replaces the tracks.
    const auto before = fs::last_write_time(written[0]);
    const CliRun again = Cli(split);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find("exists already; nothing was written"), std::string::npos)
        << again.err;
    EXPECT_EQ(fs::last_write_time(written[0]), before);
    std::vector<std::string> overwrite = split;
    overwrite.push_back("--overwrite");
    EXPECT_EQ(Cli(overwrite).status, 0);
    const CliRun bare = Cli({"split", mp3, "-d", dir.File("bare"), "--no-tags"});
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_TRUE(Tags(Lines(bare.out)[0]).empty());
}
