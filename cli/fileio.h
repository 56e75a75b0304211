// Reading inputs whole and writing outputs for veskel-cli. Failures throw
// CliError with exit code 2 and a message that names the file and gives the
// system's reason.
#pragma once

#include "cli/securebuffer.h"

#include <QByteArrayView>
#include <QString>

namespace veskel::cli {

// The largest input read; anything larger is neither a document nor a text a
// document could hold.
inline constexpr qsizetype MaxInputSize = qsizetype(64) * 1024 * 1024;

// How a file is named in messages: its absolute path in quotes, or "standard
// input" / "standard output" for "-".
QString DisplayName(const QString &path, bool output = false);

// Reads the file at path ("-": standard input) whole into out. False when it
// holds more than limit bytes; what was read is then in out.
bool ReadWholeInput(const QString &path, qsizetype limit, SecureBuffer &out);

// Writes all the bytes to standard output.
void WriteStandardOutput(QByteArrayView bytes);

// Replaces the file at path with the bytes, atomically: on any failure an old
// file stays as it was and no temporary file is left. A file that did not
// exist is created readable and writable by its owner only.
void WritePrivateFile(const QString &path, QByteArrayView bytes);

} // namespace veskel::cli
