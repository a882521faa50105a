// The size Qt's own file dialog opens at.
#include "EditorSeams.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>

namespace velmora {

void FitFileDialog(QFileDialog& dialog) {
    // At its size hint the dialog cuts the size and type columns ("54....MiB", "MP3...dio").
    const QFontMetrics metrics(dialog.font());
    dialog.resize(std::max(dialog.width(), metrics.averageCharWidth() * 115),
                  std::max(dialog.height(), metrics.height() * 28));
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* model = view ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
    if (!model)
        return; // the desktop's own dialog
    // The size, type and date columns take the width of their texts once a folder is read.
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
        for (int column = 1; column < view->header()->count(); ++column)
            view->resizeColumnToContents(column);
    });
}

} // namespace velmora
