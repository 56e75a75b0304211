// The commands of veskel-cli. Each returns the exit code of a success and
// throws CliError (or a veskel::Exception of the file layer) on failure.
#pragma once

#include "cli/options.h"

#include <QByteArray>
#include <QList>

namespace veskel::cli {

// decrypt FILE [-o OUT] [--force]: a strong document's content byte for
// byte, or an old-format document's text as UTF-8 up to its first U+0000.
// A strong document that fails authentication is refused (exit 1) before
// anything is written; so is an old-format block that fails the password
// check, unless --force.
int RunDecrypt(const Options &options);

// encrypt [IN] -o FILE [--old-format [--force]]: the input's bytes (UTF-8
// text or RTF) written as a strong document, or its UTF-8 text as an
// old-format document.
int RunEncrypt(const Options &options);

// check FILE [--ask-password | --password-fd N]: which format FILE is in and
// whether it is well formed, and, with a password, whether the password is
// right.
int RunCheck(const Options &options);

// convert FILE [-o OUT]: the old-format document FILE rewritten as a strong
// document under the same password, replacing FILE atomically or written to
// OUT. A wrong password (exit 1) or a strong FILE (exit 5) changes nothing.
int RunConvert(const Options &options);

// The whole program after main(): parses the arguments after the program
// name, runs the command, prints any failure as one line on stderr and
// returns the exit code.
int RunCli(const QList<QByteArray> &arguments);

} // namespace veskel::cli
