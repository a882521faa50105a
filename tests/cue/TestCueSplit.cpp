#include "CueHelpers.h"

#include "UnitCueSplit.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

CueTrackTable Album(std::string performer, std::string title) {
    CueTrackTable t;
    t.CueAlbumPerformer = std::move(performer);
    t.CueAlbumTitle = std::move(title);
    return t;
}

TID3v2 Tag(std::string artist, std::string title) {
    TID3v2 tag;
    tag.tagSize = 100;
    tag.artist = std::move(artist);
    tag.title = std::move(title);
    return tag;
}

const std::string kThreeTracks = "FILE \"x.mp3\" MP3\r\n"
                                 "  TRACK 01 AUDIO\r\n    TITLE \"A\"\r\n    INDEX 01 00:00:00\r\n"
                                 "  TRACK 02 AUDIO\r\n    TITLE \"B\"\r\n    INDEX 01 00:02:00\r\n"
                                 "  TRACK 03 AUDIO\r\n    TITLE \"C\"\r\n    INDEX 01 00:05:00\r\n";

struct Split {
    SplitResult result;
    std::string error;
    std::vector<bool> sheetPresentWhileWriting;
};

// The frame cut, whose bytes these tests pin.
Settings FrameCut() {
    Settings s;
    s.CheckBoxExactCut = false;
    return s;
}

Split RunSplit(const std::string& mp3, const Settings& settings = FrameCut()) {
    Split s;
    try {
        OpenResult opened = OpenWithDecoder(mp3, settings);
        NullProgress progress;
        const std::string cue = ChangeFileExt(mp3, ".cue");
        s.result = SplitByCueSheet(
            mp3, opened.info, {}, settings, MessageTable::English(), progress,
            [&](const std::string&) { s.sheetPresentWhileWriting.push_back(fs::exists(cue)); });
    } catch (const VelmoraError& e) {
        s.error = e.what();
    }
    return s;
}

} // namespace

