#include "platform/win/process.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <string>
#include <unistd.h>
#include <vector>

namespace win {

namespace {

// The stored command line. std::u16string keeps it NUL-terminated, so c_str()
// is what GetCommandLineW hands out.
std::u16string &commandLineStorage()
{
    static std::u16string storage;
    return storage;
}

bool isBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

void appendBackslashes(QString &out, qsizetype count)
{
    out.append(QString(count, QLatin1Char('\\')));
}

// The path /proc/self/exe points to, as raw bytes; empty when it cannot be read.
QByteArray executablePathBytes()
{
    // Paths longer than PATH_MAX exist, so grow until readlink leaves room.
    constexpr std::size_t MaxSize = std::size_t(1) << 20;
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (std::size_t(n) < buffer.size())
            return QByteArray(buffer.data(), qsizetype(n));
        if (buffer.size() >= MaxSize)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

namespace {

QList<int> &undecodableStorage()
{
    static QList<int> indexes;
    return indexes;
}

} // namespace

void InitCommandLine(int argc, const char *const *argv)
{
    QStringList arguments;
    undecodableStorage().clear();
    for (int i = 0; argv != nullptr && i < argc && argv[i] != nullptr; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
        // Bytes that are not UTF-8 come back as U+FFFD: the text would name
        // another file.
        if (QFile::encodeName(arguments.constLast()) != QByteArrayView(argv[i]))
            undecodableStorage().append(i);
    }
    SetCommandLineText(BuildCommandLine(arguments));
}

bool CommandLineArgumentDecodes(int index)
{
    return !undecodableStorage().contains(index);
}

void SetCommandLineText(const QString &commandLine)
{
    commandLineStorage() = commandLine.toStdU16String();
}

// The tokenizer reads a backslash run as literal unless a double quote follows
// it; before a quote, 2k backslashes give k and open or close quoting, 2k + 1
// give k and a literal quote. So: each literal quote gets its preceding run
// doubled plus one escaping backslash, and the run before the closing quote is
// doubled. Other backslashes stay as they are.
QString QuoteCommandLineArgument(const QString &argument)
{
    bool wrap = argument.isEmpty();
    for (QChar c : argument) {
        if (isBlank(c)) {
            wrap = true;
            break;
        }
    }

    QString out;
    out.reserve(argument.size() + 2);
    if (wrap)
        out.append(QLatin1Char('"'));
    qsizetype backslashes = 0;
    for (QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        if (c == QLatin1Char('"')) {
            appendBackslashes(out, 2 * backslashes + 1);
        } else {
            appendBackslashes(out, backslashes);
        }
        out.append(c);
        backslashes = 0;
    }
    if (wrap) {
        appendBackslashes(out, 2 * backslashes);
        out.append(QLatin1Char('"'));
    } else {
        appendBackslashes(out, backslashes);
    }
    return out;
}

QString BuildCommandLine(const QStringList &arguments)
{
    QString out;
    for (const QString &argument : arguments) {
        if (!out.isEmpty())
            out.append(QLatin1Char(' '));
        out.append(QuoteCommandLineArgument(argument));
    }
    return out;
}

LPCWSTR GetCommandLineW()
{
    return commandLineStorage().c_str();
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    if (module != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const QByteArray bytes = executablePathBytes();
    if (bytes.isEmpty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const QString path = QFile::decodeName(bytes);
    const auto length = std::size_t(path.size());
    if (length < size) {
        std::copy_n(reinterpret_cast<const WCHAR *>(path.constData()), length, buffer);
        buffer[length] = 0;
        SetLastError(ERROR_SUCCESS);
        return DWORD(length);
    }
    if (size > 0) {
        std::copy_n(reinterpret_cast<const WCHAR *>(path.constData()), size - 1, buffer);
        buffer[size - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

// Steps one code point, not one grapheme: a combining mark is a character of
// its own. The tokenizer steps past a quote or a backslash with this, and a
// mark that follows one must still be seen (and copied) rather than skipped.
LPWSTR CharNextW(LPCWSTR p)
{
    if (p == nullptr)
        return nullptr;
    if (p[0] == 0)
        return const_cast<LPWSTR>(p);
    if (QChar::isHighSurrogate(p[0]) && QChar::isLowSurrogate(p[1]))
        return const_cast<LPWSTR>(p + 2);
    return const_cast<LPWSTR>(p + 1);
}

LPWSTR CharLowerW(LPWSTR text)
{
    if (text == nullptr) {
        return nullptr;
    }
    for (LPWSTR p = text; *p != 0; ++p) {
        *p = QChar(*p).toLower().unicode();
    }
    return text;
}

namespace {
int startupShowCommand = SW_SHOWDEFAULT;
}

int GetStartupShowCommand()
{
    return startupShowCommand;
}

void SetStartupShowCommand(int command)
{
    startupShowCommand = command;
}

} // namespace win
