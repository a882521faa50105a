#pragma once

#include "UnitOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// The same by its stored or its readable name ("CheckBoxCleanup" or "cleanup"), as people give
// it on the command line.
const OptionBinding* FindOptionByAnyName(std::string_view name);

// The one check every integer value passes on its way into the fields, whichever way it comes
// (the settings store, the settings file, --set, --option, the Options window): the text that
// refuses VALUE (shown as `shown`) for the option, naming the option and what it takes, or
// nullopt when the Options window could give it.
std::optional<std::string> RefusalOf(const OptionBinding& b, std::int32_t value,
                                     std::string_view shown);
// The same refusal for a value that is not a number at all.
std::string NotANumberText(const OptionBinding& b, std::string_view shown);

// A value as the stores keep it: a switch is on for any non-zero value, a one-byte field keeps
// its low 8 bits. The result is then checked like any other value.
std::int32_t DecodeStoredInt(const OptionBinding& b, std::int32_t stored);

// Every integer field the Options window could not give, as refusal texts (empty: none).
std::vector<std::string> RefusedFields(const Settings& settings);

// Checks VALUE as the Options window would allow it and sets the field; throws VelmoraError
// with a text naming the option otherwise. Switches take on/off/true/false/-1/0/1.
void AssignOptionValue(Settings& settings, const OptionBinding& b, std::string_view value);
// The same for "NAME=VALUE", NAME stored or readable.
void AssignOption(Settings& settings, std::string_view assignment);

// The field as the user reads it: on/off, a number, or the text.
std::string FormatOptionValue(const Settings& settings, const OptionBinding& b);
const char* OptionKindName(OptionKind kind);

} // namespace velmora