TEST(CueOutputFolder, AlbumTagOrFileNameAlwaysCleanedAndOneLevelDown) {
    const struct {
        CueTrackTable table;
        TID3v2 tag;
        std::string expected;
    } cases[] = {
        {Album("The Band", "Live"), Tag("X", "Y"), "The Band - Live"},
        {Album("", "Live"), {}, "Live"},
        {Album("The Band", ""), {}, "The Band"},
        {Album("", "../../x"), {}, "..-..-x"},
        {Album("", "/tmp/x"), {}, "-tmp-x"},
        {Album("a\\b", "c:d*e?"), {}, "a-b - c dxe "},
        {Album("", ".."), {}, "/music/live"},
        {Album("", "."), Tag("Artist", "Title"), "/music/Artist - Title"},
        {Album("", ""), Tag("Artist", "Title"), "/music/Artist - Title"},
        {Album("", ""), Tag("", "Title"), "/music/Title"},
        {Album("", ""), Tag("../../etc", ""), "/music/..-..-etc"},
        {Album("", ""), Tag("", ".."), "/music/live"},
        {Album("", ""), Tag("", ""), "/music/live"},
        {Album("", ""), {}, "/music/live"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CueOutputFolder("/music/live.mp3", c.table, c.tag), c.expected)
            << c.table.CueAlbumPerformer << "|" << c.table.CueAlbumTitle << "|" << c.tag.artist;
    EXPECT_EQ(CueOutputFolder("live.mp3", {}, {}), "live");
    EXPECT_EQ(CueOutputFolder("live.mp3", {}, Tag("A", "B")), "A - B");
    // Names too long for the file system are cut at a character boundary.
    const std::string folder = CueOutputFolder("x.mp3", Album("", std::string(400, 'n')), {});
    EXPECT_EQ(folder, std::string(255, 'n'));
}

TEST(CueTrackRangeOf, WholeTracksOrTheMiddleThirtySeconds) {
    const MpegHeader h = Mpeg1Layer3Header();
    CueTrackTable t;
    t.tracks = {{"01.mp3", 0}, {"02.mp3", 2000}, {"03.mp3", 3100}};
    const struct {
        std::size_t k;
        int mode;
        std::int64_t start, length;
    } cases[] = {
        {0, 0, 0, 2000},
        {1, 0, 2000, 1100},
        {2, 0, 3100, 900},
        // 30 s are 1149 frames: the longer track gives its middle, the shorter ones stay whole.
        {0, 1, 425, 1149},
        {1, 1, 2000, 1100},
        {2, 1, 3100, 900},
    };
    for (const auto& c : cases) {
        const CueTrackRange r = CueTrackRangeOf(t, c.k, 4000, h, c.mode);
        EXPECT_EQ(r.start, c.start) << c.k << " " << c.mode;
        EXPECT_EQ(r.length, c.length) << c.k << " " << c.mode;
    }
}

TEST(SplitByCueSheet, EachTrackHoldsExactlyItsFramesAndTheTrimIsLeftAtTheLast) {
    TempDir dir;
    const std::string mp3 = dir.File("x.mp3");
    const std::vector<std::uint8_t> file = NumberedFrames(300);
    WriteFile(mp3, file);
    WriteText(dir.File("x.cue"), kThreeTracks);
    const OpenResult source = OpenWithDecoder(mp3);
    ASSERT_EQ(source.info.frameCount, 300);

    const Split s = RunSplit(mp3);
    ASSERT_EQ(s.error, "");
    ASSERT_TRUE(s.result.found);
    EXPECT_FALSE(s.result.embedded);
    EXPECT_EQ(s.result.folder, dir.File("x"));
    EXPECT_EQ(Listing(dir.File("x")),
              (std::vector<std::string>{"01 A.mp3", "02 B.mp3", "03 C.mp3"}));
    // 2 s and 5 s are frames 76 and 191.
    const std::int64_t starts[] = {0, 76, 191, 300};
    for (int k = 0; k < 3; ++k) {
        const std::string out = s.result.written[static_cast<std::size_t>(k)];
        const OpenResult track = OpenWithDecoder(out);
        const std::int64_t length = starts[k + 1] - starts[k];
        ASSERT_EQ(track.info.frameCount, length) << out;
        EXPECT_EQ(FrameBytes(ReadFile(out), track.info, 0, length),
                  FrameBytes(file, source.info, starts[k], length))
            << out;
    }
    ASSERT_TRUE(s.result.trim.has_value());
    EXPECT_EQ(s.result.trim->beginFrames, 191);
    EXPECT_EQ(s.result.trim->endFrames, 0);
    EXPECT_TRUE(fs::exists(dir.File("x.cue"))); // a sheet that was there stays
}

TEST(SplitByCueSheet, ExcerptModeWritesTheMiddleThirtySecondsOfLongTracks) {
    TempDir dir;
    const std::string mp3 = dir.File("long.mp3");
    const std::vector<std::uint8_t> file = NumberedFrames(3000);
    WriteFile(mp3, file);
    WriteText(dir.File("long.cue"), "FILE \"long.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                    "TRACK 02 AUDIO\nINDEX 01 00:52:25\n"); // frame 2000
    Settings settings = FrameCut();
    settings.RadioGroupCueSplit = 1;
    const Split s = RunSplit(mp3, settings);
    ASSERT_EQ(s.error, "");
    const OpenResult source = OpenWithDecoder(mp3);
    const struct { std::int64_t start, length; } expected[] = {{425, 1149}, {2000, 1000}};
    for (int k = 0; k < 2; ++k) {
        const std::string out = s.result.written[static_cast<std::size_t>(k)];
        const OpenResult track = OpenWithDecoder(out);
        ASSERT_EQ(track.info.frameCount, expected[k].length);
        EXPECT_EQ(FrameBytes(ReadFile(out), track.info, 0, expected[k].length),
                  FrameBytes(file, source.info, expected[k].start, expected[k].length));
    }
}

TEST(SplitByCueSheet, EmbeddedSheetExistsOnlyWhileTheSplitRuns) {
    TempDir dir;
    const std::string mp3 = dir.File("tagged.mp3");
    const std::string cue = dir.File("tagged.cue");
    const std::vector<std::uint8_t> frames = NumberedFrames(300);
    std::vector<std::uint8_t> file =
        Id3Tag({Id3Text("TPE1", "Artist"), Id3Text("TIT2", "Album"), Id3Geob(kThreeTracks)});
    file.insert(file.end(), frames.begin(), frames.end());
    WriteFile(mp3, file);

    const Split s = RunSplit(mp3);
    ASSERT_EQ(s.error, "");
    EXPECT_TRUE(s.result.found);
    EXPECT_TRUE(s.result.embedded);
    EXPECT_EQ(s.sheetPresentWhileWriting, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(fs::exists(cue));
    EXPECT_EQ(s.result.folder, dir.path() + "/Artist - Album");
    EXPECT_EQ(Listing(s.result.folder).size(), 3u);

    // A bad embedded sheet stops before any track and is removed all the same.
    std::vector<std::uint8_t> bad = Id3Tag({Id3Geob("TRACK 02 AUDIO\r\n")});
    bad.insert(bad.end(), frames.begin(), frames.end());
    WriteFile(dir.File("bad.mp3"), bad);
    EXPECT_EQ(RunSplit(dir.File("bad.mp3")).error, "invalid CUE file");
    EXPECT_FALSE(fs::exists(dir.File("bad.cue")));
    EXPECT_FALSE(fs::exists(dir.File("bad")));
}

TEST(SplitByCueSheet, FailedExtractionLeavesNoEmptySheetBehind) {
    TempDir dir;
    const std::string mp3 = dir.File("gone.mp3");
    std::vector<std::uint8_t> file = Id3Tag({Id3Geob(kThreeTracks)});
    const std::vector<std::uint8_t> frames = NumberedFrames(300);
    file.insert(file.end(), frames.begin(), frames.end());
    WriteFile(mp3, file);
    OpenResult opened = OpenWithDecoder(mp3);
    fs::remove(mp3); // the file went away after it was opened
    NullProgress progress;
    try {
        SplitByCueSheet(mp3, opened.info, {}, {}, MessageTable::English(), progress);
        FAIL();
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()), "Could not open " + mp3);
    }
    EXPECT_FALSE(fs::exists(dir.File("gone.cue")));
}

TEST(SplitByCueSheet, NoSheetIsReportedAndNothingIsCreated) {
    TempDir dir;
    WriteFile(dir.File("plain.mp3"), NumberedFrames(300));
    const Split s = RunSplit(dir.File("plain.mp3"));
    EXPECT_EQ(s.error, "");
    EXPECT_FALSE(s.result.found);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"plain.mp3"}));
}

