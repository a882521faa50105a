#include "UnitQtTranslations.h"

#include "UnitIni.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <utility>

namespace velmora {

namespace {

constexpr const char* kButtonsSection = "StandardButtons";
// The language file's keys and the texts Qt's standard buttons are made from.
constexpr std::pair<const char*, const char*> kButtonTexts[] = {
    {"OK", "OK"},          {"Cancel", "Cancel"}, {"Yes", "&Yes"},    {"No", "&No"},
    {"Open", "Open"},      {"Save", "Save"},     {"Close", "Close"}, {"Abort", "Abort"},
    {"Retry", "Retry"},    {"Ignore", "Ignore"}, {"Apply", "Apply"}, {"Help", "Help"},
    {"Discard", "Discard"}};

// The names language files have that are not Qt's English names of the language.
constexpr std::pair<const char*, QLocale::Language> kOwnNames[] = {
    {"Nederlands", QLocale::Dutch},
    {"Magyar", QLocale::Hungarian},
    {"Turkce", QLocale::Turkish},
    {"Chinese_Simplified", QLocale::Chinese},
    {"Chinese_Traditional", QLocale::Chinese}};

// The standard buttons' texts as the language file gives them.
class LanguageFileButtons final : public QTranslator {
public:
    explicit LanguageFileButtons(QHash<QString, QString> texts) : m_texts(std::move(texts)) {}
    bool isEmpty() const override { return m_texts.isEmpty(); }
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (qstrcmp(context, "QPlatformTheme") != 0 && qstrcmp(context, "QDialogButtonBox") != 0)
            return {};
        return m_texts.value(QString::fromUtf8(sourceText));
    }

private:
    QHash<QString, QString> m_texts;
};

// What the last call installed, removed by the next.
struct Installed {
    QTranslator* qt = nullptr;
    QTranslator* buttons = nullptr;
};

Installed& Current() {
    static Installed installed;
    return installed;
}

void Remove(QTranslator*& translator) {
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

} // namespace

std::optional<QLocale> LocaleOfLanguage(const std::string& language) {
    const QString name = QString::fromStdString(language);
    if (name.compare(QLatin1String("English"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    if (name.compare(QLatin1String("Chinese_Traditional"), Qt::CaseInsensitive) == 0)
        return QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan);
    for (const auto& [own, qtLanguage] : kOwnNames)
        if (name.compare(QLatin1String(own), Qt::CaseInsensitive) == 0)
            return QLocale(qtLanguage);
    for (int l = QLocale::AnyLanguage + 1; l <= QLocale::LastLanguage; ++l) {
        const auto qtLanguage = static_cast<QLocale::Language>(l);
        if (QLocale::languageToString(qtLanguage).compare(name, Qt::CaseInsensitive) == 0)
            return QLocale(qtLanguage);
    }
    return std::nullopt;
}

bool InstallQtTranslations(const std::string& language, const IniFile& ini, const QString& folder) {
    Installed& installed = Current();
    Remove(installed.buttons);
    Remove(installed.qt);
    bool found = false;
    if (const std::optional<QLocale> locale = LocaleOfLanguage(language)) {
        auto* qt = new QTranslator;
        const QString from =
            folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
        found = qt->load(*locale, QStringLiteral("qtbase"), QStringLiteral("_"), from);
        if (found && QCoreApplication::installTranslator(qt))
            installed.qt = qt;
        else
            delete qt;
    }
    QHash<QString, QString> texts;
    for (const auto& [key, source] : kButtonTexts)
        if (const std::optional<std::string> value = ini.Get(kButtonsSection, key))
            texts.insert(QString::fromUtf8(source), QString::fromStdString(*value));
    if (!texts.isEmpty()) {
        // The last translator installed is asked first.
        installed.buttons = new LanguageFileButtons(std::move(texts));
        QCoreApplication::installTranslator(installed.buttons);
    }
    return found;
}

} // namespace velmora
