#include "UnitCueParse.h"
#include "UnitUtf8.h"
#include "VelmoraError.h"

#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace velmora;

namespace {

// MPEG-1 Layer III, 44100 Hz: 1000 ms are 38 frames.
MpegHeader Mpeg1Header() {
    return velmora::test::Mpeg1Layer3Header();
}

CueParseContext Context(std::int64_t totalFrames = 100000, bool wav = false) {
    return {Mpeg1Header(), totalFrames, wav};
}

std::string ErrorOf(const std::string& text, const CueParseContext& context = Context()) {
    try {
        ParseCueSheetText(text, context);
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "(no error)";
}

const char* const kAlbum = "REM GENRE Rock\n"
                           "PERFORMER \"The Band\"\n"
                           "TITLE \"Live\"\n"
                           "FILE \"live.mp3\" MP3\n"
                           "  TRACK 01 AUDIO\n"
                           "    TITLE \"Intro\"\n"
                           "    INDEX 00 00:00:00\n"
                           "    INDEX 01 00:00:00\n"
                           "  TRACK 02 AUDIO\n"
                           "    TITLE \"Why?\"\n"
                           "    PERFORMER \"Ann/Bob\"\n"
                           "    FLAGS DCP\n"
                           "    INDEX 01 03:07:25\n"
                           "  TRACK 03 AUDIO\n"
                           "    INDEX 01 10:00:99\n";

std::string WithLineEnds(std::string text, const std::string& end, bool finalEnd) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? end : std::string(1, c);
    if (!finalEnd)
        out.resize(out.size() - end.size());
    return out;
}

} // namespace

TEST(ParseCueSheet, ReadsAlbumTracksNamesAndHundredthsWhateverTheLineEnds) {
    for (const auto& [end, finalEnd] : std::vector<std::pair<std::string, bool>>{
             {"\n", true}, {"\r\n", true}, {"\n", false}, {"\r\n", false}, {"\r", true}}) {
        const CueTrackTable t = ParseCueSheetText(WithLineEnds(kAlbum, end, finalEnd), Context());
        EXPECT_EQ(t.CueAlbumPerformer, "The Band");
        EXPECT_EQ(t.CueAlbumTitle, "Live");
        ASSERT_EQ(t.tracks.size(), 3u);
        EXPECT_EQ(t.tracks[0].name, "01 Intro.mp3");
        EXPECT_EQ(t.tracks[0].startFrame, 0);
        EXPECT_EQ(t.tracks[1].name, "02 Ann-Bob - Why .mp3");
        // 3:07.25 is 187250 ms: the third field is hundredths, not CD frames.
        EXPECT_EQ(t.tracks[1].startFrame, MillisecondsToFrames(Mpeg1Header(), 187250));
        EXPECT_EQ(t.tracks[1].startFrame, 7168);
        EXPECT_EQ(t.tracks[2].name, "03.mp3");
        EXPECT_EQ(t.tracks[2].startFrame, MillisecondsToFrames(Mpeg1Header(), 600990));
    }
}

TEST(ParseCueSheet, SanitisedNameOfTheExampleAndWavNames) {
    const std::string sheet = "FILE \"x.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nINDEX 01 00:01:00\n"
                              "TRACK 03 AUDIO\nTITLE \"Why?\"\nPERFORMER \"Ann/Bob\"\n"
                              "INDEX 01 00:02:00\n";
    EXPECT_EQ(ParseCueSheetText(sheet, Context()).tracks[2].name, "03 Ann-Bob - Why .mp3");
    EXPECT_EQ(ParseCueSheetText(sheet, Context(100000, true)).tracks[2].name,
              "03 Ann-Bob - Why .wav");
}

