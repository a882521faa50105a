#include "FrameBuilder.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitTrackLength.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velmora {
namespace {

TEST(TrackLength, IsTrackLengthTextAcceptsOnlyTheTwoShapes) {
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"3m 25s", true},    {"1h 02", true}, {"12m 00s", true}, {"0m 59s", true},
        {"1h 2m 3s", false}, {"25s", false},  {"live", false},   {"3m 25", false},
        {"3m 3m 1s", false}, {"", false},     {"3m_25s", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsTrackLengthText(c.text), c.expected) << c.text;
}

TEST(TrackLength, InsertReplacesEarlierAnnotations) {
    const struct {
        const char* name;
        const char* length;
        bool inserted;
        const char* result;
    } cases[] = {
        {"Song.mp3", "3m 25s", true, "Song (3m 25s).mp3"},
        {"song (3m 25s).mp3", "3m 10s", true, "song (3m 10s).mp3"},
        {"song (live).mp3", "3m 10s", true, "song (live) (3m 10s).mp3"},
        {"a (12m 00s) b (1h 02).mp3", "0m 05s", true, "a b (0m 05s).mp3"},
        {"Song", "3m 25s", false, "Song"},
        {"/music/v1.0/Song.mp3", "1h 02", true, "/music/v1.0/Song (1h 02).mp3"},
        {"/music/v1.0/Song", "1h 02", false, "/music/v1.0/Song"},
        {"unclosed (3m 25s.mp3", "0m 01s", true, "unclosed (3m 25s (0m 01s).mp3"},
    };
    for (const auto& c : cases) {
        const TrackLengthName r = InsertTrackLength(c.name, c.length);
        EXPECT_EQ(r.inserted, c.inserted) << c.name;
        EXPECT_EQ(r.name, c.result) << c.name;
    }
}

TEST(TrackLength, SaveAsSuggestionAndTypeChange) {
    Settings withTime;
    Settings plain;
    plain.CheckBoxSaveAs_WithTime = false;
    EXPECT_EQ(SuggestSaveAsName("Song.mp3", withTime, false, "3m 25s"), "Song (3m 25s).mp3");
    EXPECT_EQ(SuggestSaveAsName("Song.mp3", withTime, true, "3m 25s"), "Song (3m 25s).wav");
    EXPECT_EQ(SuggestSaveAsName("Song", withTime, false, "3m 25s"), "Song.mp3");
    EXPECT_EQ(SuggestSaveAsName("song.mp3", plain, false, "3m 25s"), "song (trimmed).mp3");
    EXPECT_EQ(SuggestSaveAsName("song.wav", plain, true, "3m 25s"), "song (trimmed).wav");
    EXPECT_EQ(SuggestSaveAsName("song", plain, false, "3m 25s"), "song (trimmed).mp3");
    EXPECT_EQ(NameForSaveType("Song (3m 25s).mp3", true), "Song (3m 25s).wav");
    EXPECT_EQ(NameForSaveType("/x/Song (3m 25s).wav", false), "Song (3m 25s).mp3");
}

TEST(TrackLength, SaveAsRefusesTheSourceFile) {
    test::TempDir dir;
    const std::string source = dir.File("a.mp3");
    test::WriteFile(source, {1, 2, 3});
    const char* kText = "'Save As' cannot overwrite to the source file - use 'Save' instead";
    try {
        CheckSaveAsTarget(source, source);
        FAIL();
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), kText);
    }
    // Another name for the same file is the same file.
    ASSERT_EQ(::symlink(source.c_str(), dir.File("link.mp3").c_str()), 0);
    EXPECT_THROW(CheckSaveAsTarget(source, dir.File("link.mp3")), VelmoraError);
    EXPECT_THROW(CheckSaveAsTarget(source, dir.path() + "/./a.mp3"), VelmoraError);
    EXPECT_NO_THROW(CheckSaveAsTarget(source, dir.File("A.mp3")));
    EXPECT_NO_THROW(CheckSaveAsTarget(source, dir.File("new.mp3")));
}

TEST(TrackLength, SaveQuestions) {
    const MessageTable m = MessageTable::English();
    Settings ask;
    ask.CheckBoxOverwriteAsk = true;
    Settings quiet;
    std::vector<std::string> q = SaveQuestions("/d/x.wav", ask, false, 58, m);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0], "The file 'x.wav' is going to be updated.\nDo you want to continue?\n\n"
                    "Note: to disable this warning in the future, uncheck the option 'Ask "
                    "before overwriting a file'.");
    EXPECT_EQ(q[1].substr(0, 44), "The file 'x.wav' is going to be saved withou");
    EXPECT_EQ(SaveQuestions("/d/x.WAV", quiet, false, 58, m).size(), 1u);
    EXPECT_TRUE(SaveQuestions("/d/x.mp3", quiet, false, 58, m).empty());
    EXPECT_TRUE(SaveQuestions("/d/x.wav", quiet, true, 58, m).empty());
    EXPECT_TRUE(SaveQuestions("/d/x.wav", quiet, false, 0, m).empty());
}

} // namespace
} // namespace velmora
