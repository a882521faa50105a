#include "CliCommon.h"
#include "CliJson.h"

#include "UnitOptionRules.h"
#include "UnitRegistryStore.h"
#include "UnitSettingsFile.h"
#include "VelmoraError.h"

#include <algorithm>
#include <ostream>
#include <sys/stat.h>

namespace velmora::cli {

namespace {

Json JsonValue(const Settings& s, const OptionBinding& b) {
    if (b.kind == OptionKind::Text)
        return JsonText(GetText(s, b));
    if (b.kind == OptionKind::Switch)
        return GetStoredInt(s, b) != 0;
    return GetStoredInt(s, b);
}

std::string ShownValue(const Settings& s, const OptionBinding& b) {
    const std::string v = FormatOptionValue(s, b);
    return b.kind == OptionKind::Text ? "\"" + v + "\"" : v;
}

void PrintTable(const Settings& settings, std::ostream& out) {
    const Settings defaults{};
    std::size_t readableWidth = 4, nameWidth = 11, valueWidth = 5;
    for (const OptionBinding& b : OptionBindings()) {
        readableWidth = std::max(readableWidth, std::string_view(b.readable).size());
        nameWidth = std::max(nameWidth, std::string_view(b.name).size());
        valueWidth = std::max(valueWidth, ShownValue(settings, b).size());
    }
    auto cell = [&](const std::string& text, std::size_t width) {
        out << text << std::string(width - text.size() + 2, ' ');
    };
    auto row = [&](const std::string& readable, const std::string& name, const std::string& value,
                   const std::string& def) {
        cell(readable, readableWidth);
        cell(name, nameWidth);
        cell(value, valueWidth);
        out << def << "\n";
    };
    row("Name", "Stored name", "Value", "Default");
    for (const OptionBinding& b : OptionBindings())
        row(b.readable, b.name, ShownValue(settings, b), ShownValue(defaults, b));
}

// One line: the store and every option by its names, with its kind, value and default.
void PrintJson(const Settings& settings, std::ostream& out) {
    const Settings defaults{};
    Json line = JsonLine();
    AddJsonName(line, "store", SettingsStorePath());
    Json options = Json::array();
    for (const OptionBinding& b : OptionBindings())
        options.push_back({{"name", b.name},
                           {"readableName", b.readable},
                           {"kind", OptionKindName(b.kind)},
                           {"value", JsonValue(settings, b)},
                           {"default", JsonValue(defaults, b)}});
    line["options"] = std::move(options);
    out << JsonLineText(line) << "\n";
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

int CmdSettings(CliContext& ctx, const SettingsArgs& r, std::ostream& out, std::ostream&) {
    const bool writesStore = r.importPath || !r.sets.empty();
    // The store gets what the Options window's OK would write; one-run overrides stay out of it.
    Settings stored = ctx.stored;
    std::string report;
    if (r.importPath) {
        const std::string path = r.importPath->empty() ? DefaultSettingsFilePath() : *r.importPath;
        if (!FileExists(path))
            throw VelmoraError(path + " not found");
        const int found = ImportSettingsFile(path, stored);
        report += "Imported " + std::to_string(found) + " options from " + path + "\n";
    }
    for (const std::string& s : r.sets) {
        AssignOption(stored, s);
        const OptionBinding* b = FindOptionByAnyName(s.substr(0, s.find('=')));
        report += std::string(b->name) + " = " + FormatOptionValue(stored, *b) + "\n";
    }
    if (writesStore) {
        SaveStoredSettings(stored, SettingsStorePath());
        out << report << "Wrote " << SettingsStorePath() << "\n";
    }

    Settings effective = stored;
    for (const std::string& o : ctx.overrides)
        ApplyOptionAssignment(effective, o);
    if (r.exportPath) {
        const std::string path = r.exportPath->empty() ? DefaultSettingsFilePath() : *r.exportPath;
        ExportSettingsFile(effective, path);
        out << "Exported to " << path << "\n";
    }
    if (writesStore || r.exportPath)
        return 0;
    if (r.json)
        PrintJson(effective, out);
    else
        PrintTable(effective, out);
    return 0;
}

} // namespace velmora::cli
