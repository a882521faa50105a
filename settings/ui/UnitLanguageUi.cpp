#include "UnitLanguageUi.h"

#include "RadioGroup.h"
#include "UrlLabel.h"
#include "VelmoraError.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTabWidget>

#include <optional>

namespace velmora {

namespace {

struct CodePage {
    const char* language;
    const char* encoding;
};
constexpr CodePage kCodePages[] = {
    {"Bulgarian", "windows-1251"}, {"Macedonian", "windows-1251"},  {"Russian", "windows-1251"},
    {"Serbian", "windows-1251"},   {"Ukrainian", "windows-1251"},   {"Croatian", "windows-1250"},
    {"Czech", "windows-1250"},     {"Magyar", "windows-1250"},      {"Polish", "windows-1250"},
    {"Hebrew", "windows-1255"},    {"Turkce", "windows-1254"},      {"Japanese", "Shift_JIS"},
    {"Chinese_Simplified", "GBK"}, {"Chinese_Traditional", "Big5"}, {"Korean", "EUC-KR"},
};

bool Marked(const QWidget* w) {
    const int tag = w->property("Tag").toInt();
    return tag % 2 == 1 && tag < 8;
}

// A hint the window computes from the control's value (a fade bar's duration) is no text to
// translate.
bool HintToTranslate(const QWidget* w) {
    return !w->toolTip().isEmpty() && !w->property("computedHint").toBool();
}

QTabWidget* TabOwner(const QWidget* page) {
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    return stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
}

// Edit boxes, spin boxes, sliders and panels have no caption to translate. Combo boxes hold
// values (durations, levels): one key for the selected item would rename whichever item happens
// to be selected when the file is loaded.
bool HasNoCaption(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           w->objectName().startsWith(u"Panel") || w->inherits("TSpinEdit") ||
           w->inherits("TTimeSpin");
}

std::optional<QString> Caption(const QWidget* w) {
    if (const QTabWidget* tabs = TabOwner(w))
        return tabs->tabText(tabs->indexOf(const_cast<QWidget*>(w)));
    if (const auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    return std::nullopt;
}

void SetCaption(QWidget* w, const QString& text) {
    if (QTabWidget* tabs = TabOwner(w))
        tabs->setTabText(tabs->indexOf(w), text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
}

QStringList ToQt(const std::vector<std::string>& items) {
    QStringList out;
    for (const std::string& item : items)
        out.push_back(QString::fromStdString(item));
    return out;
}

std::vector<std::string> FromQt(const QStringList& items) {
    std::vector<std::string> out;
    for (const QString& item : items)
        out.push_back(item.toStdString());
    return out;
}

std::optional<QString> Value(const IniFile& ini, const std::string& section,
                             const std::string& key) {
    if (std::optional<std::string> v = ini.Get(section, key))
        return QString::fromStdString(*v);
    return std::nullopt;
}

// The window's menu items and named controls in creation order.
template <typename Visit> void ForEachControl(QWidget* window, Visit visit) {
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && w->window() == window)
            visit(w, w->objectName().toStdString());
}

} // namespace

std::string DecodeLanguageText(const QByteArray& bytes, std::string_view language) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3).toStdString() : bytes.toStdString();
    const char* encoding = "windows-1252";
    for (const CodePage& page : kCodePages)
        if (language == page.language)
            encoding = page.encoding;
    QStringDecoder legacy(encoding);
    if (!legacy.isValid())
        legacy = QStringDecoder(QStringDecoder::Latin1);
    return QString(legacy.decode(bytes)).toStdString();
}

IniFile ReadLanguageFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        throw VelmoraError(path + " not found");
    if (!file.open(QIODevice::ReadOnly))
        throw VelmoraError(file.errorString().toStdString() + " - " + path);
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxLanguageFileBytes));
    std::string language;
    try {
        language = LanguageFromPath(path);
    } catch (const VelmoraError&) {
    }
    return IniFile::Parse(DecodeLanguageText(bytes, language));
}

void ApplyLanguageToWindow(const IniFile& ini, QWidget* window, const QFont& font,
                           bool mainWindow) {
    const std::string section = window->objectName().toStdString();
    window->setFont(font);
    if (!mainWindow)
        if (const std::optional<QString> caption = Value(ini, section, "Caption"))
            window->setWindowTitle(*caption);
    for (QAction* action : window->findChildren<QAction*>())
        if (action->objectName().startsWith(u"Menu"))
            if (const auto text = Value(ini, section, action->objectName().toStdString()))
                action->setText(*text);
    ForEachControl(window, [&](QWidget* w, const std::string& name) {
        if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
            if (const auto lines = ini.Get(section, name))
                memo->setPlainText(ToQt(ReadCommaText(*lines)).join(u'\n'));
        } else if (!Marked(w) && !HasNoCaption(w)) {
            if (const std::optional<QString> current = Caption(w); current && !current->isEmpty())
                if (const auto text = Value(ini, section, name))
                    SetCaption(w, *text);
        }
        if (HintToTranslate(w))
            if (const auto hint = Value(ini, section, name + "Hint"))
                w->setToolTip(*hint);
        if (auto* group = qobject_cast<TRadioGroup*>(w))
            if (const auto items = ini.Get(section, name + "Items"))
                group->setItems(ToQt(ReadCommaText(*items)));
        if (auto* link = qobject_cast<TUrlLabel*>(w))
            if (const auto copy = Value(ini, section, "UrlLabelCopy"))
                link->copyAction()->setText(*copy);
    });
}

void WriteWindowLanguage(IniFile& ini, QWidget* window, bool mainWindow) {
    const std::string section = window->objectName().toStdString();
    if (!mainWindow)
        ini.Set(section, "Caption", window->windowTitle().toStdString());
    for (QAction* action : window->findChildren<QAction*>())
        if (action->objectName().startsWith(u"Menu"))
            ini.Set(section, action->objectName().toStdString(), action->text().toStdString());
    ForEachControl(window, [&](QWidget* w, const std::string& name) {
        if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
            if (!Marked(w))
                ini.Set(section, name, QuotedCommaText(FromQt(memo->toPlainText().split(u'\n'))));
        } else if (!Marked(w) && !HasNoCaption(w)) {
            if (const std::optional<QString> text = Caption(w); text && !text->isEmpty())
                ini.Set(section, name, text->toStdString());
        }
        if (HintToTranslate(w))
            ini.Set(section, name + "Hint", w->toolTip().toStdString());
        if (auto* group = qobject_cast<TRadioGroup*>(w))
            ini.Set(section, name + "Items", QuotedCommaText(FromQt(group->items())));
    });
}

} // namespace velmora
