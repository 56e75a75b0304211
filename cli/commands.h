// The commands of veskel-cli. Each returns the exit code of a success and
// throws CliError (or a veskel::Exception of the file layer) on failure.
#pragma once

#include "cli/options.h"

#include <QByteArray>
#include <QList>

namespace veskel::cli {

// decrypt FILE [-o OUT]: the document's text, as UTF-8, up to its first U+0000.
int RunDecrypt(const Options &options);

// encrypt [IN] -o FILE [--force]: the UTF-8 text written as a document.
int RunEncrypt(const Options &options);

// check FILE: whether FILE has the document layout.
int RunCheck(const Options &options);

// The whole program after main(): parses the arguments after the program
// name, runs the command, prints any failure as one line on stderr and
// returns the exit code.
int RunCli(const QList<QByteArray> &arguments);

} // namespace veskel::cli
