#pragma once

#include <QDialog>
#include <QLocale>
#include <QUrl>

#include <functional>
#include <string>

class QComboBox;
class QStatusBar;

namespace velmora {

inline constexpr const char* kLanguagesPromptText =
    "Velmora is available in many languages (Hungarian, Japanese, Polish, German, French, "
    "Italian, Russian, Spanish, Czech, Chinese, Bulgarian, Swedish...)\n\nDo you want more "
    "information (you will need Internet access) ?";

// The product's web site: the build's address unless $VELMORA_LANGUAGE_URL names another.
QUrl LanguageSiteUrl(const QString& path);

// Counts the start in "LocaleMessageCounter" of the store at `storePath`; on the sixth start
// with a language other than English, `ask` runs, and `openPage` when it says yes. A store that
// cannot be read or written costs the prompt, never the start. True when it asked.
bool RunLanguagesPrompt(const std::string& storePath, QLocale::Language language,
                        const std::function<bool()>& ask, const std::function<void()>& openPage);

// What the language window needs from the editor.
struct LanguageWindowHooks {
    std::function<std::string()> currentLanguage;
    // Loads a language file into every window; throws on failure.
    std::function<void(const std::string& path)> load;
    std::function<void(const std::string& path)> exportEnglish;
    std::function<void(const QString& text)> showError;
    // Remembers the chosen language in the settings store.
    std::function<void(const std::string& language)> storeLanguage;
};

inline constexpr int kDownloadTimeoutMs = 15000;

} // namespace velmora

// Picks one of the interface languages; a file that is not in the folder yet is downloaded
// from the web site first, then loaded.
class TFormLanguage final : public QDialog {
    Q_OBJECT

public:
    static const QStringList& Languages();

    explicit TFormLanguage(velmora::LanguageWindowHooks hooks, QWidget* parent = nullptr);

    // Where language files are kept and downloaded to (ends in "/").
    void SetFolder(std::string folder) { m_folder = std::move(folder); }
    // Where the shipped language files are: a language found there is not downloaded.
    void SetDataFolder(std::string folder) { m_dataFolder = std::move(folder); }
    void SetDownloadTimeout(int ms) { m_timeoutMs = ms; }
    QString StatusText() const;
    // The user's choice of item `index`, as when picked from the list.
    void ComboBoxLanguageChange(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool Download(const QUrl& url, const std::string& path);

    velmora::LanguageWindowHooks m_hooks;
    std::string m_folder;
    std::string m_dataFolder;
    std::string m_createdEnglishFile; // deleted when the window is left, if this window wrote it
    int m_timeoutMs = velmora::kDownloadTimeoutMs;
    QComboBox* ComboBoxLanguage = nullptr;
    QStatusBar* StatusBar = nullptr;
};
