#pragma once

#include "UnitOptions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// The values the Options window can give an integer option.
struct OptionRange {
    std::int32_t min = 0;
    std::int32_t max = 0;
};
OptionRange RangeOf(const OptionBinding& b);
bool IsValidOptionValue(const OptionBinding& b, std::int32_t value);

// The longest text an edit box of the Options window takes.
inline constexpr std::size_t kMaxEditText = 30;

// Looks an option up by name regardless of ASCII case.
const OptionBinding* FindOptionNoCase(std::string_view name);

// Checks VALUE as the Options window would allow it and sets the field; throws VelmoraError
// with a text naming the option otherwise. Switches take on/off/true/false/-1/0/1.
void AssignOptionValue(Settings& settings, const OptionBinding& b, std::string_view value);
// The same for "NAME=VALUE".
void AssignOption(Settings& settings, std::string_view assignment);

// The field as the user reads it: on/off, a number, or the text.
std::string FormatOptionValue(const Settings& settings, const OptionBinding& b);
const char* OptionKindName(OptionKind kind);

} // namespace velmora
