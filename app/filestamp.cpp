#include "filestamp.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veskel {

FileStamp StampFile(const QString &path, bool withDigest)
{
    FileStamp stamp;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a named pipe must not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info
    {};
    if (fd < 0) {
        stamp.exists = ::stat(name.constData(), &info) == 0;
    } else if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return stamp;
    } else {
        stamp.exists = true;
    }
    stamp.size = info.st_size;
    stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    if (fd >= 0 && withDigest && S_ISREG(info.st_mode)) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&file);
            stamp.digest = hash.result();
            return stamp;
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return stamp;
}

FileStamp StampOfRead(const QByteArray &bytes, const FileIdentity &identity)
{
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = bytes.size();
    stamp.modifiedNs = identity.modifiedNs;
    stamp.device = identity.device;
    stamp.inode = identity.inode;
    stamp.digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return stamp;
}

bool FileChangedSince(const QString &path, const FileStamp &stamp)
{
    FileStamp now = StampFile(path, false);
    if (!now.exists) {
        return false;
    }
    now.digest = stamp.digest;
    if (now != stamp) {
        return true;
    }
    return StampFile(path) != stamp;
}

} // namespace veskel
