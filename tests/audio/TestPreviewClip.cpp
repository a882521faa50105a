#include "FrameBuilder.h"
#include "UnitOptions.h"
#include "UnitPlayerPosition.h"
#include "UnitPreviewClip.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr auto kPlay = PreviewOutcome::Play;
constexpr auto kNothing = PreviewOutcome::NothingToPreview;
constexpr auto kInvalid = PreviewOutcome::InvalidTrim;

// 1000 frames; the plan adds 3 silent frames in front and 4 behind; fades at 5 and 6; the
// volume bar at +2. At 44.1 kHz a 5-second clip is 192 frames, a 1-second one 39.
PreviewRequest Request(bool endButton, std::int64_t b, std::int64_t e) {
    PreviewRequest r;
    r.endButton = endButton;
    r.beginFrames = b;
    r.endFrames = e;
    r.totalFrames = 1000;
    r.planSilenceBeginFrames = 3;
    r.planSilenceEndFrames = 4;
    r.fadeInPosition = 5;
    r.fadeOutPosition = 6;
    r.amplificationPosition = 2;
    r.amplificationEnabled = true;
    return r;
}

} // namespace

TEST(PreviewClip, ButtonsSettingsAndModifiers) {
    constexpr bool kBegin = false, kEnd = true, kKept = false, kTrimmed = true;
    const struct {
        const char* name;
        bool endButton, trimmedPart, shift, ctrl, layer3;
        std::int64_t b, e;
        PreviewOutcome outcome;
        std::int64_t start, count, silenceBegin, silenceEnd;
        int fadeIn, fadeOut, gain;
    } cases[] = {
        {"begin kept", kBegin, kKept, false, false, true, 100, 50, kPlay, 100, 192, 3, 0, 5, 0, 2},
        {"begin kept, Shift: 1 s", kBegin, kKept, true, false, true, 100, 50, kPlay, 100, 39, 3, 0,
         5, 0, 2},
        {"begin kept, Ctrl: 8 steps", kBegin, kKept, false, true, true, 100, 50, kPlay, 100, 192, 3,
         0, 5, 0, 10},
        {"begin kept near the file's end", kBegin, kKept, false, false, true, 900, 0, kPlay, 900,
         100, 3, 0, 5, 0, 2},
        {"begin kept, little left before the end point", kBegin, kKept, false, false, true, 500,
         450, kPlay, 500, 50, 3, 0, 5, 0, 2},
        {"begin kept, nothing kept", kBegin, kKept, false, false, true, 600, 400, kNothing, 600, 0,
         3, 0, 5, 0, 2},
        {"begin trimmed, short begin", kBegin, kTrimmed, false, false, true, 100, 50, kPlay, 0, 100,
         0, 0, 0, 0, 2},
        {"begin trimmed", kBegin, kTrimmed, false, false, true, 300, 50, kPlay, 108, 192, 0, 0, 0,
         0, 2},
        {"begin trimmed at frame 0", kBegin, kTrimmed, false, false, true, 0, 50, kNothing, 0, 0, 0,
         0, 0, 0, 2},
        {"end trimmed, short end", kEnd, kTrimmed, false, false, true, 100, 50, kPlay, 950, 50, 0,
         0, 0, 0, 2},
        {"end trimmed", kEnd, kTrimmed, false, false, true, 100, 500, kPlay, 500, 192, 0, 0, 0, 0,
         2},
        {"end trimmed, nothing cut", kEnd, kTrimmed, false, false, true, 100, 0, kNothing, 1000, 0,
         0, 0, 0, 0, 2},
        {"end kept", kEnd, kKept, false, false, true, 100, 50, kPlay, 758, 192, 0, 4, 0, 6, 2},
        {"end kept before the file's start", kEnd, kKept, false, false, true, 0, 900, kPlay, 0, 100,
         0, 4, 0, 6, 2},
        {"end kept, begin point close to it", kEnd, kKept, false, false, true, 800, 100, kPlay, 800,
         100, 0, 4, 0, 6, 2},
        {"end kept, nothing kept", kEnd, kKept, false, false, true, 600, 400, kNothing, 600, 0, 0,
         4, 0, 6, 2},
        {"end kept, Shift and Ctrl on Layer II", kEnd, kKept, true, true, false, 100, 50, kPlay,
         911, 39, 0, 4, 0, 0, 0},
        {"begin: empty begin field", kBegin, kKept, false, false, true, -1, 50, kInvalid, 0, 0, 0,
         0, 0, 0, 0},
        {"end: empty end field", kEnd, kTrimmed, false, false, true, 100, -1, kInvalid, 0, 0, 0, 0,
         0, 0, 0},
        {"points overlap", kEnd, kKept, false, false, true, 600, 401, kInvalid, 0, 0, 0, 0, 0, 0,
         0},
    };
    const MpegHeader first = Mpeg1Layer3Header();
    for (const auto& c : cases) {
        Settings settings;
        settings.RadioGroupPreviewPlaysWhat = c.trimmedPart;
        PreviewRequest r = Request(c.endButton, c.b, c.e);
        r.shift = c.shift;
        r.ctrl = c.ctrl;
        r.amplificationEnabled = c.layer3;
        const PreviewClip clip = ComputePreviewClip(first, settings, r);
        EXPECT_EQ(clip.outcome, c.outcome) << c.name;
        if (c.outcome == kInvalid)
            continue;
        EXPECT_EQ(clip.startFrame, c.start) << c.name;
        EXPECT_EQ(clip.frameCount, c.count) << c.name;
        EXPECT_EQ(clip.silenceBeginFrames, c.silenceBegin) << c.name;
        EXPECT_EQ(clip.silenceEndFrames, c.silenceEnd) << c.name;
        EXPECT_EQ(clip.fadeInIndex, c.fadeIn) << c.name;
        EXPECT_EQ(clip.fadeOutIndex, c.fadeOut) << c.name;
        EXPECT_EQ(clip.gainSteps, c.gain) << c.name;
    }
}

TEST(PlayerPosition, PlayingBeforePausedThenByName) {
    const std::vector<PlayerState> players = {
        {"org.mpris.MediaPlayer2.vlc", "Paused"},  {"org.mpris.MediaPlayer2.mpv", "Stopped"},
        {"org.mpris.MediaPlayer2.b", "Playing"},   {"org.mpris.MediaPlayer2.a", "Paused"},
        {"org.mpris.MediaPlayer2.c", "Playing"},   {"org.mpris.MediaPlayer2.hung", ""},
        {"org.mpris.MediaPlayer2.odd", "playing"},
    };
    EXPECT_EQ(AvailablePlayers(players),
              (std::vector<std::string>{"org.mpris.MediaPlayer2.b", "org.mpris.MediaPlayer2.c",
                                        "org.mpris.MediaPlayer2.a", "org.mpris.MediaPlayer2.vlc"}));
    EXPECT_TRUE(AvailablePlayers({{"org.mpris.MediaPlayer2.mpv", "Stopped"}}).empty());
}

TEST(PlayerPosition, MicrosecondsToWholeFramesAndNegativeIsNone) {
    const MpegHeader first = Mpeg1Layer3Header(); // one frame lasts 26.12 ms
    EXPECT_EQ(PlayerPositionFrames(first, 59'999'999), 2296);
    EXPECT_EQ(PlayerPositionFrames(first, 26'999), 0);
    EXPECT_EQ(PlayerPositionFrames(first, 27'000), 1);
    EXPECT_EQ(PlayerPositionFrames(first, -1), std::nullopt);
}
