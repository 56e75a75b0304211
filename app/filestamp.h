// What a file on disk looked like when the window last read or wrote it, so
// that a save can tell whether another program changed it since.
#pragma once

#include "editor/richeditstrings.h"

#include <QByteArray>
#include <QString>

namespace veskel {

struct FileStamp
{
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray digest; // SHA-256 of the content; empty for non-regular files

    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The stamp of the file at path (symlinks followed). Only regular files are
// read for the digest, so a pipe or a device never blocks; withDigest false
// reads nothing.
FileStamp StampFile(const QString &path, bool withDigest = true);

// The stamp of bytes just read from a file: their own size and digest, and
// the identity of the descriptor they came through. Unlike a stamp taken
// after the read, it cannot describe a version another program put in place
// in between.
FileStamp StampOfRead(const QByteArray &bytes, const FileIdentity &identity);

// Whether the file at path is no longer the one the stamp describes. A file
// that is gone has not changed in a way a write could lose; the content is
// read only when the size, time and identity all still match.
bool FileChangedSince(const QString &path, const FileStamp &stamp);

} // namespace veskel
