#include "UnitRegistryStore.h"

#include "UnitAtomicFile.h"
#include "UnitIni.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";

bool HasControlBytes(std::string_view s) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return true;
    }
    return false;
}

// A quoted text with \\ and \" escapes starting at s[0] == '"'; advances `s` past it.
std::optional<std::string> TakeQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"')
        return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseDword(std::string_view s) {
    constexpr std::string_view kPrefix = "dword:";
    if (s.size() <= kPrefix.size() || !IniNamesEqual(s.substr(0, kPrefix.size()), kPrefix))
        return std::nullopt;
    s = TrimBlanks(s.substr(kPrefix.size()));
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : s) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<RegistryStore::Entry> ParseValueLine(std::string_view line) {
    std::optional<std::string> name = TakeQuoted(line);
    if (!name || name->empty())
        return std::nullopt;
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '=')
        return std::nullopt;
    line = TrimBlanks(line.substr(1));
    if (std::optional<std::uint32_t> dword = ParseDword(line))
        return RegistryStore::Entry{std::move(*name), *dword};
    std::optional<std::string> text = TakeQuoted(line);
    if (!text || !TrimBlanks(line).empty())
        return std::nullopt;
    return RegistryStore::Entry{std::move(*name), std::move(*text)};
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        // The format has no escape for a line break.
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out + "\"";
}

} // namespace

RegistryStore RegistryStore::Parse(std::string_view text) {
    RegistryStore store;
    bool inKey = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = TrimBlanks(line);
        if (line.empty() || HasControlBytes(line))
            continue;
        if (line.front() == '[') {
            inKey = line.back() == ']' && IniNamesEqual(line.substr(1, line.size() - 2), kKeyName);
            continue;
        }
        if (!inKey)
            continue;
        if (std::optional<Entry> entry = ParseValueLine(line))
            store.Set(entry->name, std::move(entry->value));
    }
    return store;
}

RegistryStore RegistryStore::Load(const std::string& path) {
    const std::optional<std::string> text = ReadWholeFile(path);
    return text ? Parse(*text) : RegistryStore{};
}

std::string RegistryStore::Render() const {
    std::string out(kHeader);
    out += "\n\n[";
    out += kKeyName;
    out += "]\n";
    for (const Entry& e : m_entries) {
        out += Quote(e.name);
        out += '=';
        if (const auto* dword = std::get_if<std::uint32_t>(&e.value)) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", *dword);
            out += buf;
        } else {
            out += Quote(std::get<std::string>(e.value));
        }
        out += '\n';
    }
    return out;
}

void RegistryStore::Save(const std::string& path) const {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeFolders(path.substr(0, slash));
    ReplaceFileAtomically(path, Render(), 0600);
}

const RegistryStore::Value* RegistryStore::Find(std::string_view name) const {
    for (const Entry& e : m_entries)
        if (IniNamesEqual(e.name, name))
            return &e.value;
    return nullptr;
}

void RegistryStore::Set(std::string_view name, Value value) {
    for (Entry& e : m_entries) {
        if (IniNamesEqual(e.name, name)) {
            e.value = std::move(value);
            return;
        }
    }
    m_entries.push_back(Entry{std::string(name), std::move(value)});
}

std::optional<std::int32_t> RegistryStore::ReadInteger(std::string_view name) const {
    const Value* v = Find(name);
    if (!v)
        return std::nullopt;
    if (const auto* dword = std::get_if<std::uint32_t>(v))
        return static_cast<std::int32_t>(*dword);
    return ParseDecimal(std::get<std::string>(*v));
}

std::optional<std::string> RegistryStore::ReadString(std::string_view name) const {
    const Value* v = Find(name);
    if (!v || !std::holds_alternative<std::string>(*v))
        return std::nullopt;
    return std::get<std::string>(*v);
}

void RegistryStore::WriteInteger(std::string_view name, std::int32_t value) {
    Set(name, static_cast<std::uint32_t>(value));
}

void RegistryStore::WriteString(std::string_view name, std::string_view value) {
    Set(name, std::string(value));
}

std::string SettingsStoreFolder() {
    if (const char* dir = std::getenv("VELMORA_CONFIG_DIR"); dir && *dir)
        return dir;
    // Relative XDG paths are invalid and must be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return std::string(xdg) + "/Velmora";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return home + "/.config/Velmora";
}

std::string SettingsStorePath() {
    return SettingsStoreFolder() + "/Velmora.reg";
}

Settings LoadStoredSettings(const std::string& path, std::vector<std::string>* refused) {
    Settings settings;
    LoadDefaults(settings);
    std::vector<std::string> texts = ReadSettings(RegistryStore::Load(path), settings);
    if (refused)
        *refused = std::move(texts);
    return settings;
}

void SaveStoredSettings(const Settings& settings, const std::string& path) {
    RegistryStore store = RegistryStore::Load(path);
    WriteSettings(settings, store);
    store.Save(path);
}

} // namespace velmora
