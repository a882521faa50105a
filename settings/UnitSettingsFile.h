#pragma once

#include "UnitIni.h"
#include "UnitSettingsStore.h"

#include <string>

namespace velmora {

// One section of an INI file seen as a settings store: integers as decimal text, texts as they
// are.
class IniSectionStore final : public ISettingsStore {
public:
    IniSectionStore(IniFile& ini, std::string section)
        : m_ini(ini), m_section(std::move(section)) {}

    std::optional<std::int32_t> ReadInteger(std::string_view name) const override;
    std::optional<std::string> ReadString(std::string_view name) const override;
    void WriteInteger(std::string_view name, std::int32_t value) override;
    void WriteString(std::string_view name, std::string_view value) override;

private:
    IniFile& m_ini;
    std::string m_section;
};

inline constexpr const char* kSettingsFileSection = "Velmora";

// The folder of the running executable with a trailing "/".
std::string ProgramFolder();
// Where the program writes Velmora.ini and downloaded language files: its own folder when it
// can write there (an installed program's folder is read-only), else the settings store's
// folder; both with a trailing "/".
std::string WritableProgramFolder(const std::string& programFolder, const std::string& storeFolder);
// `<programFolder>Velmora.ini`.
std::string SettingsFilePath(const std::string& programFolder);

// Velmora.ini in the writable program folder of the running program.
std::string DefaultSettingsFilePath();

// Writes every stored option into section [Velmora] of the file; other content stays.
void ExportSettingsFile(const Settings& settings, const std::string& path);
// Reads the options the file holds into the fields; a missing file or key leaves them as they
// are. Returns how many options the file held. A file holding any value the check refuses is
// refused whole: VelmoraError with "Nothing was imported from PATH:" and every refusal text,
// one a line, and the fields stay as they were.
int ImportSettingsFile(const std::string& path, Settings& settings);

} // namespace velmora
