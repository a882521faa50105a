#pragma once

#include "UnitOptionRules.h"
#include "UnitOptions.h"

#include <string>
#include <vector>

namespace velmora::test {

// Every stored option as NAME=VALUE, in store order, so two option sets compare in one line.
inline std::vector<std::string> Dump(const Settings& s) {
    std::vector<std::string> out;
    for (const OptionBinding& b : OptionBindings())
        out.push_back(
            std::string(b.name) + "=" +
            (b.kind == OptionKind::Text ? GetText(s, b) : std::to_string(GetStoredInt(s, b))));
    return out;
}

// An option set in which every stored option differs from its default.
inline Settings AllChanged() {
    Settings s;
    const Settings defaults;
    for (const OptionBinding& b : OptionBindings()) {
        if (b.kind == OptionKind::Text) {
            SetText(s, b, std::string("x ") + b.name);
            continue;
        }
        const OptionRange r = RangeOf(b);
        std::int32_t v = r.max == GetStoredInt(defaults, b) ? r.min : r.max;
        if (std::string_view(b.name) == "ComboBoxID3Genre")
            v = 17;
        SetStoredInt(s, b, v);
    }
    return s;
}

} // namespace velmora::test
