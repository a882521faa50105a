#include "UnitReadableName.h"

#include "UnitPath.h"

#include <QStringDecoder>

namespace velmora {

QString ReadablePath(const std::string& path) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QByteArrayView bytes(path.data(), static_cast<qsizetype>(path.size()));
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QString ReadableFileName(const std::string& path) {
    return ReadablePath(BaseName(path));
}

} // namespace velmora
