#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>

#include <functional>
#include <optional>

class QAction;
class QMenu;

// A label that works as a web link: hand cursor, blue and underlined, opens its target when
// clicked and copies its URL from its context menu.
class TUrlLabel final : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString URL READ url WRITE setUrl)
    Q_PROPERTY(QColor ActiveColor READ activeColor WRITE setActiveColor)

public:
    using Opener = std::function<bool(const QUrl&)>;

    explicit TUrlLabel(QWidget* parent = nullptr);

    QString url() const { return m_url; }
    void setUrl(const QString& url) { m_url = url; }
    QColor activeColor() const { return m_activeColor; }
    void setActiveColor(const QColor& color) { m_activeColor = color; }
    // Where a click sends the target; the desktop's handler unless set.
    void setOpener(Opener opener) { m_opener = std::move(opener); }
    QAction* copyAction() const { return m_copy; }

    // What a click opens: the URL, or the caption when the URL is blank, provided it parses as
    // an absolute URL; otherwise nothing.
    std::optional<QUrl> Target() const;
    void Click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetTextColor(const QColor& color);

    QString m_url;
    QColor m_activeColor{128, 0, 128};
    QColor m_restoreColor;
    bool m_pressed = false;
    Opener m_opener;
    QMenu* m_menu = nullptr;
    QAction* m_copy = nullptr;
};
