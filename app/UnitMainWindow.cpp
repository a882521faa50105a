// The main window's placement, its close rules and the keys it sees first.
#include "UnitMain.h"

#include "UnitRegistryStore.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTabWidget>

#include <cstdint>
#include <cstdio>

using namespace velmora;

namespace {

constexpr const char* kTopName = "MainFormTop";
constexpr const char* kLeftName = "MainFormLeft";
constexpr const char* kPageName = "ControlTrimActivePage";

QRect AllScreens() {
    QRect all;
    for (const QScreen* screen : QGuiApplication::screens())
        all = all.united(screen->geometry());
    return all.isEmpty() ? QRect(0, 0, 640, 480) : all;
}

} // namespace

namespace velmora {

QPoint ClampWindowPosition(QPoint stored, QSize window, const QRect& screens) {
    // 64 bits: a stored value near the integer limit plus half the window must not wrap.
    std::int64_t top = stored.y();
    std::int64_t left = stored.x();
    const std::int64_t halfHeight = window.height() / 2;
    const std::int64_t halfWidth = window.width() / 2;
    const std::int64_t bottom = std::int64_t{screens.y()} + screens.height();
    const std::int64_t right = std::int64_t{screens.x()} + screens.width();
    if (bottom < top + halfHeight)
        top = bottom - halfHeight;
    // The title bar stays reachable.
    if (top < screens.y())
        top = screens.y();
    if (right < left + halfWidth)
        left = right - halfWidth;
    if (left + halfWidth < screens.x())
        left = screens.x() - halfWidth;
    return QPoint(static_cast<int>(left), static_cast<int>(top));
}

} // namespace velmora

void TFormMain::LoadWindowPlacement() {
    RegistryStore store;
    try {
        store = RegistryStore::Load(SettingsStorePath());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s\n", e.what());
    }
    const int top = store.ReadInteger(kTopName).value_or(kDesignedTop);
    const int left = store.ReadInteger(kLeftName).value_or(kDesignedLeft);
    const int page = store.ReadInteger(kPageName).value_or(0);
    adjustSize();
    move(ClampWindowPosition(QPoint(left, top), size(), AllScreens()));
    PageControlTrim->setCurrentIndex(page >= 0 && page < PageControlTrim->count() ? page : 0);
}

void TFormMain::SaveWindowPlacement() {
    if (m_placementSaved)
        return;
    m_placementSaved = true;
    try {
        const std::string path = SettingsStorePath();
        RegistryStore store = RegistryStore::Load(path);
        // Wayland does not tell a window where it is: keep what was stored.
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            store.WriteInteger(kTopName, pos().y());
            store.WriteInteger(kLeftName, pos().x());
        }
        store.WriteInteger(kPageName, PageControlTrim->currentIndex());
        store.Save(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: the window placement was not saved: %s\n", e.what());
    }
}

bool TFormMain::FormCloseQuery() {
    if (!m_settings.CheckBoxAskBeforeExiting)
        return true;
    const QString text = QString::fromStdString(
        MessageOr(m_messages, kMsgExitPrompt, "Do you want to exit Velmora?"));
    return m_dialogs.AskYesNo(this, QStringLiteral("Velmora"), text) == IDialogs::Answer::Yes;
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!m_closeConfirmed && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_closeConfirmed = true;
    // An operation that pumps events has this window on its stack: let it end first, then close.
    if (m_commandDepth > 0) {
        if (OperationBusy())
            m_stopRequested = true;
        m_closeAfterCommand = true;
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TFormMain::FormClose() {
    m_state = EditorState::Closing;
    UpdateCommands();
    DeletePreviewFiles();
    StopPreview();
    SaveWindowPlacement();
}

void TFormMain::FormDestroy() {
    SaveWindowPlacement();
}

void TFormMain::CloseOnStopSignal() {
    m_closeConfirmed = true;
    close();
}

void TFormMain::MenuExitClick() {
    if (OperationBusy())
        m_stopRequested = true;
    else
        close();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (FilterDrag(watched, event))
        return true;
    if (FadeImageMouseDown(watched, event))
        return true;
    // The window's own keys first: during a write they refuse with a beep, Escape closes.
    if (event->type() == QEvent::KeyPress && IsWindowKey(watched) &&
        FormKeyPress(static_cast<QKeyEvent*>(event)))
        return true;
    return RefuseInputWhileWriting(watched, event);
}

bool TFormMain::IsWindowKey(QObject* watched) const {
    // Keys of this window only, seen once: at the focus widget, or here when nothing has focus.
    const QWidget* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    if (watched != QApplication::focusWidget() && watched != this)
        return false;
    const QWidget* modal = QApplication::activeModalWidget();
    return !modal || modal == this;
}

bool TFormMain::FormKeyPress(QKeyEvent* key) {
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    switch (key->key()) {
    case Qt::Key_Escape:
        if (OperationBusy())
            m_stopRequested = true;
        else if (Allowed(EditorCommand::Close))
            RunCommand([this] { MenuCloseClick(); });
        else
            close();
        return true;
    case Qt::Key_T:
        if (modifiers != Qt::ControlModifier)
            return false;
        if (!Allowed(EditorCommand::ToggleTags))
            m_shell.Beep();
        else
            RunCommand([this] { ToggleTagsKept(); });
        return true;
    case Qt::Key_F5:
        if (modifiers == Qt::ShiftModifier)
            return OptionsKeyPress(key, modifiers);
        RunCommand([this] {
            if (!EndOntoBegin())
                m_shell.Beep();
        });
        return true;
    case Qt::Key_G:
    case Qt::Key_U:
        if (modifiers != Qt::ControlModifier)
            return OptionsKeyPress(key, modifiers);
        CueKey(key->key() == Qt::Key_G);
        return true;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
        if ((modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0)
            return OptionsKeyPress(key, modifiers);
        PreviewKey(key->key() == Qt::Key_BracketRight);
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Period:
        // Swallowed: no control of this window takes them.
        return (modifiers & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    case Qt::Key_B:
        return BatchKeyPress(key, modifiers);
    default:
        return OptionsKeyPress(key, modifiers);
    }
}
