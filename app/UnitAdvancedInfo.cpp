#include "UnitAdvancedInfo.h"

#include "UnitInfo.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

constexpr const char* kTagFields[] = {"Title", "Artist", "Album", "Year", "Comment", "Genre"};

// Tag texts come as UTF-8, whatever the tag held.
QString TagText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void FillList(QListWidget* list, const std::vector<std::string>& lines) {
    list->clear();
    for (const std::string& line : lines)
        list->addItem(QString::fromStdString(line));
}

} // namespace

TFormAdvancedInfo::TFormAdvancedInfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormAdvancedInfo"));
    setWindowTitle(tr("Advanced info"));
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setUsesScrollButtons(false);
    const struct {
        const char* name;
        const char* caption;
        QWidget* page;
    } pages[] = {{"TabSheetFrames", "Frames", BuildFramesPage()},
                 {"TabSheetErrors", "Errors", BuildErrorsPage()},
                 {"TabSheetID3v1", "ID3v1", BuildTagPage("ID3v1")},
                 {"TabSheetID3v2", "ID3v2", BuildTagPage("ID3v2")},
                 {"TabSheetMissingFH", "Missing FHs", BuildMissingPage()},
                 {"TabSheetChapters", "Chapters", BuildChaptersPage()}};
    for (const auto& page : pages) {
        page.page->setObjectName(QString::fromLatin1(page.name));
        PageControl->addTab(page.page, QString::fromLatin1(page.caption));
    }
    auto* ButtonOk = new QPushButton(tr("&Close"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    auto* column = new QVBoxLayout(this);
    column->addWidget(PageControl);
    column->addWidget(ButtonOk, 0, Qt::AlignRight);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormAdvancedInfo::showEvent(QShowEvent* event) {
    KeepOneHeight(); // the texts may have changed with the language
    QDialog::showEvent(event);
}

// The window keeps one height whichever page is chosen: the page box is as tall as the tallest
// page needs at the width the widest page gives.
void TFormAdvancedInfo::KeepOneHeight() {
    PageControl->setMinimumHeight(0);
    const int current = PageControl->currentIndex();
    int tallest = 0;
    for (int i = 0; i < PageControl->count(); ++i) {
        PageControl->setCurrentIndex(i);
        layout()->activate();
        tallest = std::max(tallest, PageControl->sizeHint().height());
        if (PageControl->hasHeightForWidth())
            tallest = std::max(tallest, PageControl->heightForWidth(PageControl->width()));
    }
    PageControl->setCurrentIndex(current);
    PageControl->setMinimumHeight(tallest);
    layout()->activate();
}

QLabel* TFormAdvancedInfo::Value(const char* name, const char* caption, QWidget* page) {
    auto* value = new QLabel(page);
    value->setObjectName(QString::fromLatin1(name));
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("0000.0 Kbps")));
    auto* label = new QLabel(QString::fromLatin1(caption), page);
    label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
    static_cast<QFormLayout*>(page->layout())->addRow(label, value);
    return value;
}

QWidget* TFormAdvancedInfo::BuildFramesPage() {
    auto* page = new QWidget;
    new QFormLayout(page);
    LabelNumberFH = Value("LabelNumberFH", "Number of frames:", page);
    LabelNumberMissingFH = Value("LabelNumberMissingFH", "Number of missing frame headers:", page);
    LabelFirstFrameMissing = Value("LabelFirstFrameMissing", "First frame missing:", page);
    LabelFirstFrameInvalid = Value("LabelFirstFrameInvalid", "First frame(s) invalid:", page);
    LabelLastFrameIncomplete = Value("LabelLastFrameIncomplete", "Last frame incomplete:", page);
    LabelWAVembedded = Value("LabelWAVembedded", "WAV-embedded mp3 file:", page);
    LabelNumberAverageBitrate = Value("LabelNumberAverageBitrate", "Average bitrate:", page);
    return page;
}

