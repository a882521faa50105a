#pragma once

#include "GuiTestUtil.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <utility>

namespace velmora::test {

// A shown, active top-level window holding the widgets under test, so that focus moves and
// key presses reach them as they would in the editor.
class WidgetHost {
public:
    WidgetHost() : m_window(std::make_unique<QWidget>()) { new QVBoxLayout(m_window.get()); }

    template <typename T> T* Add() {
        auto* widget = new T(m_window.get());
        m_window->layout()->addWidget(widget);
        return widget;
    }

    bool Show() {
        m_window->show();
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window.get());
    }

    QWidget* window() const { return m_window.get(); }

private:
    std::unique_ptr<QWidget> m_window;
};

// The up and down arrow buttons inside a spin widget, or nulls.
inline std::pair<QToolButton*, QToolButton*> ArrowButtons(QWidget* spin) {
    QToolButton* up = nullptr;
    QToolButton* down = nullptr;
    for (QToolButton* button : spin->findChildren<QToolButton*>())
        (button->arrowType() == Qt::UpArrow ? up : down) = button;
    return {up, down};
}

} // namespace velmora::test
