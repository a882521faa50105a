#pragma once

#include "UnitIni.h"
#include "UnitLanguage.h"

#include <QByteArray>
#include <QFont>

#include <string>
#include <string_view>

class QWidget;

namespace velmora {

// A language file's text as UTF-8: the bytes as they are when they are valid UTF-8, otherwise
// decoded from the code page that belongs to `language` (windows-1252 when none does).
std::string DecodeLanguageText(const QByteArray& bytes, std::string_view language);

// Reads at most kMaxLanguageFileBytes of a language file and decodes it by the language in its
// name. Throws VelmoraError "<path> not found" when the file is missing.
IniFile ReadLanguageFile(const std::string& path);

// Texts of one window from its section (the window's objectName), by each control's
// objectName: captions, "<name>Hint" hints, "<name>Items" radio group items, menu items, tab
// captions, memo lines. Controls with an odd Tag below 8 keep their texts. A missing key keeps
// the current text.
void ApplyLanguageToWindow(const IniFile& ini, QWidget* window, const QFont& font, bool mainWindow);
// The same texts written out, so that applying them gives the window it came from.
void WriteWindowLanguage(IniFile& ini, QWidget* window, bool mainWindow);

} // namespace velmora
