#include "PreviewFolderQt.h"

#include <QDir>
#include <QStandardPaths>

namespace velmora {

PreviewFolder StandardPreviewFolder() {
    const std::vector<std::string> candidates = {
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString(),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString(),
    };
    return ChoosePreviewFolder(candidates, QDir::tempPath().toStdString());
}

} // namespace velmora
