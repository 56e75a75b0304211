#include "fileio.h"

#include "cli/cliexit.h"
#include "platform/exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veskel::cli {

namespace {

[[noreturn]] void fileError(QString message)
{
    throw CliError(ExitFileError, std::move(message));
}

// Closes a descriptor it opened when it goes out of scope.
class FdCloser
{
public:
    explicit FdCloser(int fd, bool owned)
        : m_fd(fd)
        , m_owned(owned)
    {}
    ~FdCloser()
    {
        if (m_owned && m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;

private:
    int m_fd;
    bool m_owned;
};

} // namespace

QString DisplayName(const QString &path, bool output)
{
    if (path == QLatin1String("-")) {
        return output ? QStringLiteral("standard output") : QStringLiteral("standard input");
    }
    return QStringLiteral("\"%1\"").arg(QFileInfo(path).absoluteFilePath());
}

bool ReadWholeInput(const QString &path, qsizetype limit, SecureBuffer &out)
{
    const bool standardInput = path == QLatin1String("-");
    int fd = STDIN_FILENO;
    if (!standardInput) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            fileError(EFOpenError(path, SystemErrorMessage(errno)).message());
        }
    }
    const FdCloser closer(fd, !standardInput);

    struct stat info = {};
    if (::fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            fileError(EFOpenError(path, SystemErrorMessage(EISDIR)).message());
        }
        if (S_ISREG(info.st_mode)) {
            if (info.st_size > limit) {
                return false;
            }
            // One allocation for a regular file; the read below still goes
            // to its real end in case the file grows meanwhile.
            out.reserve(static_cast<qsizetype>(info.st_size) + 1);
        }
    }

    for (;;) {
        // Read at most one byte past the limit, enough to know it is passed.
        qsizetype room = std::min<qsizetype>(qsizetype(1) << 20, limit + 1 - out.size());
        if (room <= 0) {
            return false;
        }
        if (out.capacity() > out.size()) {
            room = std::min(room, out.capacity() - out.size());
        }
        char *space = out.appendSpace(room);
        const ssize_t n = ::read(fd, space, static_cast<std::size_t>(room));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fileError(QStringLiteral("Cannot read %1. %2")
                          .arg(standardInput ? DisplayName(path)
                                             : QStringLiteral("file ") + DisplayName(path),
                               SystemErrorMessage(errno)));
        }
        if (n == 0) {
            return true;
        }
        out.commit(n);
    }
}

void WriteStandardOutput(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done,
                                  static_cast<std::size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fileError(QStringLiteral("Cannot write to standard output. %1")
                          .arg(SystemErrorMessage(errno)));
        }
        done += n;
    }
}

void WritePrivateFile(const QString &path, QByteArrayView bytes)
{
    QSaveFile file(path);
    // The temporary file of a new output is created owner-only; an existing
    // output keeps its own permissions (QSaveFile copies them).
    const mode_t oldMask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly);
    ::umask(oldMask);
    if (!opened) {
        fileError(EFCreateError(path, file.errorString()).message());
    }
    // Written through the descriptor so that a failure has the system's reason.
    const int fd = file.handle();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const QString reason = SystemErrorMessage(errno);
            file.cancelWriting();
            fileError(QStringLiteral("Cannot write file %1. %2").arg(DisplayName(path), reason));
        }
        done += n;
    }
    if (!file.commit()) {
        fileError(
            QStringLiteral("Cannot write file %1. %2").arg(DisplayName(path), file.errorString()));
    }
}

} // namespace veskel::cli