QWidget* TFormAdvancedInfo::BuildErrorsPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto* intro = new QLabel(tr("While all the frames inside an mp3 usually carry the same set of "
                                "flags, sometimes inconsistencies appear."),
                             page);
    intro->setObjectName(QStringLiteral("LabelInconsistent"));
    intro->setWordWrap(true);
    auto* listCaption = new QLabel(tr("Here's the list of those found:"), page);
    listCaption->setObjectName(QStringLiteral("LabelInconsistentList"));
    ListBoxInconsistent = new QListWidget(page);
    ListBoxInconsistent->setObjectName(QStringLiteral("ListBoxInconsistent"));
    column->addWidget(intro);
    column->addWidget(listCaption);
    column->addWidget(ListBoxInconsistent);
    return page;
}

QWidget* TFormAdvancedInfo::BuildTagPage(const char* version) {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    for (const char* field : kTagFields) {
        auto* edit = new QLineEdit(page);
        edit->setObjectName(
            QStringLiteral("Edit%1%2").arg(QLatin1String(field), QLatin1String(version)));
        edit->setReadOnly(true);
        auto* label = new QLabel(QString::fromLatin1(field) + QLatin1Char(':'), page);
        label->setObjectName(
            QStringLiteral("Label%1%2").arg(QLatin1String(field), QLatin1String(version)));
        form->addRow(label, edit);
    }
    return page;
}

QWidget* TFormAdvancedInfo::BuildMissingPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    ListBoxMissingFH = new QListWidget(page);
    ListBoxMissingFH->setObjectName(QStringLiteral("ListBoxMissingFH"));
    column->addWidget(ListBoxMissingFH);
    return page;
}

void TFormAdvancedInfo::ShowTagPage(const char* version, const velmora::TagPageTexts& page) {
    const std::string* values[] = {&page.title, &page.artist,  &page.album,
                                   &page.year,  &page.comment, &page.genre};
    for (std::size_t i = 0; i < std::size(kTagFields); ++i) {
        auto* edit = findChild<QLineEdit*>(
            QStringLiteral("Edit%1%2").arg(QLatin1String(kTagFields[i]), QLatin1String(version)));
        edit->setEnabled(page.enabled);
        edit->setText(TagText(*values[i]));
    }
}

void TFormAdvancedInfo::ShowInformation(const velmora::InformationTexts& texts) {
    LabelNumberMissingFH->setText(QString::fromStdString(texts.LabelNumberMissingFH));
    LabelLastFrameIncomplete->setText(QString::fromStdString(texts.LabelLastFrameIncomplete));
    LabelFirstFrameMissing->setText(QString::fromStdString(texts.LabelFirstFrameMissing));
    LabelNumberFH->setText(QString::fromStdString(texts.LabelNumberFH));
    LabelWAVembedded->setText(QString::fromStdString(texts.LabelWAVembedded));
    LabelFirstFrameInvalid->setText(QString::fromStdString(texts.LabelFirstFrameInvalid));
    LabelNumberAverageBitrate->setText(QString::fromStdString(texts.LabelNumberAverageBitrate));
    FillList(ListBoxInconsistent, texts.ListBoxInconsistent);
    ShowTagPage("ID3v1", texts.id3v1);
    ShowTagPage("ID3v2", texts.id3v2);
    FillList(ListBoxMissingFH, texts.ListBoxMissingFH);
    ListViewChapters->clear();
    for (const auto& row : texts.ListViewChapters)
        ListViewChapters->addTopLevelItem(
            new QTreeWidgetItem({TagText(row.title), TagText(row.start), TagText(row.end)}));
    FillList(ListBoxTagNotes, texts.ListBoxTagNotes);
    ListBoxTagNotes->setVisible(!texts.ListBoxTagNotes.empty());
}

QWidget* TFormAdvancedInfo::BuildChaptersPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    ListViewChapters = new QTreeWidget(page);
    ListViewChapters->setObjectName(QStringLiteral("ListViewChapters"));
    ListViewChapters->setRootIsDecorated(false);
    ListViewChapters->setHeaderLabels({tr("Title"), tr("Start"), tr("End")});
    ListBoxTagNotes = new QListWidget(page);
    ListBoxTagNotes->setObjectName(QStringLiteral("ListBoxTagNotes"));
    ListBoxTagNotes->setMaximumHeight(ListBoxTagNotes->fontMetrics().height() * 4);
    column->addWidget(ListViewChapters);
    column->addWidget(ListBoxTagNotes);
    return page;
}
