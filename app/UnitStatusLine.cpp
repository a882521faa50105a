#include "UnitStatusLine.h"

#include "UnitIni.h"
#include "UnitLanguage.h"

#include <QDir>

namespace {

struct Template {
    const char* key;
    const char* english;
};

// In the order of TStatusLine::Written.
constexpr Template kTemplates[] = {
    {"StatusSaved", "Saved %1 in %2"},
    {"StatusUnchanged", "%1 in %2 needed no change: nothing was written"},
    {"StatusCueSheet", "Wrote the CUE sheet %1 in %2"},
    {"StatusTracks", "Wrote %1 track(s) in %2"},
};

} // namespace

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("StatusLine"));
    // Its text is made by the program: language files give the templates, not the text.
    setProperty("Tag", 1);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (std::size_t i = 0; i < m_templates.size(); ++i)
        m_templates[i] = QString::fromUtf8(kTemplates[i].english);
}

void TStatusLine::ShowWritten(Written kind, const QString& what, const QString& where) {
    m_text = m_templates[static_cast<std::size_t>(kind)].arg(what, QDir::toNativeSeparators(where));
    setToolTip(m_text);
    setAccessibleName(m_text);
    Elide();
}

void TStatusLine::Clear() {
    m_text.clear();
    setToolTip(QString());
    setAccessibleName(QString());
    clear();
}

void TStatusLine::ReadTexts(const velmora::IniFile& ini) {
    for (std::size_t i = 0; i < m_templates.size(); ++i)
        if (const auto value = ini.Get(velmora::kMainSection, kTemplates[i].key))
            m_templates[i] = QString::fromStdString(*value);
}

void TStatusLine::WriteTexts(velmora::IniFile& ini) const {
    for (std::size_t i = 0; i < m_templates.size(); ++i)
        ini.Set(velmora::kMainSection, kTemplates[i].key, m_templates[i].toStdString());
}

QSize TStatusLine::minimumSizeHint() const {
    // A long path never widens the window.
    return {0, fontMetrics().height()};
}

void TStatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void TStatusLine::Elide() {
    setText(fontMetrics().elidedText(m_text, Qt::ElideMiddle, std::max(width(), 1)));
}
