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
};

struct Options
{
    Command command = Command::Help;
    QString input;       // decrypt/check: the file; encrypt: the text, "-" for stdin
    QString output;      // -o; empty when not given; "-" is stdout (decrypt only)
    bool force = false;  // encrypt: write text that does not survive whole
    int passwordFd = -1; // --password-fd; -1 asks on the terminal
};

// "-" names standard input (as an input) or standard output (decrypt -o).
inline bool IsStdStream(const QString &path)
{
    return path == QLatin1String("-");
}

// Parses the arguments after the program name. Arguments are bytes in UTF-8;
// one that is not is refused (exit 2), a malformed command line is a usage
// error (exit 1). Both throw CliError.
Options ParseOptions(const QList<QByteArray> &arguments);

// The text --help prints.
QString UsageText();

} // namespace veskel::cli