TEST(ParseCueSheet, ErrorsOfBadSheets) {
    const std::string head = "FILE \"x.mp3\" MP3\n";
    const struct {
        std::string body;
        std::string error;
    } cases[] = {
        {"TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n", "invalid CUE file"},
        {"TRACK 02 AUDIO\n", "invalid CUE file"},
        {"TRACK 1a AUDIO\n", "invalid CUE file"},
        {"INDEX 01 00:01:00\nINDEX 01 00:01:00\n", "invalid CUE file - bad index order"},
        {"INDEX 01 00:02:00\nINDEX 01 00:01:00\n", "invalid CUE file - bad index order"},
        {"PERFORMER \"a\"\nPERFORMER \"b\"\n", "CUE PERFORMER found after INDEX"},
        {"INDEX 01 00:27:00\n", "invalid CUE file - index out of range"}, // 27 s = 1033 frames
        {"INDEX 01 ab:00:00\n", "'ab' is not a valid integer value"},
        {"INDEX 01 00:0x:00\n", "'0x' is not a valid integer value"},
        {"INDEX 01 00:00:-1\n", "'-1' is not a valid integer value"},
        {"INDEX 01 0\n", "'' is not a valid integer value"},
        {"INDEX 01 00:00\n", "'' is not a valid integer value"},
        {"INDEX 01 00:00: 1\n", "' 1' is not a valid integer value"},
        {"INDEX 01 12345678901:00:00\n", "'12345678901' is not a valid integer value"},
        {std::string("INDEX 01 \x01\x02:00:00\n"), "'?"
                                                   "?' is not a valid integer value"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(head + c.body, Context(1000)), c.error) << c.body;
}

TEST(ParseCueSheet, AnIndexAtTheVeryEndGivesATrackWithoutAudioAndIsRefused) {
    // 26.30 s are frame 1006: the last frame of 1007 frames, the end of 1006.
    const std::string sheet = "FILE \"x\" MP3\nINDEX 01 00:00:00\nINDEX 01 00:26:30\n";
    EXPECT_EQ(ParseCueSheetText(sheet, Context(1007)).tracks.size(), 2u);
    EXPECT_EQ(ErrorOf(sheet, Context(1006)), "invalid CUE file - index out of range");
    EXPECT_EQ(ErrorOf("INDEX 01 00:00:00\n", Context(0)), "invalid CUE file - index out of range");
}

TEST(ParseCueSheet, BoundariesThatAreAccepted) {
    // A start on the last frame is accepted; a performer per track is allowed again after INDEX.
    const CueTrackTable t = ParseCueSheetText("FILE \"x\" MP3\nPERFORMER \"a\"\nINDEX 01 00:00:00\n"
                                              "PERFORMER \"b\"\nINDEX 01 00:26:30\n",
                                              Context(1007));
    ASSERT_EQ(t.tracks.size(), 2u);
    EXPECT_EQ(t.tracks[1].startFrame, 1006);
    EXPECT_EQ(t.tracks[1].name, "02 b -.mp3"); // no title: the trimmed " - " stays
    // PERFORMER and TITLE before FILE are the album's; keywords match with exact case only.
    const CueTrackTable u =
        ParseCueSheetText("title \"no\"\nTITLE \"A\"\nFILE \"x\"\nTITLE \"B\"\nTITLE \"C\"\n"
                          "index 01 00:00:00\nINDEX 01 00:00:00\n",
                          Context());
    EXPECT_EQ(u.CueAlbumTitle, "A");
    EXPECT_EQ(u.CueAlbumPerformer, "");
    ASSERT_EQ(u.tracks.size(), 1u);
    EXPECT_EQ(u.tracks[0].name, "01 C.mp3");
    // Minutes of three digits (recordings from 100 minutes on) are read whole.
    const CueTrackTable v =
        ParseCueSheetText("INDEX 01 00:00:00\nINDEX 01 100:00:50\n", Context(1000000));
    EXPECT_EQ(v.tracks[1].startFrame, MillisecondsToFrames(Mpeg1Header(), 6000500));
}

TEST(ParseCueSheet, NinetyNineTracksFitAndAHundredthIsRefused) {
    for (bool withTrackLines : {true, false}) {
        std::string sheet = "FILE \"x.mp3\" MP3\n";
        char line[64];
        for (int k = 1; k <= 100; ++k) {
            if (withTrackLines) {
                std::snprintf(line, sizeof line, "TRACK %02d AUDIO\n", k % 100);
                sheet += line;
            }
            std::snprintf(line, sizeof line, "INDEX 01 %02d:%02d:00\n", k / 60, k % 60);
            sheet += line;
            if (k == 99) {
                const CueTrackTable t = ParseCueSheetText(sheet, Context());
                ASSERT_EQ(t.tracks.size(), 99u);
                EXPECT_EQ(t.tracks[98].name, "99.mp3");
            }
        }
        EXPECT_EQ(ErrorOf(sheet), "invalid CUE file");
    }
}

TEST(ParseCueSheet, JunkAndHugeLinesGiveAResultOrAnErrorNeverACrash) {
    std::mt19937 rng(7);
    const char* const pieces[] = {"TRACK 01 AUDIO\n",
                                  "INDEX 01 ",
                                  "TITLE \"",
                                  "PERFORMER ",
                                  "FILE \"",
                                  "\r",
                                  "\n",
                                  "\"",
                                  ":",
                                  "00",
                                  "\x00",
                                  "\xff"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            if (rng() % 3 == 0)
                text += static_cast<char>(rng() & 0xFF);
            else
                text += pieces[rng() % std::size(pieces)];
        }
        try {
            for (const CueTrack& t : ParseCueSheetText(text, Context()).tracks)
                EXPECT_LE(t.name.size(), kNameMax);
        } catch (const VelmoraError&) {
        }
    }
    const std::string title(1 << 20, 'a');
    const CueTrackTable t =
        ParseCueSheetText("FILE \"x\"\nTITLE \"" + title + "\"\nINDEX 01 00:00:00\n", Context());
    EXPECT_EQ(t.tracks[0].name.size(), kNameMax);
    EXPECT_EQ(t.tracks[0].name.substr(0, 4), "01 a");
    EXPECT_EQ(t.tracks[0].name.substr(kNameMax - 5), "a.mp3");
}

