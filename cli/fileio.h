// Reading inputs whole and writing outputs for veskel-cli. Failures throw
// CliError with exit code 2 and a message that names the file and gives the
// system's reason.
#pragma once

#include "cli/securebuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

namespace veskel::cli {

// The largest input read; anything larger is neither a document nor a text a
// document could hold.
inline constexpr qsizetype MaxInputSize = qsizetype(64) * 1024 * 1024;

// File names are the bytes the user gave, never decoded: a name that is not
// UTF-8 still names its file. Decoded (lossily) only to be shown.

// How a file is named in messages: its absolute path in quotes, or "standard
// input" / "standard output" for "-".
QString DisplayName(const QByteArray &path, bool output = false);

// Reads the file at path ("-": standard input) whole into out. False when it
// holds more than limit bytes; what was read is then in out.
bool ReadWholeInput(const QByteArray &path, qsizetype limit, SecureBuffer &out);

// Writes all the bytes to standard output.
void WriteStandardOutput(QByteArrayView bytes);

// Writes the bytes to the output at path, symlinks followed:
// - a path naming a descriptor the process holds (/dev/stdout, /dev/stderr,
//   /dev/fd/N, /proc/self/fd/N) is written through that descriptor as it
//   stands, like standard output, whatever file it leads to;
// - a regular file is replaced atomically: an unnamed file in the same folder
//   is written, synced and renamed over it, so on any failure (a kill
//   included) the old file stays whole and no temporary file is left; it
//   keeps the old file's permissions;
// - a file that does not exist is made the same way, with newFileMode less
//   the umask;
// - a FIFO or a character device (a pipe, /dev/stdout, a terminal) is
//   written in place, as a stream;
// - anything else (a folder, a socket, a block device) is refused.
// Failures throw CliError (exit 2): "Cannot create file "x". <reason>" when
// the output cannot be made, "<writeError> "x". <reason>; <what is left>"
// when writing it fails.
void WriteOutputFile(const QByteArray &path, QByteArrayView bytes, mode_t newFileMode,
                     const QString &writeError);

// A decrypted text: a new file is readable and writable by its owner only.
inline void WritePrivateFile(const QByteArray &path, QByteArrayView bytes)
{
    WriteOutputFile(path, bytes, 0600, QStringLiteral("Cannot write file"));
}

} // namespace veskel::cli
