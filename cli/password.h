// Getting the password: from a file descriptor the caller names, or typed on
// the terminal without echo. Never from the command line. A password is
// returned as its UTF-8 bytes in locked memory (SecretBytes): the bytes the
// strong format derives its key from, and what the old format decodes.
#pragma once

#include "cipher/secretbytes.h"

#include <QString>

namespace veskel::cli {

// The longest password line read from a descriptor, in bytes.
inline constexpr qsizetype MaxPasswordBytes = qsizetype(4) * 1024 * 1024;

// The first line of fd without its line end (LF or CR LF; a last line may
// lack one). Read a byte at a time, so whatever follows the line is still
// there for the next reader of fd. Throws CliError: exit 1 when fd cannot be
// read or holds no line at all, exit 2 when the line is not UTF-8 or too long.
SecretBytes ReadPasswordFromFd(int fd);

// Shows the prompt on the controlling terminal and reads one line with echo
// off; the terminal's mode is put back on every path, a SIGINT, SIGTERM,
// SIGHUP or SIGQUIT included. Throws CliError (exit 1) when there is no
// terminal or nothing is entered, exit 2 when the line is not UTF-8.
SecretBytes AskPasswordOnTerminal(const QString &prompt);

// The password for a command: from passwordFd when it is >= 0, else asked on
// the terminal; with confirm, asked twice there and refused (exit 1) unless
// both agree, and an empty one refused (exit 1) unless the user answers yes
// to using it.
SecretBytes ObtainPassword(int passwordFd, bool confirm);

} // namespace veskel::cli
