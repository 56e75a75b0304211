#include "filekind.h"

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
        return QStringLiteral("not a file");
    }
}

QString NotRegularFileReason(const QString &path)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    const QString kind = NonRegularFileKind(info.st_mode);
    return kind.isEmpty() ? QString() : QStringLiteral("It is %1, not a regular file").arg(kind);
}

} // namespace veskel
