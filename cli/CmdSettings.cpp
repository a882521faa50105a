#include "CliCommon.h"

#include "UnitOptionRules.h"
#include "UnitRegistryStore.h"
#include "UnitSettingsFile.h"
#include "VelmoraError.h"

#include <algorithm>
#include <ostream>
#include <sys/stat.h>

namespace velmora::cli {

namespace {

std::string JsonValue(const Settings& s, const OptionBinding& b) {
    if (b.kind == OptionKind::Text)
        return JsonString(GetText(s, b));
    if (b.kind == OptionKind::Switch)
        return GetStoredInt(s, b) != 0 ? "true" : "false";
    return std::to_string(GetStoredInt(s, b));
}

std::string ShownValue(const Settings& s, const OptionBinding& b) {
    const std::string v = FormatOptionValue(s, b);
    return b.kind == OptionKind::Text ? "\"" + v + "\"" : v;
}

void PrintTable(const Settings& settings, std::ostream& out) {
    const Settings defaults{};
    std::size_t nameWidth = 6, valueWidth = 5;
    for (const OptionBinding& b : OptionBindings()) {
        nameWidth = std::max(nameWidth, std::string_view(b.name).size());
        valueWidth = std::max(valueWidth, ShownValue(settings, b).size());
    }
    auto row = [&](const std::string& name, const std::string& value, const std::string& def) {
        out << name << std::string(nameWidth - name.size() + 2, ' ') << value
            << std::string(valueWidth - value.size() + 2, ' ') << def << "\n";
    };
    row("Option", "Value", "Default");
    for (const OptionBinding& b : OptionBindings())
        row(b.name, ShownValue(settings, b), ShownValue(defaults, b));
}

void PrintJson(const Settings& settings, std::ostream& out) {
    const Settings defaults{};
    out << "{\"store\": " << JsonString(SettingsStorePath()) << ", \"options\": [";
    bool first = true;
    for (const OptionBinding& b : OptionBindings()) {
        out << (first ? "\n" : ",\n") << "  {\"name\": " << JsonString(b.name)
            << ", \"kind\": " << JsonString(OptionKindName(b.kind))
            << ", \"value\": " << JsonValue(settings, b)
            << ", \"default\": " << JsonValue(defaults, b) << "}";
        first = false;
    }
    out << "\n]}\n";
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
        const OptionBinding* b = FindOptionNoCase(s.substr(0, s.find('=')));
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
