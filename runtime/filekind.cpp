#include "runtime/filekind.h"

#include <QFile>

#include <sys/stat.h>

namespace veskel {

QString NonRegularFileKind(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
        return {};
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFIFO:
        return QStringLiteral("a named pipe");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("an unknown kind of file");
    }
}

QString NotRegularFileReason(mode_t mode)
{
    const QString kind = NonRegularFileKind(mode);
    return kind.isEmpty() ? QString() : QStringLiteral("It is not a regular file (%1).").arg(kind);
}

QString NotRegularFileReason(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return NotRegularFileReason(info.st_mode);
}

} // namespace veskel
