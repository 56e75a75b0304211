// The command line of veskel-cli: a command, its operands and options.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace veskel::cli {

enum class Command
{
    Help,
    Version,
    Decrypt,
    Encrypt,
    Check,
    Convert,
};

struct Options
{
    Command command = Command::Help;
    QByteArray input;         // decrypt/check/convert: the file; encrypt: the content,
                              // "-" for stdin
    QByteArray output;        // -o; empty when not given; "-" is stdout (decrypt only);
                              // convert: empty replaces the input
    bool force = false;       // encrypt --old-format: write text that does not survive
                              // whole; decrypt of an old-format document: write the text
                              // though the password check fails
    bool oldFormat = false;   // encrypt: write the old format instead of the strong one
    int passwordFd = -1;      // --password-fd; -1 asks on the terminal
    bool askPassword = false; // check: ask the password on the terminal and verify it
};

// "-" names standard input (as an input) or standard output (decrypt -o).
inline bool IsStdStream(const QByteArray &path)
{
    return path == "-";
}

// Parses the arguments after the program name. File names are kept as the
// bytes given, whatever they are; every other argument is UTF-8 text and one
// that is not is refused (exit 2). A malformed command line is a usage error
// (exit 1). Both throw CliError.
Options ParseOptions(const QList<QByteArray> &arguments);

// The text --help prints.
QString UsageText();

} // namespace veskel::cli
