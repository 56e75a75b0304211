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

// How WriteOutputFile wrote its output.
struct WrittenOutput
{
    bool replaced = false; // an existing regular file was replaced
    mode_t mode = 0;       // its permissions then, which the new file keeps
};

// Writes the bytes to the output at path, symlinks followed:
// - a path that leads to a file the process holds open for writing on a
//   descriptor it was started with (standard output, standard error or any
//   other the caller opened) is written through that descriptor as it
//   stands, like standard output, whatever its spelling: /dev/stdout,
//   /dev/./stdout, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N, a link to any
//   of them, or the file's own name while standard output is appended to it
//   (`-o log >> log` appends); a path that spells out an open descriptor's
//   number is written through that one;
// - a regular file is replaced atomically: an unnamed file in the same folder
//   is written, synced and renamed over it, so on any failure (a kill
//   included) the old file stays whole and no temporary file is left; it
//   keeps the old file's permissions;
// - a file that does not exist is made the same way, with newFileMode less
//   the umask;
// - a FIFO or a character device (a pipe, a terminal) is written in place,
//   as a stream;
// - anything else (a folder, a socket, a block device) is refused.
// Failures throw CliError (exit 2): "Cannot create file "x". <reason>" when
// the output cannot be made, "<writeError> "x". <reason>; <what is left>"
// when writing it fails.
WrittenOutput WriteOutputFile(const QByteArray &path, QByteArrayView bytes, mode_t newFileMode,
                              const QString &writeError);

// A decrypted text: a new file is readable and writable by its owner only.
inline WrittenOutput WritePrivateFile(const QByteArray &path, QByteArrayView bytes)
{
    return WriteOutputFile(path, bytes, 0600, QStringLiteral("Cannot write file"));
}

// Whether the output is the regular file the input is (same device and
// inode, symlinks followed), so that writing it would destroy the input.
// An input of "-" is standard input; an output of "-" or empty is standard
// output. A pipe or a terminal is never destroyed by writing, so only a
// regular file counts.
bool OutputIsInput(const QByteArray &input, const QByteArray &output);

} // namespace veskel::cli