TEST(ParseCueSheet, FileErrorsNameTheSheet) {
    test::TempDir dir;
    try {
        ParseCueSheet(dir.File("missing.cue"), Context());
        FAIL();
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "No such file or directory - Could not open \"" + dir.File("missing.cue") + "\"");
    }
    EXPECT_THROW(ParseCueSheet(dir.path(), Context()), VelmoraError);
    test::WriteFile(dir.File("a.cue"), {'I', 'N', 'D', 'E', 'X', ' ', '0', '1', ' ', '0', '0', ':',
                                        '0', '1', ':', '0', '0'});
    EXPECT_EQ(ParseCueSheet(dir.File("a.cue"), Context()).tracks.at(0).startFrame, 38);
}

TEST(SanitizeFileName, ReplacesEveryForbiddenCharacterButTheLast) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"a\"b*c/d\\e:f?g|h<i>j.mp3", "a''bxc-d-e f g h[i]j.mp3"},
        {"\"*/\\:?|<>?", "''x--   []?"},
        {"../../x.mp3", "..-..-x.mp3"},
        {"/tmp/x", "-tmp-x"},
        {std::string("a\tb\nc\x7f") + "d", "a b c d"},
        {"Ünïcödé ok.mp3", "Ünïcödé ok.mp3"},
        {"", ""},
        {"?", "?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SanitizeFileName(c.in), c.out) << c.in;
}

TEST(FitFileNameLength, CutsToTheLimitKeepingTheExtensionAndWholeCharacters) {
    EXPECT_EQ(FitFileNameLength("short.mp3"), "short.mp3");
    const std::string exact = std::string(251, 'x') + ".mp3";
    EXPECT_EQ(FitFileNameLength(exact), exact);
    const std::string cut = FitFileNameLength(std::string(300, 'x') + ".mp3");
    EXPECT_EQ(cut, std::string(251, 'x') + ".mp3");
    // "é" is two bytes: a cut between them backs up to the character's start.
    std::string accents = "0";
    while (accents.size() < 300)
        accents += "é";
    const std::string fitted = FitFileNameLength(accents + ".wav");
    EXPECT_EQ(fitted, accents.substr(0, 251) + ".wav");
    const std::string odd = FitFileNameLength("0" + accents + ".wav");
    EXPECT_EQ(odd.size(), 254u);
    EXPECT_EQ(odd.substr(odd.size() - 6), "é.wav");
    // A name without an extension is cut plainly.
    EXPECT_EQ(FitFileNameLength(std::string(400, 'y')), std::string(255, 'y'));
}

TEST(ChangeFileExt, ReplacesOnlyTheLastComponentsExtension) {
    EXPECT_EQ(ChangeFileExt("/a/b.mp3", ".cue"), "/a/b.cue");
    EXPECT_EQ(ChangeFileExt("/a.d/b", ".cue"), "/a.d/b.cue");
    EXPECT_EQ(ChangeFileExt("b.x.mp3", ""), "b.x");
    EXPECT_EQ(ChangeFileExt("noext", ".cue"), "noext.cue");
}

TEST(ParseCueSheet, EveryKeptFuzzerInputGivesATableOrAnError) {
    const std::string folder = std::string(VELMORA_TEST_DATA_DIR) + "/fuzz/fuzz_cue";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::vector<std::uint8_t> bytes = test::ReadFile(entry.path().string());
        if (bytes.empty())
            continue;
        ++files;
        try {
            const CueTrackTable t =
                ParseCueSheetText(std::string(bytes.begin() + 1, bytes.end()),
                                  Context((bytes[0] & 0x7F) * 1000, (bytes[0] & 0x80) != 0));
            EXPECT_TRUE(IsValidUtf8(t.CueAlbumPerformer) && IsValidUtf8(t.CueAlbumTitle))
                << entry.path();
            for (const CueTrack& track : t.tracks)
                EXPECT_TRUE(IsValidUtf8(track.name)) << entry.path();
        } catch (const VelmoraError&) {
        }
    }
    EXPECT_GE(files, 2);
}
