#include "UnitAbout.h"

#include "EditorSeams.h"
#include "UrlLabel.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>

using namespace velmora;

namespace {

const char* const kDescription =
    "Velmora can clean up, trim, amplify and fade-in/out your MP3s.\n"
    "\n"
    "Cleaning is useful on most MP3s and reduces the file size. Trimming is useful on files that "
    "contain unwanted noises or sounds. Amplifying is useful on low volume MP3s.\n"
    "\n"
    "News, help and new versions are on the web page below; questions and reports are welcome "
    "at the e-mail address.";

const char* const kDisclaimer =
    "This program is provided \"as is\", without warranty of any kind, express or implied, "
    "including but not limited to the warranties of merchantability, fitness for a particular "
    "purpose and noninfringement.\n"
    "\n"
    "In no event shall the authors be liable for any claim, damages or other liability arising "
    "from the use of this program, including the loss or corruption of files. Keep a copy of "
    "anything you cannot afford to lose.";

QPlainTextEdit* Memo(const char* name, const char* text, QWidget* parent) {
    auto* memo = new QPlainTextEdit(QString::fromLatin1(text), parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setFocusPolicy(Qt::NoFocus);
    memo->viewport()->setCursor(Qt::ArrowCursor);
    memo->setBackgroundRole(QPalette::Window);
    return memo;
}

} // namespace

TFormAbout::TFormAbout(IShell& shell, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(tr("About"));
    const QString title =
        QStringLiteral("%1 %2").arg(QLatin1String(kProductName), QLatin1String(kVersionText));
    PanelTitle = new QLabel(title, this);
    PanelTitle->setObjectName(QStringLiteral("PanelTitle"));
    PanelTitle->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelTitle->setAlignment(Qt::AlignCenter);
    QFont bold = PanelTitle->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    PanelTitle->setFont(bold);
    PanelTitle->setMinimumHeight(32);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    MemoDescription = Memo("MemoDescription", kDescription, nullptr);
    MemoDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoDisclaimer = Memo("MemoDisclaimer", kDisclaimer, nullptr);
    MemoDisclaimer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const std::pair<const char*, QPlainTextEdit*> sheets[] = {
        {"TabSheetDescription", MemoDescription}, {"TabSheetDisclaimer", MemoDisclaimer}};
    for (const auto& [name, memo] : sheets) {
        auto* sheet = new QWidget;
        sheet->setObjectName(QString::fromLatin1(name));
        auto* fill = new QVBoxLayout(sheet);
        fill->addWidget(memo);
        PageControl->addTab(sheet, memo == MemoDescription ? tr("Description") : tr("Disclaimer"));
    }

    const auto link = [&shell, this](const char* name, const QString& caption, const QString& url) {
        auto* label = new TUrlLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setProperty("NoTranslate", true);
        label->setText(caption);
        label->setUrl(url);
        label->setOpener([&shell](const QUrl& target) { return shell.OpenUrl(target); });
        return label;
    };
    UrlLabelMainURL =
        link("UrlLabelMainURL", QLatin1String(kWebPageUrl), QLatin1String(kWebPageUrl));
    Url_email =
        link("Url_email", QLatin1String(kMailAddress),
             QStringLiteral("mailto:%1?subject=%2").arg(QLatin1String(kMailAddress), title));
    auto* LabelMainURL = new QLabel(tr("Web page:"), this);
    LabelMainURL->setObjectName(QStringLiteral("LabelMainURL"));
    auto* LabelEMail = new QLabel(tr("e-mail:"), this);
    LabelEMail->setObjectName(QStringLiteral("LabelEMail"));
    auto* links = new QGridLayout;
    links->addWidget(LabelMainURL, 0, 0, Qt::AlignRight);
    links->addWidget(UrlLabelMainURL, 0, 1);
    links->addWidget(LabelEMail, 1, 0, Qt::AlignRight);
    links->addWidget(Url_email, 1, 1);
    links->setColumnStretch(1, 1);

    auto* column = new QVBoxLayout(this);
    column->addWidget(PanelTitle);
    column->addWidget(PageControl, 1);
    column->addLayout(links);
    setMinimumSize(420, 320);
}
