#include "richeditstrings.h"

#include "editor/richeditor.h"
#include "platform/win/codepage.h"
#include "runtime/exceptions.h"
#include "runtime/filekind.h"
#include "runtime/memory.h"

#include <QBuffer>
#include <QFile>
#include <QScopeGuard>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veskel {

using namespace win;

namespace {

constexpr int kLineBuffer = 4096;

const char *decoderName(TEncoding encoding)
{
    switch (encoding) {
    case TEncoding::Utf16LE:
        return "UTF-16LE";
    case TEncoding::Utf16BE:
        return "UTF-16BE";
    case TEncoding::Utf8:
        return "UTF-8";
    case TEncoding::Ansi:
        break;
    }
    return "windows-1252";
}

// Fills buffer from the context: in plain-text mode the stream's bytes are
// converted to UTF-16LE first, and what does not fit waits for the next call.
qint64 readConverted(StreamContext &context, char *buffer, qint64 size)
{
    if (!context.plainText) {
        return context.converter->ConvertReadStream(*context.stream, buffer, size);
    }
    const TEncoding encoding = context.encoding.value_or(TEncoding::Ansi);
    while (context.pending.size() < size) {
        std::array<char, 4096> raw{};
        const auto wipeRaw = qScopeGuard([&raw] { win::SecureZeroMemory(raw.data(), raw.size()); });
        const qint64 read = context.converter->ConvertReadStream(*context.stream, raw.data(),
                                                                 static_cast<qint64>(raw.size()));
        if (read <= 0) {
            break;
        }
        if (encoding == TEncoding::Utf16LE) {
            context.pending.append(raw.data(), read);
            continue;
        }
        if (!context.decoder) {
            context.decoder = std::make_unique<QStringDecoder>(decoderName(encoding));
        }
        const QString text = context.decoder->decode(QByteArrayView(raw.data(), read));
        context.pending.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    const qint64 count = std::min<qint64>(size, context.pending.size());
    std::memcpy(buffer, context.pending.constData(), static_cast<std::size_t>(count));
    context.pending.remove(0, count);
    return count;
}

QString systemReason(int error)
{
    return SystemErrorMessage(error) + u'.';
}

QString tooLargeReason(qint64 maxBytes)
{
    return TRichEditStrings::TooLargeReason(maxBytes);
}

// The whole content of the regular file at path (symbolic links followed).
// Anything else is refused before a byte is read: a named pipe, a device, a
// socket, a folder, or a file over MaxFileBytes. Throws EFOpenError, or
// EReadError when reading fails.
QByteArray readRegularFile(const QString &path, qint64 maxBytes, FileIdentity *identity)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        // Without O_NONBLOCK, opening a named pipe waits for a writer.
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all (ENXIO): say what it is.
        struct stat info = {};
        if (error == ENXIO && ::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
            throw EFOpenError(path, NotRegularFileReason(info.st_mode));
        }
        throw EFOpenError(path, systemReason(error));
    }
    // The type of what was opened, not of what the path names now.
    struct stat info = {};
    QString refusal;
    if (::fstat(fd, &info) != 0) {
        refusal = systemReason(errno);
    } else {
        refusal = NotRegularFileReason(info.st_mode);
        if (refusal.isEmpty() && info.st_size > maxBytes) {
            refusal = tooLargeReason(maxBytes);
        }
    }
    QFile file;
    if (refusal.isEmpty() &&
        !file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        refusal = file.errorString() + u'.';
    }
    if (!refusal.isEmpty()) {
        ::close(fd);
        throw EFOpenError(path, refusal);
    }
    // Read to the end: the size may have changed since fstat, and some files
    // report none.
    QByteArray bytes(info.st_size + 1, Qt::Uninitialized);
    qint64 size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes) {
                WipeBytes(bytes);
                throw EFOpenError(path, tooLargeReason(maxBytes));
            }
            QByteArray larger(std::min<qint64>(2 * size, maxBytes + 1), Qt::Uninitialized);
            std::memcpy(larger.data(), bytes.constData(), static_cast<std::size_t>(size));
            WipeBytes(bytes);
            bytes.swap(larger);
        }
        const qint64 read = file.read(bytes.data() + size, bytes.size() - size);
        if (read < 0) {
            WipeBytes(bytes);
            throw EReadError();
        }
        if (read == 0) {
            break;
        }
        size += read;
    }
    bytes.truncate(size);
    if (identity != nullptr) {
        *identity = {quint64(info.st_dev), quint64(info.st_ino),
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
    return bytes;
}

} // namespace

qint64 TConversion::ConvertReadStream(QIODevice &stream, char *buffer, qint64 size)
{
    const qint64 read = stream.read(buffer, size);
    if (read < 0) {
        throw EReadError();
    }
    return read;
}

TRichEditStrings::TRichEditStrings(TRichEditor *editor)
    : m_editor(editor)
{}

void TRichEditStrings::LoadFile(const QString &path)
{
    // Every failure of the file system comes before the window is touched.
    QByteArray bytes = readRegularFile(path, MaxFileBytes, nullptr);
    const WipedOnExit wipeBytes(bytes);
    LoadBytes(bytes);
}

QByteArray TRichEditStrings::ReadFile(const QString &path, qint64 maxBytes, FileIdentity *identity)
{
    return readRegularFile(path, maxBytes, identity);
}

