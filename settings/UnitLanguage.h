#pragma once

#include "UnitIni.h"
#include "UnitMessages.h"
#include "UnitSettingsFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A list in one value: items separated by commas, an item holding a blank, a control character,
// a quote or a comma enclosed in double quotes with inner quotes doubled.
std::vector<std::string> ReadCommaText(std::string_view text);
std::string WriteCommaText(const std::vector<std::string>& items);
// As the program writes a list into a language file: the comma text in one more pair of quotes.
std::string QuotedCommaText(const std::vector<std::string>& items);

inline constexpr const char* kMainSection = "FormMain";
inline constexpr const char* kGlobalSection = "Global";
inline constexpr const char* kLanguageExtension = ".Velmora.ini";
inline constexpr const char* kLegacyLanguageExtension = ".Velmora3.ini";
// A language file is never longer than this; the rest of a bigger file is not read.
inline constexpr std::size_t kMaxLanguageFileBytes = 1 << 20;

// The eleven dialog lists and MessageStrings from section FormMain; a missing key keeps the
// current text, and an empty item of the "MessageStrings" list keeps its entry.
void ReadMessageTable(const IniFile& ini, MessageTable& messages);
// The eleven lists as quoted comma text and MessageStrings0 … 16 one by one.
void WriteMessageTable(const MessageTable& messages, IniFile& ini);

// "French" for ".../French.Velmora.ini" (or the legacy ".Velmora3.ini"); throws VelmoraError
// "Unknown extension" for any other name.
std::string LanguageFromPath(std::string_view path);

// The font every translated window gets; the size is kept within what a dialog can show.
struct LanguageFont {
    std::string name;
    int pointSize = 9;
};
inline constexpr int kMinFontSize = 6;
inline constexpr int kMaxFontSize = 36;
LanguageFont ReadLanguageFont(const IniFile& ini, const LanguageFont& current);

// The language files worth trying at start-up, in order: in each folder (each ending in "/"),
// the "*.Velmora.ini" files, then the "*.Velmora3.ini" ones, by name. A missing folder gives none.
std::vector<std::string> LanguageCandidates(const std::vector<std::string>& folders);

// The installed data folder of language files beside an installed program.
std::string InstalledLanguageFolder(const std::string& programFolder);
// The folders whose first language file is taken, in order: the current directory, the program
// folder and the store's folder; repeated folders are dropped. The installed data folder holds
// every shipped language, so only the user's own language is taken from there.
std::vector<std::string> LanguageFolders(const std::string& currentFolder,
                                         const std::string& programFolder,
                                         const std::string& storeFolder);

} // namespace velmora