TEST(SplitByCueSheet, AlbumFolderIsInTheCurrentDirectoryWhateverTheTitleSays) {
    TempDir dir;
    fs::create_directories(dir.File("work/inner"));
    const std::string mp3 = dir.File("x.mp3");
    WriteFile(mp3, NumberedFrames(300));
    const struct {
        std::string album;
        std::string folder;
    } cases[] = {
        {"PERFORMER \"The Band\"\nTITLE \"Live\"\n", "The Band - Live"},
        {"TITLE \"../../x\"\n", "..-..-x"},
        {"TITLE \"/tmp/x\"\n", "-tmp-x"},
        {"PERFORMER \"..\"\n", "x"}, // refused: falls back to the MP3's own name beside it
    };
    for (const auto& c : cases) {
        WriteText(dir.File("x.cue"), c.album + "FILE \"x.mp3\" MP3\nTRACK 01 AUDIO\n"
                                               "TITLE \"a\"\nINDEX 01 00:00:00\n");
        Split s;
        {
            ScopedCurrentDir cwd(dir.File("work/inner"));
            s = RunSplit(mp3);
        }
        ASSERT_EQ(s.error, "") << c.album;
        const std::string folder =
            c.folder == "x" ? dir.File("x") : dir.File("work/inner/" + c.folder);
        EXPECT_EQ(Listing(folder), (std::vector<std::string>{"01 a.mp3"})) << c.album;
        fs::remove_all(folder);
    }
    // Nothing landed anywhere else.
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"work", "x.cue", "x.mp3"}));
    EXPECT_EQ(Listing(dir.File("work")), (std::vector<std::string>{"inner"}));
    EXPECT_TRUE(Listing(dir.File("work/inner")).empty());
}

