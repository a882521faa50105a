#include "UnitIni.h"

#include "UnitAtomicFile.h"

#include <utility>

namespace velmora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string OneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IniNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::string IniReadValue(std::string_view raw) {
    std::string_view v = TrimBlanks(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > IniFile::kMaxIniValue)
        v = v.substr(0, IniFile::kMaxIniValue);
    return std::string(v);
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    std::vector<Line>* target = &ini.m_preamble;
    while (!text.empty()) {
        // CR LF, LF and a lone CR all end a line, so no value can hold a line break.
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end != std::string_view::npos && text[end] == '\r' && next < text.size() &&
            text[next] == '\n')
            ++next;
        text.remove_prefix(next);
        const std::string_view body = TrimBlanks(line);
        if (!body.empty() && body.front() == '[') {
            const std::size_t close = body.find(']');
            Section s;
            s.name = std::string(TrimBlanks(body.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            ini.m_sections.push_back(std::move(s));
            target = &ini.m_sections.back().lines;
            continue;
        }
        Line l;
        l.raw = std::string(line);
        const std::size_t eq = body.find('=');
        if (!body.empty() && body.front() != ';' && eq != std::string_view::npos &&
            !TrimBlanks(body.substr(0, eq)).empty()) {
            l.key = std::string(TrimBlanks(body.substr(0, eq)));
            l.value = std::string(line.substr(line.find('=') + 1));
        }
        target->push_back(std::move(l));
    }
    return ini;
}

IniFile IniFile::Load(const std::string& path) {
    const std::optional<std::string> text = ReadWholeFile(path);
    return text ? Parse(*text) : IniFile{};
}

std::string IniFile::Render() const {
    std::string out;
    auto put = [&out](const std::vector<Line>& lines) {
        for (const Line& l : lines) {
            out += l.edited ? l.key + "=" + l.value : l.raw;
            out += '\n';
        }
    };
    put(m_preamble);
    for (const Section& s : m_sections) {
        out += "[" + s.name + "]\n";
        put(s.lines);
    }
    return out;
}

void IniFile::Save(const std::string& path) const {
    ReplaceFileAtomically(path, Render());
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    for (const Section& s : m_sections)
        if (IniNamesEqual(s.name, name))
            return &s;
    return nullptr;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

std::optional<std::string> IniFile::GetRaw(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (!s)
        return std::nullopt;
    for (const Line& l : s->lines)
        if (!l.key.empty() && IniNamesEqual(l.key, key))
            return l.value;
    return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    std::optional<std::string> raw = GetRaw(section, key);
    if (!raw)
        return std::nullopt;
    return IniReadValue(*raw);
}

std::string IniFile::Get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
    std::optional<std::string> v = Get(section, key);
    return v ? *v : std::string(fallback);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s) {
        std::vector<Line>& before = m_sections.empty() ? m_preamble : m_sections.back().lines;
        if (!before.empty() &&
            !(before.back().key.empty() && TrimBlanks(before.back().raw).empty()))
            before.push_back(Line{});
        Section fresh;
        fresh.name = OneLine(section);
        m_sections.push_back(std::move(fresh));
        s = &m_sections.back();
    }
    for (Line& l : s->lines) {
        if (!l.key.empty() && IniNamesEqual(l.key, key)) {
            l.value = OneLine(value);
            l.edited = true;
            return;
        }
    }
    // New keys go after the section's last entry, ahead of the blank lines that part sections.
    std::size_t at = s->lines.size();
    while (at > 0 && s->lines[at - 1].key.empty() && TrimBlanks(s->lines[at - 1].raw).empty())
        --at;
    Line l;
    l.key = OneLine(key);
    l.value = OneLine(value);
    l.edited = true;
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
}

bool IniFile::Erase(std::string_view section, std::string_view key) {
    Section* s = FindSection(section);
    if (!s)
        return false;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it) {
        if (!it->key.empty() && IniNamesEqual(it->key, key)) {
            s->lines.erase(it);
            return true;
        }
    }
    return false;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const Section& s : m_sections) {
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || IniNamesEqual(n, s.name);
        if (!seen)
            names.push_back(s.name);
    }
    return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const Section* s = FindSection(section);
    if (!s)
        return keys;
    for (const Line& l : s->lines) {
        if (l.key.empty())
            continue;
        bool seen = false;
        for (const std::string& k : keys)
            seen = seen || IniNamesEqual(k, l.key);
        if (!seen)
            keys.push_back(l.key);
    }
    return keys;
}

} // namespace velmora
