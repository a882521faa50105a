// Files dropped on the main window from a file manager.
#include "UnitMain.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

#include <algorithm>

using namespace velmora;

namespace {

bool IsDragEvent(const QEvent* event) {
    return event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
           event->type() == QEvent::Drop;
}

// File managers percent-encode the name's bytes, which need not be UTF-8.
std::string NativePath(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QString ShownName(const QUrl& url) {
    return url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName()
                             : url.toDisplayString(QUrl::RemoveUserInfo);
}

} // namespace

bool TFormMain::DropAllowed(const QMimeData* data) const {
    if (!Allowed(EditorCommand::Open) || m_commandDepth > 0 || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

bool TFormMain::FilterDrag(QObject* watched, QEvent* event) {
    if (!IsDragEvent(event))
        return false;
    const QWidget* widget = qobject_cast<QWidget*>(watched);
    auto* drop = static_cast<QDropEvent*>(event);
    // Text dragged between fields stays theirs; addresses are the window's, wherever they land.
    if (!widget || widget->window() != this || !drop->mimeData()->hasUrls())
        return false;
    if (!DropAllowed(drop->mimeData())) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        // Opened after the drop has been answered, so the file manager is not kept waiting.
        const QList<QUrl> urls = drop->mimeData()->urls();
        QTimer::singleShot(0, this, [this, urls] { OpenDropped(urls); });
    }
    return true;
}

void TFormMain::OpenDropped(const QList<QUrl>& urls) {
    // Something may have started between the drop and now: the drop is void then.
    if (!Allowed(EditorCommand::Open))
        return;
    const auto first =
        std::find_if(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
    if (first == urls.end())
        return;
    QStringList rest;
    for (const QUrl& url : urls)
        if (&url != &*first)
            rest << ShownName(url);
    OpenNativePath(NativePath(*first));
    if (!rest.isEmpty())
        m_dialogs.Message(
            this, IDialogs::Kind::Information, QStringLiteral("Velmora"),
            tr("One file opens at a time; not opened: %1").arg(rest.join(QStringLiteral(", "))));
}