TEST(SplitByCueSheet, ForbiddenCharactersLongTitlesAndTooManyTracks) {
    TempDir dir;
    const std::string mp3 = dir.File("x.mp3");
    WriteFile(mp3, NumberedFrames(300));
    const std::string longTitle(400, 'L');
    WriteText(dir.File("x.cue"), "FILE \"x.mp3\" MP3\n"
                                 "TRACK 01 AUDIO\nTITLE \"a\"b*c/d\\e:f?g|h<i>j\"\n"
                                 "INDEX 01 00:00:00\n"
                                 "TRACK 02 AUDIO\nTITLE \"" +
                                     longTitle + "\"\nINDEX 01 00:02:00\n");
    Split s = RunSplit(mp3);
    ASSERT_EQ(s.error, "");
    const std::vector<std::string> names = Listing(dir.File("x"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "01 a''bxc-d-e f g h[i]j.mp3");
    EXPECT_EQ(names[1], "02 " + longTitle.substr(0, 255 - 7) + ".mp3");
    fs::remove_all(dir.File("x"));

    std::string hundred = "FILE \"x.mp3\" MP3\n";
    char line[64];
    for (int k = 0; k < 100; ++k) { // 60 ms apart: frames 0, 2, 4, 6, 9 …
        std::snprintf(line, sizeof line, "INDEX 01 00:%02d:%02d\n", k * 60 / 1000, k * 6 % 100);
        hundred += line;
    }
    WriteText(dir.File("x.cue"), hundred);
    EXPECT_EQ(RunSplit(mp3).error, "invalid CUE file");
    EXPECT_FALSE(fs::exists(dir.File("x")));
}

TEST(SplitByCueSheet, WavOutputGetsWavNamesAndRiffFiles) {
    TempDir dir;
    const std::string mp3 = dir.File("x.mp3");
    WriteFile(mp3, NumberedFrames(300));
    WriteText(dir.File("x.cue"), kThreeTracks);
    Settings settings = FrameCut();
    settings.CheckBoxSaveWAV = true;
    const Split s = RunSplit(mp3, settings);
    ASSERT_EQ(s.error, "");
    ASSERT_EQ(s.result.written.size(), 3u);
    EXPECT_EQ(Listing(dir.File("x")),
              (std::vector<std::string>{"01 A.wav", "02 B.wav", "03 C.wav"}));
    const std::vector<std::uint8_t> wav = ReadFile(s.result.written[1]);
    ASSERT_GE(wav.size(), 58u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    const std::uint32_t riffSize = wav[4] | (wav[5] << 8) | (wav[6] << 16) | (wav[7] << 24);
    EXPECT_EQ(riffSize, wav.size() - 8);
}

TEST(SplitByCueSheet, NoTrackReplacesTheFileBeingSplitNorAnExistingFileUnlessAsked) {
    // The first track of "Perf - Alb" is "Perf - Alb/01 One.mp3": splitting that very file, or a
    // file linked under a track's name, would cut the recording being read.
    const std::string sheet = "PERFORMER \"Perf\"\nTITLE \"Alb\"\nFILE \"x.mp3\" MP3\n"
                              "TRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:02:00\n";
    const std::vector<std::uint8_t> recording = NumberedFrames(300);
    const std::vector<std::uint8_t> junk = {'k', 'e', 'e', 'p'};
    const struct {
        const char* source;    // where the recording lies
        const char* linkedAs;  // a hard link to it under this name, or none
        const char* otherFile; // an unrelated file under this name, or none
        bool overwrite;
        const char* error; // the start of the error, or none: the split is made
    } cases[] = {
        {"Perf - Alb/01 One.mp3", nullptr, nullptr, false,
         "The track \"Perf - Alb/01 One.mp3\" "
         "would replace the file being split"},
        {"Perf - Alb/01 One.mp3", nullptr, nullptr, true,
         "The track \"Perf - Alb/01 One.mp3\" "
         "would replace the file being split"},
        {"src/x.mp3", "Perf - Alb/02 Two.mp3", nullptr, true,
         "The track \"Perf - Alb/02 Two.mp3\" would replace the file being split"},
        {"src/x.mp3", nullptr, "Perf - Alb/02 Two.mp3", false,
         "The track \"Perf - Alb/02 Two.mp3\" exists already; nothing was written"},
        {"src/x.mp3", nullptr, "Perf - Alb/02 Two.mp3", true, nullptr},
        {"src/x.mp3", nullptr, nullptr, false, nullptr},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ScopedCurrentDir cwd(dir.path());
        fs::create_directories("Perf - Alb");
        fs::create_directories("src");
        WriteFile(c.source, recording);
        WriteText(ChangeFileExt(c.source, ".cue"), sheet);
        if (c.linkedAs)
            fs::create_hard_link(c.source, c.linkedAs);
        if (c.otherFile)
            WriteFile(c.otherFile, junk);
        const std::vector<std::string> before = Listing("Perf - Alb");

        std::string error;
        SplitResult result;
        try {
            OpenResult opened = OpenWithDecoder(c.source);
            SplitControls controls;
            controls.overwrite = c.overwrite;
            NullProgress progress;
            result = SplitByCueSheet(c.source, opened.info, controls, FrameCut(),
                                     MessageTable::English(), progress);
        } catch (const VelmoraError& e) {
            error = e.what();
        }
        EXPECT_EQ(ReadFile(c.source), recording) << c.source;
        if (c.error) {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
            EXPECT_EQ(Listing("Perf - Alb"), before) << c.error; // nothing written
            if (c.otherFile) {
                EXPECT_EQ(ReadFile(c.otherFile), junk);
            }
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(result.written,
                      (std::vector<std::string>{"Perf - Alb/01 One.mp3", "Perf - Alb/02 Two.mp3"}));
            EXPECT_EQ(OpenWithDecoder("Perf - Alb/02 Two.mp3").info.frameCount, 300 - 76);
        }
    }
}

TEST(SplitOutputClaims, TwoSplitsOfOneBatchNeverTakeTheSameTrack) {
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    const std::string sheet =
        "PERFORMER \"Perf\"\nTITLE \"Alb\"\nFILE \"x.mp3\" MP3\n"
        "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:00\n";
    // Two recordings whose sheets name the same album.
    WriteFile("a.mp3", NumberedFrames(300));
    WriteFile("b.mp3", NumberedFrames(200));
    WriteText("a.cue", sheet);
    WriteText("b.cue", sheet);
    SplitOutputClaims claims;
    SplitControls controls;
    controls.claims = &claims;
    controls.overwrite = true; // even when asked, a file the batch wrote stays
    std::vector<std::string> errors;
    for (const char* mp3 : {"a.mp3", "b.mp3"}) {
        try {
            OpenResult opened = OpenWithDecoder(mp3);
            NullProgress progress;
            SplitByCueSheet(mp3, opened.info, controls, FrameCut(), MessageTable::English(),
                            progress);
            errors.push_back("");
        } catch (const VelmoraError& e) {
            errors.push_back(e.what());
        }
    }
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "The track \"" + fs::canonical(dir.path()).string() +
                             "/Perf - Alb/01.mp3\" is written by another file of this batch; "
                             "nothing was written");
    EXPECT_EQ(OpenWithDecoder("Perf - Alb/02.mp3").info.frameCount, 300 - 76); // a's
    // Claims of a refused split are given back; one name held elsewhere refuses the whole set.
    EXPECT_EQ(claims.ClaimAll({"p", "q"}), std::nullopt);
    EXPECT_EQ(claims.ClaimAll({"r", "q"}), std::optional<std::string>("q"));
    EXPECT_EQ(claims.ClaimAll({"r"}), std::nullopt);
}