QString TRichEditStrings::TooLargeReason(qint64 maxBytes)
{
    return QStringLiteral("The file is larger than %1 MB, the most the editor opens.")
        .arg(maxBytes / (1024 * 1024));
}

void TRichEditStrings::LoadBytes(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes); // shares the bytes, copies none
    buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    StreamIn(buffer, std::nullopt);
}

TEncoding TRichEditStrings::DetectEncoding(QIODevice &stream)
{
    const auto marked = [&stream](QByteArrayView mark) {
        const QByteArray head = stream.peek(mark.size());
        return head.size() == mark.size() && QByteArrayView(head) == mark;
    };
    if (marked("\xFF\xFE")) {
        return TEncoding::Utf16LE;
    }
    if (marked("\xFE\xFF")) {
        return TEncoding::Utf16BE;
    }
    if (marked("\xEF\xBB\xBF")) {
        return TEncoding::Utf8;
    }
    return TEncoding::Ansi;
}

DWORD TRichEditStrings::ReadChunk(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG *count)
{
    *count = 0;
    auto *context = reinterpret_cast<StreamContext *>(cookie);
    if (context == nullptr || context->converter == nullptr) {
        return 0;
    }
    try {
        char *out = reinterpret_cast<char *>(buffer);
        qint64 read = readConverted(*context, out, size);
        if (context->firstChunk) {
            context->firstChunk = false;
            if (read >= 2 && static_cast<unsigned char>(out[0]) == 0xFF &&
                static_cast<unsigned char>(out[1]) == 0xFE) {
                // The UTF-16LE byte-order mark never reaches the window.
                context->pending.clear();
                context->decoder.reset();
                if (!context->stream->seek(context->startPosition + 2)) {
                    throw EReadError();
                }
                read = readConverted(*context, out, size);
            }
        }
        *count = static_cast<LONG>(read);
        return 0;
    } catch (const std::exception &) {
        return 1;
    }
}

void TRichEditStrings::StreamIn(QIODevice &stream, std::optional<TEncoding> encoding)
{
    RichEditWindow *window = m_editor->InnerWindow();
    const qint64 start = stream.pos();
    std::unique_ptr<TConversion> own;
    StreamContext context;
    if (Converter != nullptr) {
        context.converter = Converter;
    } else {
        own = std::make_unique<TConversion>();
        context.converter = own.get();
    }
    context.stream = &stream;
    context.plainText = m_editor->Properties().PlainText();
    context.encoding = encoding.has_value() ? encoding : DetectEncoding(stream);
    context.startPosition = start;

    const TRichEditorProperties &properties = m_editor->Properties();
    const TRichEditStreamModes modes = properties.StreamModes();
    const TRichEditStreamModes allowed = resmSelection | resmPlainRtf | resmUnicode;
    UINT format = 0;
    if (properties.MemoMode() || properties.PlainText()) {
        format = SF_TEXT | SF_UNICODE;
    } else {
        format = SF_RTF;
        if ((modes & allowed & resmPlainRtf) != 0) {
            format |= SFF_PLAINRTF;
        }
    }
    if ((modes & allowed & resmSelection) != 0) {
        format |= SFF_SELECTION;
    }

    EDITSTREAM editStream{reinterpret_cast<DWORD_PTR>(&context), 0, &TRichEditStrings::ReadChunk};
    window->streamIn(format, editStream);
    if ((format & SF_RTF) != 0 && editStream.dwError != 0) {
        // The window did not take the data as rich text: read it again as
        // UTF-16 text.
        if (!stream.seek(start)) {
            throw EOutOfResources(QStringLiteral("Failed to Load Stream"));
        }
        context.firstChunk = true;
        context.pending.clear();
        context.decoder.reset();
        format = SF_TEXT | SF_UNICODE;
        editStream.dwError = 0;
        window->streamIn(format, editStream);
    }
    if (editStream.dwError != 0) {
        throw EOutOfResources(QStringLiteral("Failed to Load Stream"));
    }
    m_lastStreamFormat = format;
}

int TRichEditStrings::LineCount() const
{
    RichEditWindow *window = m_editor->InnerWindow();
    const auto count = static_cast<int>(window->getLineCount());
    if (count <= 0) {
        return count;
    }
    const auto lastStart = static_cast<LONG>(window->lineIndex(count - 1));
    const bool lastEmpty = lastStart == -1 || window->lineLength(lastStart) == 0;
    return lastEmpty ? count - 1 : count;
}

QString TRichEditStrings::LineAt(int index) const
{
    RichEditWindow *window = m_editor->InnerWindow();
    std::array<WCHAR, kLineBuffer> buffer{};
    const auto wipeBuffer = qScopeGuard(
        [&buffer] { win::SecureZeroMemory(buffer.data(), buffer.size() * sizeof(WCHAR)); });
    const std::uint16_t room = kLineBuffer;
    std::memcpy(buffer.data(), &room, sizeof room);
    const auto copied = static_cast<qsizetype>(window->getLine(index, buffer.data()));
    QString line(reinterpret_cast<const QChar *>(buffer.data()), copied);
    if (line.endsWith(u'\r')) {
        line.chop(1);
    }
    while (line.endsWith(u'\r') || line.endsWith(u'\n')) {
        line.chop(1);
    }
    return line;
}

} // namespace veskel
