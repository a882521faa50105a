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

constexpr const char* kUsage =
    "Usage: velmora-cli settings [--json]\n"
    "       velmora-cli settings [--import [PATH]] [--set NAME=VALUE]... [--export [PATH]]\n"
    "\n"
    "Without an action, lists every stored option by its name and its stored name, with its\n"
    "value and default. Either name is taken wherever an option is named.\n"
    "  --set NAME=VALUE  check the value as the Options window would and write it to the\n"
    "                    settings store (switches take on/off/true/false/-1/0/1)\n"
    "  --export [PATH]   write every option to the settings file (default: Velmora.ini in\n"
    "                    the program folder, or in the settings store's folder when the\n"
    "                    program folder is not writable), section [Velmora]\n"
    "  --import [PATH]   read the options the settings file holds and write them to the store\n"
    "  --json            list as JSON, on one line\n"
    "The store is $VELMORA_CONFIG_DIR/Velmora.reg, else $XDG_CONFIG_HOME/Velmora/Velmora.reg,\n"
    "else ~/.config/Velmora/Velmora.reg. --defaults starts from the defaults instead of the\n"
    "store; --option NAME=VALUE changes a value for this run only and is never written.\n";

struct Request {
    bool json = false;
    bool help = false;
    std::vector<std::string> sets;
    bool doExport = false;
    std::string exportPath;
    bool doImport = false;
    std::string importPath;
};

// Takes "--flag", "--flag=PATH" or "--flag PATH" (a following argument that is not an option).
bool TakePathFlag(const std::vector<std::string>& args, std::size_t& i, const std::string& flag,
                  bool& present, std::string& path) {
    if (args[i] == flag) {
        present = true;
        if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
            path = args[++i];
        return true;
    }
    if (args[i].rfind(flag + "=", 0) == 0) {
        present = true;
        path = args[i].substr(flag.size() + 1);
        return true;
    }
    return false;
}

Request ParseRequest(const std::vector<std::string>& args) {
    Request r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            r.json = true;
        } else if (a == "--help" || a == "-h") {
            r.help = true;
        } else if (a == "--set") {
            if (i + 1 >= args.size())
                throw VelmoraError("--set needs NAME=VALUE");
            r.sets.push_back(args[++i]);
        } else if (a.rfind("--set=", 0) == 0) {
            r.sets.push_back(a.substr(6));
        } else if (TakePathFlag(args, i, "--export", r.doExport, r.exportPath) ||
                   TakePathFlag(args, i, "--import", r.doImport, r.importPath)) {
            continue;
        } else {
            throw VelmoraError("settings: unexpected argument \"" + a + "\"");
        }
    }
    return r;
}

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

int CmdSettings(CliContext& ctx, std::ostream& out, std::ostream& err) {
    const Request r = ParseRequest(ctx.args);
    if (r.help) {
        out << kUsage;
        return 0;
    }
    const bool writesStore = r.doImport || !r.sets.empty();
    if (r.json && (writesStore || r.doExport)) {
        err << kUsage;
        return 2;
    }

    // The store gets what the Options window's OK would write; one-run overrides stay out of it.
    Settings stored = ctx.stored;
    std::string report;
    if (r.doImport) {
        const std::string path = r.importPath.empty() ? DefaultSettingsFilePath() : r.importPath;
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
    if (r.doExport) {
        const std::string path = r.exportPath.empty() ? DefaultSettingsFilePath() : r.exportPath;
        ExportSettingsFile(effective, path);
        out << "Exported to " << path << "\n";
    }
    if (writesStore || r.doExport)
        return 0;
    if (r.json)
        PrintJson(effective, out);
    else
        PrintTable(effective, out);
    return 0;
}

} // namespace velmora::cli
