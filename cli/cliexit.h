// Exit codes of veskel-cli and the error that carries one to main().
#pragma once

#include <QString>

namespace veskel::cli {

enum ExitCode : int
{
    ExitSuccess = 0,
    ExitUsage = 1,
    ExitWrongPassword = 1, // shares its code with usage errors
    ExitFileError = 2,
    ExitLossyText = 3,
    ExitKeyFailure = 4,
    ExitAlreadyStrong = 5, // convert: the file is already in the strong format
};

// A failure that ends the command: its one-line message for stderr (without
// the program prefix) and the exit code.
class CliError
{
public:
    CliError(int exitCode, QString message)
        : m_exitCode(exitCode)
        , m_message(std::move(message))
    {}
    int exitCode() const { return m_exitCode; }
    const QString &message() const { return m_message; }

private:
    int m_exitCode;
    QString m_message;
};

} // namespace veskel::cli
