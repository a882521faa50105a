#include "TimeSpinValue.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace velmora {
namespace {

constexpr int H = TimeSpinValue::kHours;
constexpr int M = TimeSpinValue::kMinutes;
constexpr int S = TimeSpinValue::kSeconds;

std::string Shown(const TimeSpinValue& v) {
    return v.Text(H) + ":" + v.Text(M) + ":" + v.Text(S);
}

TEST(TimeSpinValue, MaximumSetsTheFieldMaxima) {
    struct Case {
        int maximum;
        std::array<int, 3> fieldMaxima;
    };
    const Case cases[] = {
        {35999, {9, 59, 59}}, {125, {0, 2, 59}},   {45, {0, 0, 45}},       {59, {0, 0, 59}},
        {60, {0, 1, 59}},     {3599, {0, 59, 59}}, {3600, {1, 59, 59}},    {3660, {1, 59, 59}},
        {600, {0, 10, 59}},   {0, {0, 0, 0}},      {359999, {99, 59, 59}},
    };
    for (const Case& c : cases) {
        TimeSpinValue v;
        v.SetValue(7);
        v.SetMaximum(c.maximum);
        EXPECT_EQ(v.Maximum(), c.maximum);
        for (int field = 0; field < 3; ++field)
            EXPECT_EQ(v.FieldMaximum(field), c.fieldMaxima[field])
                << "maximum " << c.maximum << " field " << field;
        EXPECT_EQ(v.Text(S), "07") << "the fields keep what they show";
    }
}

TEST(TimeSpinValue, FieldTextsReadAndClampAsTyped) {
    struct Case {
        const char* text;
        int value;
        int clamped; // in a field whose maximum is 59
    };
    const Case cases[] = {
        {"", 0, 0},     {"7", 7, 7},    {"07", 7, 7},  {"42", 42, 42},
        {"75", 75, 59}, {"99", 99, 59}, {"123", 0, 0},
    };
    for (const Case& c : cases) {
        TimeSpinValue v;
        v.SetText(S, c.text);
        EXPECT_EQ(v.FieldValue(S), c.value) << '"' << c.text << '"';
        EXPECT_EQ(v.ClampedFieldValue(S), c.clamped) << '"' << c.text << '"';
        v.TidyField(S);
        EXPECT_EQ(v.Text(S).size(), 2u);
        EXPECT_EQ(v.FieldValue(S), c.clamped);
    }
}

TEST(TimeSpinValue, SumValueAndSetValueStayWithinTheRange) {
    struct Case {
        int minimum;
        int maximum;
        int set;
        const char* shown;
        int value;
    };
    const Case cases[] = {
        {0, 35999, 0, "00:00:00", 0},         {0, 35999, 59, "00:00:59", 59},
        {0, 35999, 3661, "01:01:01", 3661},   {0, 35999, 35999, "09:59:59", 35999},
        {0, 35999, 40000, "09:59:59", 35999}, {0, 35999, -5, "00:00:00", 0},
        {0, 125, 500, "00:02:05", 125},       {10, 125, 3, "00:00:10", 10},
    };
    for (const Case& c : cases) {
        TimeSpinValue v;
        v.SetMaximum(c.maximum);
        v.SetMinimum(c.minimum);
        v.SetValue(c.set);
        EXPECT_EQ(Shown(v), c.shown) << "set " << c.set;
        EXPECT_EQ(v.Value(), c.value) << "set " << c.set;
        EXPECT_EQ(v.Sum(), c.value) << "set " << c.set;
    }
    TimeSpinValue typed;
    typed.SetMaximum(100);
    typed.SetText(M, "05");
    typed.SetText(S, "75");
    EXPECT_EQ(typed.Sum(), 60 + 59) << "a typed field counts up to its own maximum";
    EXPECT_EQ(typed.Value(), 100) << "the value is pulled into the range";
}

TEST(TimeSpinValue, StepsCarryAndBorrowButNeverWrap) {
    struct Case {
        int maximum;
        int start;
        int active; // -1: no field has the focus
        bool up;
        const char* shown;
    };
    const Case cases[] = {
        {3600, 59, S, true, "00:01:00"},  // carry
        {3600, 60, S, false, "00:00:59"}, // borrow
        {3600, 0, S, false, "00:00:00"},  // no wrap at 0
        {125, 125, -1, true, "00:02:05"}, // no wrap at the maximum
        {125, 119, -1, true, "00:02:00"}, // carry within a small maximum
        {125, 60, H, true, "00:01:01"},   // a field that holds only 0 steps the seconds
        {35999, 35999, S, true, "09:59:59"}, {35999, 35999, H, true, "09:59:59"},
        {35999, 3599, S, true, "01:00:00"}, // carry through two fields
        {35999, 3600, S, false, "00:59:59"}, {35999, 3600, M, false, "00:59:00"},
        {35999, 125, M, true, "00:03:05"},   {35999, 0, H, false, "00:00:00"},
        {600, 599, S, true, "00:10:00"},     {600, 600, S, true, "00:10:00"},
    };
    for (const Case& c : cases) {
        TimeSpinValue v;
        v.SetMaximum(c.maximum);
        v.SetValue(c.start);
        const int field = v.StepField(c.active);
        if (c.up)
            v.StepUp(field);
        else
            v.StepDown(field);
        EXPECT_EQ(Shown(v), c.shown) << "max " << c.maximum << " start " << c.start
                                     << (c.up ? " up" : " down") << " field " << c.active;
    }
}

TEST(TimeSpinValue, TypedNumberAboveTheMaximumStepsDownToItWithoutBorrowing) {
    TimeSpinValue v;
    v.SetValue(60);
    v.SetText(S, "75");
    EXPECT_FALSE(v.Decrement(S));
    EXPECT_EQ(Shown(v), "00:01:59");
    v.SetValue(0);
    EXPECT_TRUE(v.Decrement(H));
    EXPECT_EQ(v.Text(H), "99") << "a new value's hours field allows 99; the step undoes the wrap";
}

} // namespace
} // namespace velmora
