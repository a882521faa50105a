#include "EditorTestUtil.h"

#include "UnitIni.h"
#include "UnitQtTranslations.h"

#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string TextOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteTextFile(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The editor with Qt's real message boxes.
class QtTranslationsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        settings.CheckBoxAskBeforeExiting = true;
        window = std::make_unique<TFormMain>(settings, qtDialogs, shell);
        window->show();
    }
    void TearDown() override {
        InstallQtTranslations("English", IniFile());
        EditorTest::TearDown();
    }
    // The captions of the exit question's Yes and No; the question is answered No.
    std::pair<QString, QString> ExitQuestionButtons() {
        std::pair<QString, QString> captions;
        QTimer::singleShot(0, window.get(), [&captions] {
            QMessageBox* box = nullptr;
            ASSERT_TRUE(WaitUntil([&] {
                box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return box != nullptr;
            }));
            captions = {box->button(QMessageBox::Yes)->text(),
                        box->button(QMessageBox::No)->text()};
            box->button(QMessageBox::No)->click();
        });
        window->close();
        EXPECT_TRUE(window->isVisible()) << "No keeps the editor open";
        return captions;
    }
    static std::string Shipped(const char* language) {
        return std::string(VELMORA_TEST_DATA_DIR) + "/../../languages/" + language + ".Velmora.ini";
    }

    QtDialogs qtDialogs;
};

bool QtTranslationsInstalled() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    return QFile::exists(folder + "/qtbase_de.qm") && QFile::exists(folder + "/qtbase_fr.qm");
}

} // namespace

// The standard buttons follow the language file: Qt's translation for its language, the file's
// own [StandardButtons] texts above it, and Qt's English for a language Qt does not know.
TEST_F(QtTranslationsTest, TheExitQuestionsButtonsSpeakTheLanguageFilesLanguage) {
    if (!QtTranslationsInstalled())
        GTEST_SKIP() << "Qt's translations (Debian qt6-translations-l10n) are not installed";
    WriteTextFile(files.File("German.Velmora.ini"),
                  TextOf(Shipped("German")) + "\n[StandardButtons]\nYes=&Jawohl\n");
    WriteTextFile(files.File("Klingon.Velmora.ini"), "[FormMain]\nMenuOpen=&poS\n");
    const struct {
        std::string file;
        const char* yes;
        const char* no;
    } cases[] = {
        {Shipped("German"), "&Ja", "&Nein"},
        {Shipped("French"), "&Oui", "&Non"},
        {files.File("German.Velmora.ini"), "&Jawohl", "&Nein"},
        {files.File("Klingon.Velmora.ini"), "&Yes", "&No"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        window->LoadLanguageFile(c.file);
        const auto [yes, no] = ExitQuestionButtons();
        EXPECT_EQ(yes, QString::fromUtf8(c.yes));
        EXPECT_EQ(no, QString::fromUtf8(c.no));
    }
    // The language file's own captions survive Qt's retranslation.
    window->LoadLanguageFile(Shipped("German"));
    EXPECT_EQ(Menu("MenuOpen")->text(), QStringLiteral("&Öffnen"));
}

TEST(QtTranslations, LanguageNamesMapToQtLocales) {
    const struct {
        const char* language;
        std::optional<QLocale::Language> locale;
    } cases[] = {{"German", QLocale::German},
                 {"french", QLocale::French},
                 {"Nederlands", QLocale::Dutch},
                 {"Magyar", QLocale::Hungarian},
                 {"Turkce", QLocale::Turkish},
                 {"Chinese_Traditional", QLocale::Chinese},
                 {"English", std::nullopt},
                 {"Klingon", std::nullopt},
                 {"", std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        const std::optional<QLocale> locale = LocaleOfLanguage(c.language);
        ASSERT_EQ(locale.has_value(), c.locale.has_value());
        if (locale) {
            EXPECT_EQ(locale->language(), *c.locale);
        }
    }
}

// A folder without Qt's translations leaves Qt's English, with no error.
TEST(QtTranslations, AMissingTranslationLeavesEnglish) {
    TempDir empty;
    EXPECT_FALSE(InstallQtTranslations("German", IniFile(), QString::fromStdString(empty.path())));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
    const IniFile ours = IniFile::Parse("[StandardButtons]\nNo=&Nee\n");
    InstallQtTranslations("German", ours, QString::fromStdString(empty.path()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&Nee"));
    InstallQtTranslations("English", IniFile());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&No"));
}
