#include "TimeSpinValue.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr std::array<int, TimeSpinValue::kFieldCount> kFieldWeight{3600, 60, 1};

} // namespace

void TimeSpinValue::SetMaximum(int seconds) {
    m_maximum = seconds;
    m_fieldMaximum[kHours] = seconds / 3600;
    m_fieldMaximum[kMinutes] = seconds < 3600 ? (seconds / 60) % 60 : 59;
    m_fieldMaximum[kSeconds] = seconds < 60 ? seconds % 60 : 59;
}

int TimeSpinValue::FieldValue(int field) const {
    const std::string& text = m_texts[field];
    if (text.size() == 1)
        return text[0] - '0';
    if (text.size() == 2)
        return (text[0] - '0') * 10 + (text[1] - '0');
    return 0;
}

int TimeSpinValue::ClampedFieldValue(int field) const {
    return std::clamp(FieldValue(field), 0, std::max(0, m_fieldMaximum[field]));
}

void TimeSpinValue::WriteField(int field, int number) {
    const int n = std::clamp(number, 0, std::max(0, m_fieldMaximum[field]));
    m_texts[field] = {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

int TimeSpinValue::Sum() const {
    int sum = 0;
    for (int field = 0; field < kFieldCount; ++field)
        sum += ClampedFieldValue(field) * kFieldWeight[field];
    return sum;
}

int TimeSpinValue::Value() const {
    return std::clamp(Sum(), m_minimum, std::max(m_minimum, m_maximum));
}

void TimeSpinValue::SetValue(int seconds) {
    const int s = std::clamp(seconds, m_minimum, std::max(m_minimum, m_maximum));
    WriteField(kSeconds, s % 60);
    WriteField(kMinutes, s / 60 % 60);
    WriteField(kHours, s / 3600);
}

void TimeSpinValue::ClearTexts() {
    for (std::string& text : m_texts)
        text.clear();
}

bool TimeSpinValue::Increment(int field) {
    const int current = ClampedFieldValue(field);
    if (current < m_fieldMaximum[field]) {
        WriteField(field, current + 1);
        return false;
    }
    WriteField(field, 0);
    if (field > kHours)
        Increment(field - 1);
    return true;
}

bool TimeSpinValue::Decrement(int field) {
    const int current = FieldValue(field);
    if (current > 0 && current <= m_fieldMaximum[field]) {
        WriteField(field, current - 1);
        return false;
    }
    WriteField(field, m_fieldMaximum[field]);
    if (current > 0)
        return false;
    if (field > kHours)
        Decrement(field - 1);
    return true;
}

int TimeSpinValue::StepField(int active) const {
    if (active < 0 || active >= kFieldCount || m_fieldMaximum[active] == 0)
        return kSeconds;
    return active;
}

void TimeSpinValue::StepUp(int field) {
    const int before = Sum();
    Increment(field);
    const int after = Sum();
    if (after < before || after > m_maximum)
        SetValue(m_maximum);
    else if (after < m_minimum)
        SetValue(m_minimum);
}

void TimeSpinValue::StepDown(int field) {
    const int before = Sum();
    Decrement(field);
    const int after = Sum();
    if (after > before || after < m_minimum)
        SetValue(m_minimum);
    else if (after > m_maximum)
        SetValue(m_maximum);
}

bool TimeSpinValue::TakeChange() {
    const int sum = Sum();
    if (sum == m_lastReported)
        return false;
    m_lastReported = sum;
    return true;
}

} // namespace velmora
