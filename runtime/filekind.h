// What kind of file system object a path names, for refusing anything but
// regular files with a message that says what the path is instead.
#pragma once

#include <QString>

#include <sys/types.h>

namespace veskel {

// "a folder", "a named pipe", "a character device", "a block device",
// "a socket"; empty for a regular file.
QString NonRegularFileKind(mode_t mode);

// The reason shown when a file is something other than a regular file, for
// example "It is not a regular file (a named pipe)."; empty for a regular
// file.
QString NotRegularFileReason(mode_t mode);
// The same for a path (symlinks followed); empty also when nothing is there.
QString NotRegularFileReason(const QString &path);

} // namespace veskel
