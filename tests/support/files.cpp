#include "support/files.h"

#include <QFile>

namespace veskel::test {

QByteArray ReadAll(const QString &path, const QByteArray &unreadable)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

} // namespace veskel::test
