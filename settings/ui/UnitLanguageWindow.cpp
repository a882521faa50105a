#include "UnitLanguageWindow.h"

#include "UnitLanguage.h"
#include "UnitRegistryStore.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QStatusBar>

#include <cstdio>
#include <filesystem>

#ifndef VELMORA_LANGUAGE_URL
#define VELMORA_LANGUAGE_URL "http://velmora.example.org"
#endif

namespace velmora {

QUrl LanguageSiteUrl(const QString& path) {
    QString base =
        qEnvironmentVariable("VELMORA_LANGUAGE_URL", QStringLiteral(VELMORA_LANGUAGE_URL));
    while (base.endsWith(u'/'))
        base.chop(1);
    return QUrl(base + path);
}

bool RunLanguagesPrompt(const std::string& storePath, QLocale::Language language,
                        const std::function<bool()>& ask, const std::function<void()>& openPage) {
    int starts = 0;
    try {
        RegistryStore store = RegistryStore::Load(storePath);
        starts = store.ReadInteger("LocaleMessageCounter").value_or(0);
        store.WriteInteger("LocaleMessageCounter", starts == INT32_MAX ? starts : starts + 1);
        store.Save(storePath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: the start counter was not updated: %s\n", e.what());
        return false;
    }
    if (starts != 5 || language == QLocale::English || language == QLocale::C)
        return false;
    if (ask())
        openPage();
    return true;
}

} // namespace velmora

using namespace velmora;

const QStringList& TFormLanguage::Languages() {
    static const QStringList names = {"English",
                                      "Bulgarian",
                                      "Chinese_Simplified",
                                      "Chinese_Traditional",
                                      "Croatian",
                                      "Czech",
                                      "Danish",
                                      "Nederlands",
                                      "French",
                                      "German",
                                      "Hebrew",
                                      "Magyar",
                                      "Italian",
                                      "Japanese",
                                      "Korean",
                                      "Macedonian",
                                      "Polish",
                                      "Portuguese",
                                      "Russian",
                                      "Serbian",
                                      "Spanish",
                                      "Swedish",
                                      "Turkce",
                                      "Ukrainian"};
    return names;
}

TFormLanguage::TFormLanguage(LanguageWindowHooks hooks, QWidget* parent)
    : QDialog(parent), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("FormLanguage"));
    setWindowTitle(QStringLiteral("Velmora"));
    auto* column = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Select your language:"), this);
    label->setObjectName(QStringLiteral("LabelSelect"));
    column->addWidget(label);
    ComboBoxLanguage = new QComboBox(this);
    ComboBoxLanguage->setObjectName(QStringLiteral("ComboBoxLanguage"));
    ComboBoxLanguage->addItems(Languages());
    ComboBoxLanguage->setMaxVisibleItems(20);
    column->addWidget(ComboBoxLanguage);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    column->addWidget(StatusBar);
    column->setSizeConstraint(QLayout::SetFixedSize);
    connect(ComboBoxLanguage, &QComboBox::activated, this, &TFormLanguage::ComboBoxLanguageChange);
}

QString TFormLanguage::StatusText() const {
    return StatusBar->currentMessage();
}

void TFormLanguage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const std::string current = m_hooks.currentLanguage();
    const std::string english = m_folder + "English" + kLanguageExtension;
    // A user's own English file is never overwritten, nor deleted when the window is left.
    if (current == "English" && !std::filesystem::exists(english)) {
        try {
            m_hooks.exportEnglish(english);
            m_createdEnglishFile = english;
        } catch (const std::exception& e) {
            m_hooks.showError(QString::fromUtf8(e.what()));
        }
    }
    ComboBoxLanguage->setCurrentIndex(
        static_cast<int>(Languages().indexOf(QString::fromStdString(current))));
}

void TFormLanguage::hideEvent(QHideEvent* event) {
    if (!m_createdEnglishFile.empty()) {
        std::error_code ignored; // already gone is fine
        std::filesystem::remove(m_createdEnglishFile, ignored);
        m_createdEnglishFile.clear();
    }
    QDialog::hideEvent(event);
}

void TFormLanguage::ComboBoxLanguageChange(int index) {
    if (index < 0 || index >= Languages().size())
        return;
    const std::string language = Languages()[index].toStdString();
    const std::string name = language + kLanguageExtension;
    const std::string shipped = m_dataFolder.empty() ? std::string() : m_dataFolder + name;
    const bool useShipped = !std::filesystem::exists(m_folder + name) && !shipped.empty() &&
                            std::filesystem::exists(shipped);
    const std::string path = useShipped ? shipped : m_folder + name;
    const QUrl url = LanguageSiteUrl(QStringLiteral("/ini/") + QString::fromStdString(name));
    StatusBar->clearMessage();
    if (!std::filesystem::exists(path) && Download(url, path))
        StatusBar->showMessage(QStringLiteral("Download successful"));
    try {
        m_hooks.load(path);
        if (path == m_createdEnglishFile)
            m_createdEnglishFile.clear(); // chosen on purpose: it stays
        m_hooks.storeLanguage(language);
    } catch (const std::exception& e) {
        m_hooks.showError(QString::fromUtf8(e.what()));
    }
}

bool TFormLanguage::Download(const QUrl& url, const std::string& path) {
    StatusBar->showMessage(QStringLiteral("Please wait..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = network.get(request);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    bool saved = false;
    if (reply->error() == QNetworkReply::NoError) {
        // Written under a temporary name and renamed only when complete.
        QSaveFile file(QString::fromStdString(path));
        const QByteArray body = reply->read(static_cast<qint64>(kMaxLanguageFileBytes));
        saved = file.open(QIODevice::WriteOnly) && file.write(body) == body.size() && file.commit();
    }
    reply->deleteLater();
    QApplication::restoreOverrideCursor();
    if (saved)
        return true;
    StatusBar->clearMessage();
    m_hooks.showError(QStringLiteral("Unable to download the language file\n") + url.toString() +
                      QStringLiteral("\n\nMake sure you are connected to the internet. If the "
                                     "error persists, you may want to try again later."));
    return false;
}
