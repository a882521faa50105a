#pragma once

#include "UnitOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A place where named values persist: the settings store or the settings file. Names match
// regardless of ASCII case.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // nullopt when the value is missing or cannot be read as an integer.
    virtual std::optional<std::int32_t> ReadInteger(std::string_view name) const = 0;
    // nullopt when the value is missing or is not a text.
    virtual std::optional<std::string> ReadString(std::string_view name) const = 0;
    virtual void WriteInteger(std::string_view name, std::int32_t value) = 0;
    virtual void WriteString(std::string_view name, std::string_view value) = 0;
};

// The longest text a stored option holds; a longer one read from a store is cut.
inline constexpr std::size_t kMaxStoredText = 31;

// Every stored option to its default and the fixed options to their fixed values.
void LoadDefaults(Settings& settings);

// Reads every stored option that the store holds; a missing value leaves its field as it is.
// An integer is decoded as the stores keep it (DecodeStoredInt) and then checked like any other
// value: one that is not a number or that the Options window could not give leaves its field as
// it is and is returned as a refusal text (RefusalOf). Texts longer than kMaxStoredText are cut.
std::vector<std::string> ReadSettings(const ISettingsStore& store, Settings& settings);

// Writes every stored option (switches as -1 and 0, one-byte fields as their byte).
void WriteSettings(const Settings& settings, ISettingsStore& store);

// A decimal integer in the 32-bit range, blanks around it allowed; nullopt otherwise.
std::optional<std::int32_t> ParseDecimal(std::string_view text);

// Cuts a text to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutText(std::string text, std::size_t limit);

} // namespace velmora
