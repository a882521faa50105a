#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A profile-style INI text: "[Section]" lines and "Key=Value" entries. Section and key names
// match regardless of ASCII case. Values are stored verbatim; the reading rules (blanks around
// the value dropped, one pair of enclosing quotes removed, at most kMaxIniValue characters) are
// applied by Get. Comments, blank lines and lines that are not entries are kept in place, so a
// file that is read, changed and written keeps everything it did not change.
class IniFile {
public:
    static constexpr std::size_t kMaxIniValue = 2047;

    static IniFile Parse(std::string_view text);
    // A missing file gives an empty INI; other failures throw VelmoraError.
    static IniFile Load(const std::string& path);

    std::string Render() const;
    // Replaces the file atomically, creating it when missing.
    void Save(const std::string& path) const;

    // The value as read by the reading rules, or nullopt when the section or key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view fallback) const;
    // The value exactly as it stands in the file.
    std::optional<std::string> GetRaw(std::string_view section, std::string_view key) const;

    // Writes the value verbatim; line breaks in it become blanks so the file stays line-based.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    bool Erase(std::string_view section, std::string_view key);

    bool HasSection(std::string_view section) const;
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

private:
    struct Line {
        std::string key; // empty for a line that is not an entry
        std::string value;
        std::string raw; // the line as read, written back while the entry is unchanged
        bool edited = false;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    const Section* FindSection(std::string_view name) const;
    Section* FindSection(std::string_view name);

    std::vector<Line> m_preamble; // lines before the first section
    std::vector<Section> m_sections;
};

// The reading rules for one raw value.
std::string IniReadValue(std::string_view raw);
bool IniNamesEqual(std::string_view a, std::string_view b);
// Without the blanks and tabs at both ends.
std::string_view TrimBlanks(std::string_view s);

} // namespace velmora
