#pragma once

#include <array>
#include <string>

namespace velmora {

// The arithmetic of the time spin control: three two-digit fields (hours, minutes, seconds),
// each with its own maximum, that carry into and borrow from the next higher field, and a value
// in whole seconds kept within [minimum, maximum]. The fields hold texts, because the user types
// into them; every number is read from the texts as the control shows them.
class TimeSpinValue {
public:
    static constexpr int kHours = 0;
    static constexpr int kMinutes = 1;
    static constexpr int kSeconds = 2;
    static constexpr int kFieldCount = 3;
    static constexpr int kDefaultMaximum = 35999; // 9:59:59, although the hours field allows 99

    int Minimum() const { return m_minimum; }
    void SetMinimum(int seconds) { m_minimum = seconds; }
    int Maximum() const { return m_maximum; }
    // Also sets the field maxima; the fields keep what they show.
    void SetMaximum(int seconds);
    int FieldMaximum(int field) const { return m_fieldMaximum[field]; }

    const std::string& Text(int field) const { return m_texts[field]; }
    void SetText(int field, std::string text) { m_texts[field] = std::move(text); }
    // The number a field's text reads as: one or two digits, anything else 0.
    int FieldValue(int field) const;
    int ClampedFieldValue(int field) const;
    // Pulls the number into [0, field maximum] and writes it as two digits.
    void WriteField(int field, int number);
    // Rewrites a field as the two digits of its clamped value (what leaving it does).
    void TidyField(int field) { WriteField(field, ClampedFieldValue(field)); }

    // hours * 3600 + minutes * 60 + seconds over the clamped field values.
    int Sum() const;
    // The sum pulled into [minimum, maximum].
    int Value() const;
    // Pulls the number into [minimum, maximum] and writes the three fields.
    void SetValue(int seconds);
    void ClearTexts();

    // One field up or down, carrying into or borrowing from the higher fields; true when the
    // field wrapped.
    bool Increment(int field);
    bool Decrement(int field);
    // The field a step acts on: the active one (-1 for none), or the seconds field when there
    // is none or the active field cannot hold anything but 0.
    int StepField(int active) const;
    // A step never wraps the value around: past either end it stops at that end.
    void StepUp(int field);
    void StepDown(int field);

    // True when the sum differs from the value last reported, which it then becomes.
    bool TakeChange();
    int LastReported() const { return m_lastReported; }

private:
    std::array<std::string, kFieldCount> m_texts{"00", "00", "00"};
    std::array<int, kFieldCount> m_fieldMaximum{99, 59, 59};
    int m_minimum = 0;
    int m_maximum = kDefaultMaximum;
    int m_lastReported = -1;
};

} // namespace velmora
