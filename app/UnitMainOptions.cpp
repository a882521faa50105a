// The Options command, the settings file keys and the language files of the editor's windows.
#include "UnitMain.h"

#include "AccessibleNames.h"
#include "TSpinEdit.h"
#include "UnitAbout.h"
#include "UnitAdvancedInfo.h"
#include "UnitBatchWindow.h"
#include "UnitLanguage.h"
#include "UnitLanguageUi.h"
#include "UnitLanguageWindow.h"
#include "UnitOptionsForm.h"
#include "UnitQtTranslations.h"
#include "UnitRegistryStore.h"
#include "UnitSettingsFile.h"
#include "UnitSilence.h"
#include "UnitStatusLine.h"
#include "UnitTags.h"
#include "UnitWaveformPanel.h"
#include "UrlLabel.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QToolTip>

#include <cstdio>

using namespace velmora;

namespace {

constexpr const char* kEnglishFileName = "English.Velmora.ini";

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

namespace velmora {} // namespace velmora

void TFormMain::CreateOptionsWindows() {
    std::vector<std::string> genres(GenreTable.begin(), GenreTable.end());
    m_options = new TFormOptions(m_settings, std::move(genres), this);
    m_options->setStoreWriter(
        [](const Settings& settings) { SaveStoredSettings(settings, SettingsStorePath()); });
    m_options->setErrorReporter([this](const QString& text) {
        m_dialogs.Message(m_options, IDialogs::Kind::Error, QStringLiteral("Velmora"),
                          ErrorBoxText(text));
    });
    LanguageWindowHooks hooks;
    hooks.currentLanguage = [this] { return m_currentLanguage; };
    hooks.load = [this](const std::string& path) { LoadLanguageFile(path); };
    hooks.exportEnglish = [this](const std::string& path) { ExportEnglishFile(path); };
    hooks.showError = [this](const QString& text) {
        m_dialogs.Message(m_language, IDialogs::Kind::Error, QStringLiteral("Velmora"), text);
    };
    hooks.storeLanguage = [](const std::string& language) {
        const std::string path = SettingsStorePath();
        RegistryStore store = RegistryStore::Load(path);
        store.WriteString("Language", language);
        store.Save(path);
    };
    m_language = new TFormLanguage(std::move(hooks), this);
    m_batchWindow = new TFormBatch(this);
    m_language->SetDataFolder(InstalledLanguageFolder(ProgramFolderPath()));
    for (QWidget* window : {static_cast<QWidget*>(m_options), static_cast<QWidget*>(m_language),
                            static_cast<QWidget*>(m_batchWindow)})
        NameControls(window);
    m_options->setLanguageAction([this] {
        m_language->SetFolder(WritableFolder());
        m_language->exec();
    });
}

std::string TFormMain::ProgramFolderPath() const {
    return m_programFolder.empty() ? ProgramFolder() : m_programFolder;
}

std::string TFormMain::WritableFolder() const {
    return WritableProgramFolder(ProgramFolderPath(), SettingsStoreFolder());
}

void TFormMain::MenuOptionsClick() {
    // The options can read the file again and replace the model a running write works on.
    if (!Allowed(EditorCommand::Options)) {
        m_shell.Beep();
        return;
    }
    DeletePreviewFiles();
    const int aggressivity = m_settings.RadioGroupTrimAggressivity;
    if (m_options->exec() == QDialog::Accepted) {
        ApplyWindowOptions();
        if (FileIsOpen() && m_settings.RadioGroupTrimAggressivity != aggressivity)
            ReadSourceFileAgain();
    }
    RefreshTimeReadouts();
    UpdateDiskSpaceSavingDisplay();
}

void TFormMain::ReadSourceFileAgain() {
    const std::string path = m_sourcePath;
    ReadSourceFile(path);
    ApplyAutoTrim();
}

bool TFormMain::OptionsKeyPress(QKeyEvent* key, Qt::KeyboardModifiers modifiers) {
    const bool shiftAlone = modifiers == Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_F10:
        RunCommand([this] { MenuOptionsClick(); });
        return true;
    case Qt::Key_F5:
        if (!shiftAlone)
            return false;
        RunCommand([this] { ExportSettingsFile(m_settings, SettingsFilePath(WritableFolder())); });
        return true;
    case Qt::Key_F6:
        if (shiftAlone)
            RunCommand(
                [this] { ImportSettingsFile(SettingsFilePath(WritableFolder()), m_settings); });
        return shiftAlone;
    case Qt::Key_F12:
        if (shiftAlone)
            RunCommand([this] { ExportEnglishFile(WritableFolder() + kEnglishFileName); });
        return shiftAlone;
    default:
        return false;
    }
}

