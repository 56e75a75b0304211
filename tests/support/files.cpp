#include "support/files.h"

#include <QFile>
#include <QTemporaryDir>

namespace veskel::test {

QByteArray ReadAll(const QString &path, const QByteArray &unreadable)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(bytes) == bytes.size() && file.flush()) {
        return true;
    }
    qWarning("cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

QString WriteIn(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    return WriteAll(path, bytes) ? path : QString();
}

void UsePrivateHome()
{
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("HOME", QFile::encodeName(home.path()));
}

} // namespace veskel::test
