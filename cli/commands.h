// The commands of veskel-cli. Each returns the exit code of a success and
// throws CliError (or a veskel::Exception of the file layer) on failure.
#pragma once

#include "cli/options.h"

#include <QByteArray>
#include <QList>

namespace veskel::cli {

// decrypt FILE [-o OUT] [--force]: the document's text, as UTF-8, up to its
// first U+0000. A block that fails the password check is refused (exit 1)
// before anything is written, unless --force.
int RunDecrypt(const Options &options);

// encrypt [IN] -o FILE [--force]: the UTF-8 text written as a document.
int RunEncrypt(const Options &options);

// check FILE [--ask-password | --password-fd N]: whether FILE has the
// document layout and, with a password, whether the password is right.
int RunCheck(const Options &options);

// The whole program after main(): parses the arguments after the program
// name, runs the command, prints any failure as one line on stderr and
// returns the exit code.
int RunCli(const QList<QByteArray> &arguments);

} // namespace veskel::cli