void TFormMain::LoadLanguageFile(const std::string& path) {
    const IniFile ini = ReadLanguageFile(path);
    const LanguageFont chosen = ReadLanguageFont(
        ini, {font().family().toStdString(), std::max(font().pointSize(), kMinFontSize)});
    const QFont qfont(Text(chosen.name), chosen.pointSize);
    QToolTip::setFont(qfont);
    // Qt's standard buttons and dialogs follow the language; Qt retranslates its widgets on the
    // change, so that happens before the file's own texts are applied.
    InstallQtTranslations(LanguageFromPath(path), ini);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    ApplyLanguageToWindow(ini, this, qfont, true);
    for (auto& [key, text] :
         {std::pair<const char*, QString*>{"OpenDialogTitle", &m_openDialogTitle},
          {"SaveDialogTitle", &m_saveDialogTitle},
          {"BatchDialogTitle", &m_batchDialogTitle},
          {"OpenDialogFilter", &m_openDialogFilter},
          {"SaveDialogFilterM", &m_saveDialogFilter},
          {"BitBtnTestBeginHint", &m_testBeginHint},
          {"BitBtnTestEndHint", &m_testEndHint}})
        if (const std::optional<std::string> value = ini.Get(kMainSection, key))
            *text = Text(*value);
    ReadMessageTable(ini, m_messages);
    StatusLine->ReadTexts(ini);
    m_waveformPanel->ReadTexts(ini);
    // Before the first show the "no file" state fills the box from the table.
    if (!FileIsOpen() && m_activated)
        EditName->setText(Text(MessageOr(m_messages, kMsgNoFileOpened, "- no file opened -")));
    for (QWidget* window : {static_cast<QWidget*>(m_options), static_cast<QWidget*>(m_advancedInfo),
                            static_cast<QWidget*>(m_about), static_cast<QWidget*>(m_batchWindow)}) {
        ApplyLanguageToWindow(ini, window, qfont, false);
        NameControls(window);
    }
    ApplyWindowOptions(); // the preview buttons' hints, and the names made from the new texts
    // Longer menu captions widen the window rather than hide the last items.
    int menuWidth = 0;
    const QFontMetrics metrics(menuBar()->font());
    for (const QAction* item : menuBar()->actions())
        menuWidth += metrics.horizontalAdvance(QString(item->text()).remove(u'&')) +
                     metrics.averageCharWidth() * 2 + 4;
    if (auto* column = qobject_cast<QBoxLayout*>(centralWidget()->layout()))
        column->addStrut(menuWidth);
    // A longer translated description scrolls instead of being cut.
    if (auto* memo = m_about->findChild<QPlainTextEdit*>(QStringLiteral("MemoDescription")))
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_currentLanguage = LanguageFromPath(path);
}

void TFormMain::ExportEnglishFile(const std::string& path) {
    IniFile ini = IniFile::Load(path);
    ini.Set(kGlobalSection, "FontName", font().family().toStdString());
    ini.Set(kGlobalSection, "FontSize", std::to_string(font().pointSize()));
    WriteWindowLanguage(ini, this, true);
    ini.Set(kMainSection, "OpenDialogTitle", m_openDialogTitle.toStdString());
    ini.Set(kMainSection, "SaveDialogTitle", m_saveDialogTitle.toStdString());
    ini.Set(kMainSection, "BatchDialogTitle", m_batchDialogTitle.toStdString());
    ini.Set(kMainSection, "OpenDialogFilter", m_openDialogFilter.toStdString());
    ini.Set(kMainSection, "SaveDialogFilterM", m_saveDialogFilter.toStdString());
    WriteMessageTable(m_messages, ini);
    StatusLine->WriteTexts(ini);
    m_waveformPanel->WriteTexts(ini);
    for (QWidget* window : {static_cast<QWidget*>(m_options), static_cast<QWidget*>(m_advancedInfo),
                            static_cast<QWidget*>(m_about), static_cast<QWidget*>(m_batchWindow)})
        WriteWindowLanguage(ini, window, false);
    if (const auto* link = m_about->findChild<TUrlLabel*>(QStringLiteral("UrlLabelMainURL")))
        ini.Set("FormAbout", "UrlLabelCopy", link->copyAction()->text().toStdString());
    ini.Save(path);
}

std::string TFormMain::PreferredLanguage() const {
    try {
        if (std::optional<std::string> chosen =
                RegistryStore::Load(SettingsStorePath()).ReadString("Language");
            chosen && !chosen->empty())
            return *chosen;
    } catch (const std::exception&) {
        // An unreadable store leaves the desktop's language.
    }
    return QLocale::languageToString(QLocale().language()).toStdString();
}

void TFormMain::StartUpLanguage(bool languagesPrompt) {
    std::vector<std::string> paths = LanguageCandidates(LanguageFolders(
        QDir::currentPath().toStdString(), ProgramFolderPath(), SettingsStoreFolder()));
    paths.push_back(InstalledLanguageFolder(ProgramFolderPath()) + PreferredLanguage() +
                    kLanguageExtension);
    for (const std::string& path : paths) {
        if (!QFile::exists(QString::fromStdString(path)))
            continue;
        try {
            QElapsedTimer clock;
            clock.start();
            LoadLanguageFile(path);
            m_languageLoadUs = clock.nsecsElapsed() / 1000;
            break;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora: language file ignored: %s\n", e.what());
        }
    }
    if (!languagesPrompt)
        return;
    RunLanguagesPrompt(
        SettingsStorePath(), QLocale().language(),
        [this] {
            return m_dialogs.AskYesNo(this, QStringLiteral("Velmora"),
                                      QString::fromUtf8(kLanguagesPromptText)) ==
                   IDialogs::Answer::Yes;
        },
        [this] { m_shell.OpenUrl(LanguageSiteUrl(QStringLiteral("/VelmoraLocalization.html"))); });
}
