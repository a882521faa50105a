// libFuzzer target: any store or INI text reads without fault, and what is read renders to a
// text that reads back the same, so a rewritten store never loses or alters what it holds.
#include "UnitIni.h"
#include "UnitRegistryStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const RegistryStore store = RegistryStore::Parse(text);
    const std::string rendered = store.Render();
    if (RegistryStore::Parse(rendered).Render() != rendered)
        std::abort();
    velmora::Settings settings;
    ReadSettings(store, settings);
    if (settings.EditID3Track.size() > kMaxStoredText)
        std::abort();

    const IniFile ini = IniFile::Parse(text);
    const IniFile again = IniFile::Parse(ini.Render());
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section))
            if (ini.Get(section, key) != again.Get(section, key))
                std::abort();
    return 0;
}
