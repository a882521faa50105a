#pragma once

#include <QLocale>
#include <QString>

#include <optional>
#include <string>

namespace velmora {
class IniFile;

// The Qt locale of a language file's language ("German", "Nederlands", "Chinese_Simplified");
// nothing for English and for names Qt does not know.
std::optional<QLocale> LocaleOfLanguage(const std::string& language);

// Qt's own texts (the standard buttons, the file dialogs) in `language`: Qt's translation from
// `folder` (by default Qt's translations folder), and above it the texts of the language file's
// [StandardButtons] section (Yes, No, OK, Cancel, ...), which win. Replaces what an earlier call
// installed. Without a Qt translation for the language, Qt's texts stay English. Returns whether
// a Qt translation was found.
bool InstallQtTranslations(const std::string& language, const IniFile& ini,
                           const QString& folder = QString());

} // namespace velmora
