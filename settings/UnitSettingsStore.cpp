#include "UnitSettingsStore.h"

#include "UnitOptionRules.h"

namespace velmora {

void LoadDefaults(Settings& settings) {
    settings = Settings{};
}

std::vector<std::string> ReadSettings(const ISettingsStore& store, Settings& settings) {
    std::vector<std::string> refused;
    for (const OptionBinding& b : OptionBindings()) {
        if (b.kind == OptionKind::Text) {
            if (std::optional<std::string> text = store.ReadString(b.name))
                SetText(settings, b, CutText(std::move(*text), kMaxStoredText));
        } else if (std::optional<std::int32_t> stored = store.ReadInteger(b.name)) {
            const std::int32_t value = DecodeStoredInt(b, *stored);
            if (std::optional<std::string> text = RefusalOf(b, value, std::to_string(*stored)))
                refused.push_back(std::move(*text));
            else
                SetStoredInt(settings, b, value);
        } else if (std::optional<std::string> text = store.ReadString(b.name)) {
            refused.push_back(NotANumberText(b, *text));
        }
    }
    return refused;
}

void WriteSettings(const Settings& settings, ISettingsStore& store) {
    for (const OptionBinding& b : OptionBindings()) {
        if (b.kind == OptionKind::Text)
            store.WriteString(b.name, GetText(settings, b));
        else
            store.WriteInteger(b.name, GetStoredInt(settings, b));
    }
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string CutText(std::string text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    // Step back over continuation bytes so a multi-byte character is dropped whole.
    while (end > 0 && end + 3 > limit && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

} // namespace velmora
