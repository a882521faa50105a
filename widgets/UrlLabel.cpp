#include "UrlLabel.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    SetTextColor(QColor(0, 0, 255));
    m_opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_menu = new QMenu(this);
    m_copy = m_menu->addAction(tr("Copy"));
    m_copy->setObjectName(QStringLiteral("UrlLabelCopy"));
    connect(m_copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(m_url); });
}

std::optional<QUrl> TUrlLabel::Target() const {
    const QString target = m_url.trimmed().isEmpty() ? text().trimmed() : m_url.trimmed();
    if (target.isEmpty())
        return std::nullopt;
    // Only absolute addresses: a bare word would be opened as a file of the current folder.
    const QUrl url(target);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

void TUrlLabel::Click() {
    if (const std::optional<QUrl> target = Target(); target && m_opener)
        m_opener(*target);
}

void TUrlLabel::SetTextColor(const QColor& color) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_restoreColor = palette().color(QPalette::WindowText);
        m_pressed = true;
        SetTextColor(m_activeColor);
    }
    QLabel::mousePressEvent(event);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    SetTextColor(m_restoreColor);
    if (rect().contains(event->position().toPoint())) {
        emit clicked();
        Click();
    }
}

void TUrlLabel::contextMenuEvent(QContextMenuEvent* event) {
    m_menu->popup(event->globalPos());
}
