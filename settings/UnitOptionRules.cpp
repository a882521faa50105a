#include "UnitOptionRules.h"

#include "UnitIni.h"
#include "UnitSettingsStore.h"
#include "VelmoraError.h"

#include <climits>

namespace velmora {

namespace {

struct NamedRange {
    const char* name;
    OptionRange range;
};

// Item indices run over the items of their control; numbers and positions over its range.
constexpr NamedRange kRanges[] = {
    {"RadioButtonID3Remove", {0, 2}},
    {"SpinEditID3Year", {0, 9999}},
    {"ComboBoxID3Genre", {0, 255}},
    {"SpinEditMinimumCueTrackLength", {0, INT32_MAX}},
    {"RadioGroupCueSplit", {0, 1}},
    {"RadioGroupTrimAggressivity", {0, 2}},
    {"ComboBoxAddSilenceBeginning",
     {0, static_cast<std::int32_t>(SilenceDurationTable.size()) - 1}},
    {"ComboBoxAddSilenceEnd", {0, static_cast<std::int32_t>(SilenceDurationTable.size()) - 1}},
    {"ComboBoxNormlizeAt", {0, 4}},
    {"ComboBoxNormalizeClippingThreshold", {0, 10}},
    {"TrackBarDefaultAmplification", {-8, 8}},
    {"ComboBoxFadeDepth", {0, 3}},
    {"SpinEditPreviewLength", {1, 10}},
    {"TrackBarBatchFadeIn", {0, static_cast<std::int32_t>(FadeDurationTable.size()) - 1}},
    {"TrackBarBatchFadeOut", {0, static_cast<std::int32_t>(FadeDurationTable.size()) - 1}},
    {"ComboBoxLengthThumbnail", {0, 6}},
    {"SpinEditStartThumbnail", {0, 999}},
    {"SpinEditEndThumbnail", {0, 999}},
    {"ComboBoxLoudnessTarget", {0, 4}},
    {"SpinEditLoudnessTargetCustom", {5, 70}},
    {"ComboBoxTruePeakCeiling", {0, 4}},
};

constexpr std::int32_t kLastGenre = 147;
constexpr std::int32_t kNoGenre = 255;

std::string Quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

} // namespace

OptionRange RangeOf(const OptionBinding& b) {
    switch (b.kind) {
    case OptionKind::Switch:
        return {-1, 0};
    case OptionKind::ThreeState:
        return {0, 2};
    case OptionKind::Text:
        return {0, 0};
    default:
        break;
    }
    for (const NamedRange& r : kRanges)
        if (std::string_view(r.name) == b.name)
            return r.range;
    return {INT32_MIN, INT32_MAX};
}

bool IsValidOptionValue(const OptionBinding& b, std::int32_t value) {
    if (std::string_view(b.name) == "ComboBoxID3Genre")
        return (value >= 0 && value <= kLastGenre) || value == kNoGenre;
    const OptionRange r = RangeOf(b);
    return value >= r.min && value <= r.max;
}

const OptionBinding* FindOptionNoCase(std::string_view name) {
    for (const OptionBinding& b : OptionBindings())
        if (IniNamesEqual(name, b.name))
            return &b;
    return nullptr;
}

const OptionBinding* FindOptionByAnyName(std::string_view name) {
    if (const OptionBinding* b = FindOptionNoCase(name))
        return b;
    for (const OptionBinding& b : OptionBindings())
        if (IniNamesEqual(name, b.readable))
            return &b;
    return nullptr;
}

namespace {

std::string AllowedText(const OptionBinding& b) {
    if (b.kind == OptionKind::Switch)
        return "on or off";
    if (std::string_view(b.name) == "ComboBoxID3Genre")
        return "a genre number from 0 to 147, or 255 for none";
    const OptionRange r = RangeOf(b);
    if (r.max == INT32_MAX)
        return "a whole number from " + std::to_string(r.min);
    return "a whole number from " + std::to_string(r.min) + " to " + std::to_string(r.max);
}

} // namespace

std::string NotANumberText(const OptionBinding& b, std::string_view shown) {
    return Quoted(b.name) + " takes " + AllowedText(b) + ", got " + Quoted(shown);
}

std::optional<std::string> RefusalOf(const OptionBinding& b, std::int32_t value,
                                     std::string_view shown) {
    if (IsValidOptionValue(b, value))
        return std::nullopt;
    return NotANumberText(b, shown);
}

std::int32_t DecodeStoredInt(const OptionBinding& b, std::int32_t stored) {
    if (b.kind == OptionKind::Switch)
        return stored != 0 ? -1 : 0;
    if (std::holds_alternative<std::uint8_t Settings::*>(b.field))
        return stored & 0xFF;
    return stored;
}

std::vector<std::string> RefusedFields(const Settings& settings) {
    std::vector<std::string> refused;
    for (const OptionBinding& b : OptionBindings()) {
        if (b.kind == OptionKind::Text)
            continue;
        const std::int32_t v = GetStoredInt(settings, b);
        if (std::optional<std::string> text = RefusalOf(b, v, std::to_string(v)))
            refused.push_back(std::move(*text));
    }
    return refused;
}

void AssignOptionValue(Settings& settings, const OptionBinding& b, std::string_view value) {
    const std::string name = Quoted(b.name);
    if (b.kind == OptionKind::Text) {
        if (value.size() > kMaxEditText)
            throw VelmoraError(name + " takes at most 30 characters");
        for (char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                throw VelmoraError(name + " takes no control characters");
        SetText(settings, b, std::string(value));
        return;
    }
    if (b.kind == OptionKind::Switch) {
        if (value == "on" || value == "true" || value == "-1" || value == "1")
            SetStoredInt(settings, b, -1);
        else if (value == "off" || value == "false" || value == "0")
            SetStoredInt(settings, b, 0);
        else
            throw VelmoraError(NotANumberText(b, value));
        return;
    }
    const std::optional<std::int32_t> v = ParseDecimal(value);
    if (!v)
        throw VelmoraError(NotANumberText(b, value));
    if (std::optional<std::string> refused = RefusalOf(b, *v, value))
        throw VelmoraError(*refused);
    SetStoredInt(settings, b, *v);
}

void AssignOption(Settings& settings, std::string_view assignment) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string_view::npos)
        throw VelmoraError("Expected NAME=VALUE, got " + Quoted(assignment));
    const std::string_view name = assignment.substr(0, eq);
    const OptionBinding* b = FindOptionByAnyName(name);
    if (!b)
        throw VelmoraError("Unknown option " + Quoted(name));
    AssignOptionValue(settings, *b, assignment.substr(eq + 1));
}

std::string FormatOptionValue(const Settings& settings, const OptionBinding& b) {
    if (b.kind == OptionKind::Text)
        return GetText(settings, b);
    const std::int32_t v = GetStoredInt(settings, b);
    if (b.kind == OptionKind::Switch)
        return v != 0 ? "on" : "off";
    return std::to_string(v);
}

const char* OptionKindName(OptionKind kind) {
    switch (kind) {
    case OptionKind::Switch:
        return "switch";
    case OptionKind::ThreeState:
        return "three-state";
    case OptionKind::ItemIndex:
        return "item index";
    case OptionKind::Position:
        return "position";
    case OptionKind::Number:
        return "number";
    case OptionKind::Text:
        return "text";
    case OptionKind::Byte:
        return "byte";
    }
    return "";
}

} // namespace velmora
