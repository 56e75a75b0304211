#include "password.h"

#include "cli/cliexit.h"
#include "cli/securebuffer.h"
#include "cli/utf8.h"
#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace veskel::cli {

namespace {

enum class LineResult
{
    Line,        // a line, with or without a line end after it
    Nothing,     // the stream ended before any byte
    TooLong,     // more than the limit before the line end
    ReadFailure, // errno tells why
};

// Reads up to and including the next LF, a byte at a time; the line end is
// not stored.
LineResult readLine(int fd, SecureBuffer &line, qsizetype limit)
{
    bool anyByte = false;
    for (;;) {
        char byte = 0;
        const ssize_t n = ::read(fd, &byte, 1);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LineResult::ReadFailure;
        }
        if (n == 0) {
            return anyByte ? LineResult::Line : LineResult::Nothing;
        }
        anyByte = true;
        if (byte == '\n') {
            break;
        }
        if (line.size() >= limit) {
            win::SecureZeroMemory(&byte, 1);
            return LineResult::TooLong;
        }
        line.append(byte);
        win::SecureZeroMemory(&byte, 1);
    }
    if (line.size() > 0 && line.data()[line.size() - 1] == '\r') {
        line.commit(-1);
    }
    return LineResult::Line;
}

// The line's bytes, checked to be UTF-8, copied into locked memory; the
// line is wiped by its owner.
SecretBytes passwordBytes(const SecureBuffer &line)
{
    // No offset or byte value here: they would tell something of the password.
    if (FirstInvalidUtf8Offset(line.view()) >= 0) {
        throw CliError(ExitFileError, QStringLiteral("the password is not valid UTF-8"));
    }
    return SecretBytes::FromBytes(line.view());
}

void writeAll(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // a prompt that cannot be shown does not stop the reading
        }
        done += n;
    }
}

// The terminal whose echo is off, for the signal handler.
volatile std::sig_atomic_t g_terminalFd = -1;
termios g_savedMode = {};
constexpr int RestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previousActions[std::size(RestoringSignals)] = {};

extern "C" void restoreTerminalAndRaise(int signalNumber)
{
    const int fd = g_terminalFd;
    if (fd >= 0) {
        ::tcsetattr(fd, TCSANOW, &g_savedMode);
        const char newline = '\n';
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &newline, 1);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Turns the terminal's echo off for its lifetime.
class EchoOff
{
public:
    explicit EchoOff(int fd)
        : m_fd(fd)
    {
        termios mode = {};
        if (::tcgetattr(fd, &mode) != 0) {
            throw CliError(ExitUsage, QStringLiteral("cannot use the terminal for the password. %1")
                                          .arg(SystemErrorMessage(errno)));
        }
        g_savedMode = mode;
        g_terminalFd = fd;
        struct sigaction action = {};
        action.sa_handler = restoreTerminalAndRaise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(RestoringSignals); ++i) {
            ::sigaction(RestoringSignals[i], &action, &g_previousActions[i]);
        }
        mode.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL);
        // TCSAFLUSH drops anything typed ahead, which was echoed.
        ::tcsetattr(fd, TCSAFLUSH, &mode);
    }
    ~EchoOff()
    {
        ::tcsetattr(m_fd, TCSANOW, &g_savedMode);
        g_terminalFd = -1;
        for (std::size_t i = 0; i < std::size(RestoringSignals); ++i) {
            ::sigaction(RestoringSignals[i], &g_previousActions[i], nullptr);
        }
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    int m_fd;
};

class Terminal
{
public:
    Terminal()
        : m_fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (m_fd < 0) {
            throw CliError(ExitUsage, QStringLiteral("no terminal to ask for the password on (%1); "
                                                     "give it with --password-fd N")
                                          .arg(SystemErrorMessage(errno)));
        }
    }
    ~Terminal() { ::close(m_fd); }
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    SecretBytes ask(const QString &prompt)
    {
        SecureBuffer line;
        LineResult result;
        int readError = 0;
        {
            const EchoOff echoOff(m_fd);
            writeAll(m_fd, prompt.toUtf8());
            result = readLine(m_fd, line, MaxPasswordBytes);
            readError = errno;
        }
        writeAll(m_fd, "\n");
        switch (result) {
        case LineResult::Line:
            return passwordBytes(line);
        case LineResult::Nothing:
            throw CliError(ExitUsage, QStringLiteral("no password was entered"));
        case LineResult::TooLong:
            throw CliError(ExitFileError, QStringLiteral("the password is too long"));
        case LineResult::ReadFailure:
            break;
        }
        throw CliError(ExitFileError, QStringLiteral("cannot read the password from the "
                                                     "terminal. %1")
                                          .arg(SystemErrorMessage(readError)));
    }

    // Asks a question with echo on; true only for y or yes in any case.
    bool confirm(const QString &question)
    {
        writeAll(m_fd, question.toUtf8());
        SecureBuffer line;
        if (readLine(m_fd, line, 16) != LineResult::Line) {
            writeAll(m_fd, "\n");
            return false;
        }
        const QByteArray answer = line.view().toByteArray().trimmed().toLower();
        return answer == "y" || answer == "yes";
    }

private:
    int m_fd;
};

} // namespace

SecretBytes ReadPasswordFromFd(int fd)
{
    SecureBuffer line;
    switch (readLine(fd, line, MaxPasswordBytes)) {
    case LineResult::Line:
        return passwordBytes(line);
    case LineResult::Nothing:
        throw CliError(
            ExitUsage,
            QStringLiteral("no password on file descriptor %1: it ended at once").arg(fd));
    case LineResult::TooLong:
        throw CliError(ExitFileError,
                       QStringLiteral("the password on file descriptor %1 is longer than %2 bytes")
                           .arg(fd)
                           .arg(MaxPasswordBytes));
    case LineResult::ReadFailure:
        break;
    }
    const int error = errno;
    throw CliError(error == EBADF ? ExitUsage : ExitFileError,
                   QStringLiteral("cannot read the password from file descriptor %1. %2")
                       .arg(fd)
                       .arg(SystemErrorMessage(error)));
}

SecretBytes AskPasswordOnTerminal(const QString &prompt)
{
    Terminal terminal;
    return terminal.ask(prompt);
}

SecretBytes ObtainPassword(int passwordFd, bool confirm)
{
    if (passwordFd >= 0) {
        return ReadPasswordFromFd(passwordFd);
    }
    Terminal terminal;
    SecretBytes password = terminal.ask(QStringLiteral("Password: "));
    if (!confirm) {
        return password;
    }
    // Both are wiped when they are freed, however this ends.
    const SecretBytes repeated = terminal.ask(QStringLiteral("Repeat password: "));
    if (password.view() != repeated.view()) {
        throw CliError(ExitUsage, QStringLiteral("the passwords do not match"));
    }
    if (password.size() == 0 &&
        !terminal.confirm(QStringLiteral("The password is empty. Use it? [y/N] "))) {
        throw CliError(ExitUsage, QStringLiteral("the password is empty and was not used; no "
                                                 "file was written"));
    }
    return password;
}

} // namespace veskel::cli
