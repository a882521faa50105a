#include "UnitSettingsFile.h"

#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace velmora {

std::optional<std::int32_t> IniSectionStore::ReadInteger(std::string_view name) const {
    const std::optional<std::string> text = m_ini.Get(m_section, name);
    return text ? ParseDecimal(*text) : std::nullopt;
}

std::optional<std::string> IniSectionStore::ReadString(std::string_view name) const {
    return m_ini.Get(m_section, name);
}

void IniSectionStore::WriteInteger(std::string_view name, std::int32_t value) {
    m_ini.Set(m_section, name, std::to_string(value));
}

void IniSectionStore::WriteString(std::string_view name, std::string_view value) {
    m_ini.Set(m_section, name, value);
}

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        throw VelmoraError(std::string(std::strerror(errno)) + " - Cannot find the program folder");
    const std::string exe(buffer, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

std::string WritableProgramFolder(const std::string& programFolder,
                                  const std::string& storeFolder) {
    const std::string& folder =
        ::access(programFolder.c_str(), W_OK) == 0 ? programFolder : storeFolder;
    return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

std::string DefaultSettingsFilePath() {
    return SettingsFilePath(WritableProgramFolder(ProgramFolder(), SettingsStoreFolder()));
}

std::string SettingsFilePath(const std::string& programFolder) {
    return programFolder + "Velmora.ini";
}

void ExportSettingsFile(const Settings& settings, const std::string& path) {
    IniFile ini = IniFile::Load(path);
    IniSectionStore store(ini, kSettingsFileSection);
    WriteSettings(settings, store);
    ini.Save(path);
}

int ImportSettingsFile(const std::string& path, Settings& settings) {
    IniFile ini = IniFile::Load(path);
    IniSectionStore store(ini, kSettingsFileSection);
    Settings imported = settings;
    const std::vector<std::string> refused = ReadSettings(store, imported);
    if (!refused.empty()) {
        std::string text = "Nothing was imported from " + path + ":";
        for (const std::string& line : refused)
            text += "\n" + line;
        throw VelmoraError(text);
    }
    settings = std::move(imported);
    int found = 0;
    for (const OptionBinding& b : OptionBindings())
        found += ini.GetRaw(kSettingsFileSection, b.name) ? 1 : 0;
    return found;
}

} // namespace velmora
