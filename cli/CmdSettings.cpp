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

constexpr const char* kUsage =
    "Usage: velmora-cli settings [--json]\n"
    "       velmora-cli settings [--import [PATH]] [--set NAME=VALUE]... [--export [PATH]]\n"
    "\n"
    "Without an action, lists every stored option with its value and default.\n"
    "  --set NAME=VALUE  check the value as the Options window would and write it to the\n"
    "                    settings store (switches take on/off/true/false/-1/0/1)\n"
    "  --export [PATH]   write every option to the settings file (default: Velmora.ini in\n"
    "                    the program folder, or in the settings store's folder when the\n"
    "                    program folder is not writable), section [Velmora]\n"
    "  --import [PATH]   read the options the settings file holds and write them to the store\n"
    "  --json            list as JSON\n"
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
