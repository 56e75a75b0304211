#include "fileio.h"

#include "cli/cliexit.h"
#include "runtime/exceptions.h"
#include "runtime/filekind.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
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

[[noreturn]] void createError(const QByteArray &path, const QString &reason)
{
    fileError(EFCreateError(QFile::decodeName(path), reason).message());
}

// Writes all the bytes; 0 or the errno of the failure.
int writeFully(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR) {
            return errno;
        }
        done += std::max<ssize_t>(n, 0);
    }
    return 0;
}

// Writes all the bytes to a stream opened for the output at path; a failure
// leaves what was written so far.
void writeStream(int fd, const QByteArray &path, QByteArrayView bytes, const QString &writeError)
{
    if (const int error = writeFully(fd, bytes)) {
        fileError(QStringLiteral("%1 %2. %3; the output is incomplete")
                      .arg(writeError, DisplayName(path), SystemErrorMessage(error)));
    }
}

// Why a file that exists cannot be written, or empty for one that can.
QString unwritableReason(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
    case S_IFIFO:
    case S_IFCHR:
        return {};
    case S_IFDIR:
        return SystemErrorMessage(EISDIR);
    default:
        return QStringLiteral("It is %1; only a regular file, a FIFO or a character device "
                              "is written")
            .arg(NonRegularFileKind(mode));
    }
}

// A FIFO or a character device: opened without O_CREAT, so nothing is made if
// it is gone meanwhile, and written as it is.
void writeInPlace(const QByteArray &path, QByteArrayView bytes, const QString &writeError)
{
    int fd = -1;
    do {
        fd = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        fileError(EFOpenError(QFile::decodeName(path), SystemErrorMessage(errno)).message());
    }
    const FdCloser closer(fd, true);
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        createError(path, QStringLiteral("It changed while it was opened"));
    }
    writeStream(fd, path, bytes, writeError);
}

// Whether the descriptor is open for writing (an O_PATH one is not).
bool openForWriting(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || (flags & O_PATH) == O_PATH) {
        return false;
    }
    return (flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR;
}

// The descriptor a path spells out, when it is open: /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N or /proc/PID/fd/N with this
// process's PID; else -1.
int namedDescriptor(const QByteArray &path)
{
    if (path == "/dev/stdout") {
        return STDOUT_FILENO;
    }
    if (path == "/dev/stderr") {
        return STDERR_FILENO;
    }
    const QByteArray ownProc = "/proc/" + QByteArray::number(::getpid()) + "/fd/";
    for (const QByteArrayView prefix :
         {QByteArrayView("/dev/fd/"), QByteArrayView("/proc/self/fd/"), QByteArrayView(ownProc)}) {
        if (!path.startsWith(prefix)) {
            continue;
        }
        const QByteArrayView number = QByteArrayView(path).sliced(prefix.size());
        if (number.isEmpty() || number.size() > 9 ||
            !std::all_of(number.begin(), number.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return -1;
        }
        const int fd = number.toInt();
        return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
    }
    return -1;
}

// A descriptor the process was started with that is open for writing on the
// file `file` describes, however the path to it was spelled (/dev/./stdout,
// a link to /dev/stdout, the file's own name while standard output is
// appended to it); else -1. Every descriptor this program opens is
// close-on-exec, so one that is not was passed by the caller. Standard
// output is preferred, then standard error, then the lowest number.
int inheritedDescriptorOn(const struct stat &file)
{
    QList<int> found;
    const auto consider = [&](int fd) {
        struct stat info = {};
        const int fdFlags = ::fcntl(fd, F_GETFD);
        if (fdFlags != -1 && (fdFlags & FD_CLOEXEC) == 0 && openForWriting(fd) &&
            ::fstat(fd, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
            found.append(fd);
        }
    };
    DIR *folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) {
        // Without /proc only the standard descriptors are known.
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            consider(fd);
        }
    } else {
        const int own = ::dirfd(folder);
        while (const dirent *entry = ::readdir(folder)) {
            bool number = false;
            const int fd = QByteArrayView(entry->d_name).toInt(&number);
            if (number && fd != own) {
                consider(fd);
            }
        }
        ::closedir(folder);
    }
    if (found.isEmpty()) {
        return -1;
    }
    for (const int preferred : {STDOUT_FILENO, STDERR_FILENO}) {
        if (found.contains(preferred)) {
            return preferred;
        }
    }
    return *std::min_element(found.cbegin(), found.cend());
}

