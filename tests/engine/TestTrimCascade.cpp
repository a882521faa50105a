#include "UnitMP3.h"
#include "UnitTrimCascade.h"

#include <gtest/gtest.h>

#include <climits>

using namespace velmora;

namespace {

using enum TrimQuantity;
using Sets = std::vector<TrimFieldSet>;
constexpr int kTotal = 1000;

} // namespace

// Each case: the fields with the changed one already holding its typed value (-1: empty), the
// sets in the order the editor makes them, and the fields afterwards.
TEST(TrimCascade, SetsThePartnersInOrderAndClampsThem) {
    const struct {
        const char* name;
        TrimQuantity changed;
        TrimFieldValues fields;
        Sets sets;
        TrimFieldValues after;
    } cases[] = {
        {"begin within", Begin, {100, 100, 900, 800}, {{Duration, 800}}, {100, 100, 900, 800}},
        {"begin above total - end lowers end and end position",
         Begin,
         {951, 50, 950, 950},
         {{End, 49}, {EndPosition, 951}, {Duration, 0}},
         {951, 49, 951, 0}},
        {"begin typed past the stream",
         Begin,
         {5000, 0, 1000, 1000},
         {{End, 0}, {EndPosition, 1000}, {Duration, 0}},
         {5000, 0, 1000, 0}},
        {"begin with an empty end: the duration takes the clamp",
         Begin,
         {0, -1, -1, -1},
         {{Duration, 1000}},
         {0, -1, -1, 1000}},
        {"end above total - begin lowers begin",
         End,
         {900, 300, 1000, 100},
         {{Begin, 700}, {EndPosition, 700}, {Duration, 0}},
         {700, 300, 700, 0}},
        {"end within",
         End,
         {100, 250, 1000, 900},
         {{EndPosition, 750}, {Duration, 650}},
         {100, 250, 750, 650}},
        {"end position below begin pulls begin",
         EndPosition,
         {100, 0, 80, 900},
         {{Begin, 80}, {End, 920}, {Duration, 0}},
         {80, 920, 80, 0}},
        {"end position with an empty begin",
         EndPosition,
         {-1, 0, 600, 900},
         {{End, 400}, {Duration, 601}},
         {-1, 400, 600, 601}},
        {"duration of all",
         Duration,
         {100, 0, 1000, 1000},
         {{End, 0}, {EndPosition, 1000}, {Begin, 0}},
         {0, 0, 1000, 1000}},
        {"duration takes from the end first",
         Duration,
         {100, 100, 900, 500},
         {{End, 400}, {EndPosition, 600}, {Begin, 100}},
         {100, 400, 600, 500}},
        {"duration past the stream",
         Duration,
         {100, 0, 1000, 1200},
         {{End, 0}, {EndPosition, 1000}, {Begin, 0}},
         {0, 0, 1000, 1200}},
        {"duration with an empty begin sets nothing",
         Duration,
         {-1, 0, 1000, 10},
         {},
         {-1, 0, 1000, 10}},
        {"an emptied field sets nothing", End, {100, -1, 900, 800}, {}, {100, -1, 900, 800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Sets sets = TrimCascade(c.changed, c.fields, kTotal);
        EXPECT_EQ(sets, c.sets);
        EXPECT_EQ(ApplyTrimCascade(c.fields, sets), c.after);
    }
    // The largest stream the fields hold: no sum overflows.
    EXPECT_EQ(TrimCascade(Begin, {INT_MAX, INT_MAX, 0, 0}, INT_MAX),
              (Sets{{End, 0}, {EndPosition, INT_MAX}, {Duration, 0}}));
}

TEST(TrimCascade, FramesAndTimesOfTheFields) {
    MpegHeader mpeg1; // MPEG-1 Layer III, 44100 Hz: 1152 samples a frame
    ASSERT_TRUE(DecodeHeader(mpeg1, 0x6490FBFF));
    MpegHeader mpeg2; // MPEG-2 Layer III, 22050 Hz: 576 samples a frame
    ASSERT_TRUE(DecodeHeader(mpeg2, 0x0080F3FF));
    const struct {
        const MpegHeader* h;
        int frames, seconds;   // frames -> seconds shown
        int typed, backFrames; // seconds typed -> frames set (rounded up)
    } cases[] = {
        {&mpeg1, 1000, 26, 1, 39},
        {&mpeg1, 38, 0, 0, 0},
        {&mpeg1, 39, 1, 26, 996},
        {&mpeg2, 1000, 26, 1, 39},
        {&mpeg1, INT_MAX, 56097532, 60, 2297},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        EXPECT_EQ(TrimFieldSeconds(*c.h, c.frames), c.seconds);
        EXPECT_EQ(TrimFieldFrames(*c.h, c.typed), c.backFrames);
        // A time typed and shown again reads the same seconds.
        EXPECT_EQ(TrimFieldSeconds(*c.h, TrimFieldFrames(*c.h, c.typed)), c.typed);
    }
    EXPECT_EQ(TrimFieldFrames(mpeg1, std::int64_t{1} << 40), INT_MAX);
    EXPECT_EQ(TrimFieldTotal(std::int64_t{1} << 40), INT_MAX);
    EXPECT_EQ(TrimFieldTotal(850), 850);
}
