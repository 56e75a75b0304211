// What kind of file system object a path names, for refusing anything but
// regular files with a message that says what the path is instead.
#pragma once

#include <QString>

#include <sys/types.h>

namespace veskel {

// "a folder", "a named pipe", "a character device", "a block device",
// "a socket"; empty for a regular file.
QString NonRegularFileKind(mode_t mode);

// The reason shown when a path names something other than a regular file,
// for example "It is a named pipe, not a regular file". Empty when the path
// (symlinks followed) is a regular file or does not exist.
QString NotRegularFileReason(const QString &path);

} // namespace veskel
