#pragma once

#include "UnitSettingsStore.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmora {

// The program's key of the user's settings store: typed values (32-bit DWORD or text) kept in a
// text file in REGEDIT4 syntax. Values the program does not know are kept and written back, so
// every part of the program can own its own values in the same store.
class RegistryStore final : public ISettingsStore {
public:
    static constexpr const char* kKeyName = "HKEY_CURRENT_USER\\Software\\Velmora";

    using Value = std::variant<std::uint32_t, std::string>;
    struct Entry {
        std::string name;
        Value value;
    };

    RegistryStore() = default;
    // Lines that are not values of the program's key are skipped, never refused.
    static RegistryStore Parse(std::string_view text);
    // A missing file gives an empty store; other failures throw VelmoraError.
    static RegistryStore Load(const std::string& path);

    std::string Render() const;
    // Creates the folder when missing and replaces the file atomically.
    void Save(const std::string& path) const;

    const Value* Find(std::string_view name) const;
    const std::vector<Entry>& Entries() const { return m_entries; }
    void Set(std::string_view name, Value value);

    // A DWORD as it is; a text parsed as a decimal integer.
    std::optional<std::int32_t> ReadInteger(std::string_view name) const override;
    std::optional<std::string> ReadString(std::string_view name) const override;
    void WriteInteger(std::string_view name, std::int32_t value) override;
    void WriteString(std::string_view name, std::string_view value) override;

private:
    std::vector<Entry> m_entries;
};

// The folder of the settings store: $VELMORA_CONFIG_DIR, else $XDG_CONFIG_HOME/Velmora, else
// ~/.config/Velmora.
std::string SettingsStoreFolder();
std::string SettingsStorePath(); // the folder + "/Velmora.reg"

// Start-up: the defaults, then whatever the store at `path` holds. A value the store holds but
// the check refuses keeps its default; its refusal text goes to `refused` when given.
Settings LoadStoredSettings(const std::string& path, std::vector<std::string>* refused = nullptr);
// The Options window's OK: every stored option into the store at `path`, other values kept.
void SaveStoredSettings(const Settings& settings, const std::string& path);

} // namespace velmora