// Writes the bytes to an unnamed file in target's folder and then puts it in
// target's place; a file that dies before that leaves nothing behind. Where
// the file system has no unnamed files, a named one is made and removed on
// failure. Messages name `named`, the path the user gave.
void replaceAtomically(const QByteArray &target, const QByteArray &named, QByteArrayView bytes,
                       bool existed, mode_t mode, const QString &writeError)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : target.left(std::max<qsizetype>(slash, 1));
    QByteArray tempName;
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        tempName = target + ".XXXXXX";
        fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    }
    if (fd < 0) {
        createError(named, SystemErrorMessage(errno));
    }
    const FdCloser closer(fd, true);
    const auto fail = [&](int error) {
        if (!tempName.isEmpty()) {
            ::unlink(tempName.constData());
        }
        fileError(QStringLiteral("%1 %2. %3; %4")
                      .arg(writeError, DisplayName(named), SystemErrorMessage(error),
                           existed ? QStringLiteral("the file was not changed")
                                   : QStringLiteral("no file was written")));
    };
    if (::fchmod(fd, mode) != 0) {
        fail(errno);
    }
    if (const int error = writeFully(fd, bytes)) {
        fail(error);
    }
    if (::fdatasync(fd) != 0) {
        fail(errno);
    }
    if (tempName.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        const auto link = [&](const QByteArray &name) {
            return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                            AT_SYMLINK_FOLLOW) == 0;
        };
        // A new file appears at once under its name; an old one is replaced by
        // a rename from a name of its own.
        if (!existed && link(target)) {
            return;
        }
        if (!existed && errno != EEXIST) {
            fail(errno);
        }
        for (int attempt = 0; attempt < 100 && tempName.isEmpty(); ++attempt) {
            const QByteArray name =
                target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            if (link(name)) {
                tempName = name;
            } else if (errno != EEXIST) {
                fail(errno);
            }
        }
        if (tempName.isEmpty()) {
            fail(EEXIST);
        }
    }
    if (::rename(tempName.constData(), target.constData()) != 0) {
        fail(errno);
    }
}

} // namespace

QString DisplayName(const QByteArray &path, bool output)
{
    if (path == "-") {
        return output ? QStringLiteral("standard output") : QStringLiteral("standard input");
    }
    return QStringLiteral("\"%1\"").arg(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
}

bool ReadWholeInput(const QByteArray &path, qsizetype limit, SecureBuffer &out)
{
    const bool standardInput = path == "-";
    int fd = STDIN_FILENO;
    if (!standardInput) {
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            fileError(EFOpenError(QFile::decodeName(path), SystemErrorMessage(errno)).message());
        }
    }
    const FdCloser closer(fd, !standardInput);

    struct stat info = {};
    if (::fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            fileError(EFOpenError(QFile::decodeName(path), SystemErrorMessage(EISDIR)).message());
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

WrittenOutput WriteOutputFile(const QByteArray &path, QByteArrayView bytes, mode_t newFileMode,
                              const QString &writeError)
{
    struct stat info = {};
    const bool exists = ::stat(path.constData(), &info) == 0;
    const int statError = errno;
    // A descriptor the caller opened (`-o /dev/stdout >> log`, or `-o log`
    // with `>> log`) is written as it stands, whatever it leads to. Following
    // its link to a regular file and replacing that would throw away what the
    // file held and leave the descriptor on the old, unlinked file.
    int fd = namedDescriptor(path);
    if (fd < 0 && exists) {
        fd = inheritedDescriptorOn(info);
    }
    if (fd >= 0) {
        if (::fstat(fd, &info) != 0) {
            createError(path, SystemErrorMessage(errno));
        }
        if (const QString reason = unwritableReason(info.st_mode); !reason.isEmpty()) {
            createError(path, reason);
        }
        writeStream(fd, path, bytes, writeError);
        return {};
    }
    if (!exists) {
        const int error = statError;
        struct stat link = {};
        if (error == ENOENT && ::lstat(path.constData(), &link) == 0) {
            createError(path,
                        QStringLiteral("It is a symbolic link to a file that does not exist"));
        }
        if (error != ENOENT) {
            createError(path, SystemErrorMessage(error));
        }
        const mode_t mask = ::umask(0);
        ::umask(mask);
        replaceAtomically(path, path, bytes, false, newFileMode & ~mask, writeError);
        return {};
    }
    if (const QString reason = unwritableReason(info.st_mode); !reason.isEmpty()) {
        createError(path, reason);
    }
    if (!S_ISREG(info.st_mode)) {
        writeInPlace(path, bytes, writeError);
        return {};
    }
    // Through a symbolic link, the file it leads to is replaced.
    char *resolved = ::realpath(path.constData(), nullptr);
    if (resolved == nullptr) {
        createError(path, SystemErrorMessage(errno));
    }
    const QByteArray target(resolved);
    std::free(resolved);
    replaceAtomically(target, path, bytes, true, info.st_mode & 0777, writeError);
    return {true, info.st_mode & 0777};
}

bool OutputIsInput(const QByteArray &input, const QByteArray &output)
{
    struct stat in = {};
    struct stat out = {};
    const bool inputKnown =
        input == "-" ? ::fstat(STDIN_FILENO, &in) == 0 : ::stat(input.constData(), &in) == 0;
    const bool outputKnown = output.isEmpty() || output == "-"
                                 ? ::fstat(STDOUT_FILENO, &out) == 0
                                 : ::stat(output.constData(), &out) == 0;
    return inputKnown && outputKnown && S_ISREG(in.st_mode) && in.st_dev == out.st_dev &&
           in.st_ino == out.st_ino;
}

} // namespace veskel::cli
