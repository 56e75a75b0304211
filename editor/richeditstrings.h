// The line list of the editor control (its Lines): loading a file or a stream
// into the rich edit window, and the window's display lines as text.
#pragma once

#include "platform/richedit/richeditconst.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringDecoder>

#include <memory>
#include <optional>

namespace veskel {

class TRichEditor;

// The byte-order marks a stream may begin with; Ansi when none.
enum class TEncoding
{
    Ansi,
    Utf16LE,
    Utf16BE,
    Utf8
};

// Copies bytes from the source stream for the window.
class TConversion
{
public:
    virtual ~TConversion() = default;
    // Reads up to size bytes into buffer; returns how many were read. Throws
    // EReadError when the stream fails.
    virtual qint64 ConvertReadStream(QIODevice &stream, char *buffer, qint64 size);
};

// What the chunk callback works on during one stream-in.
struct StreamContext
{
    TConversion *converter = nullptr;
    QIODevice *stream = nullptr;
    bool plainText = false;
    std::optional<TEncoding> encoding;
    bool firstChunk = true;
    qint64 startPosition = 0;
    // Converted bytes not yet handed to the window, in plain-text mode.
    QByteArray pending;
    std::unique_ptr<QStringDecoder> decoder;
};

// Which file some bytes were read from, taken from the descriptor they came
// through (not from the path, which may name another file by then).
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 modifiedNs = 0;
};

class TRichEditStrings
{
public:
    explicit TRichEditStrings(TRichEditor *editor);

    // The largest file LoadFile opens. Random bytes, the slowest content to
    // lay out, take about 1.2 s at this size on a 2-core machine (3 s when
    // the machine is busy), and twice that at twice the size.
    static constexpr qint64 MaxFileBytes = 2 * 1024 * 1024;

    // Replaces the content with the file's bytes, read whole before the
    // window takes them. Throws EFOpenError when the file cannot be opened, is
    // no regular file or is larger than MaxFileBytes, EReadError when reading
    // fails, and EOutOfResources ("Failed to Load Stream") when the window
    // takes neither attempt; the content is then unchanged.
    void LoadFile(const QString &path);
    // The file's bytes as LoadFile reads them, with the same refusals and
    // errors, but up to maxBytes; the window is not touched. The caller
    // wipes them.
    static QByteArray ReadFile(const QString &path, qint64 maxBytes = MaxFileBytes,
                               FileIdentity *identity = nullptr);
    // Why a file over maxBytes is refused, for EFOpenError.
    static QString TooLargeReason(qint64 maxBytes);
    // Replaces the content with bytes as LoadFile would show a file of them.
    void LoadBytes(const QByteArray &bytes);
    // Replaces the content with the stream's bytes from its current position.
    void StreamIn(QIODevice &stream, std::optional<TEncoding> encoding);

    static TEncoding DetectEncoding(QIODevice &stream);
    // The chunk callback handed to the window.
    static win::DWORD ReadChunk(win::DWORD_PTR cookie, win::LPBYTE buffer, win::LONG size,
                                win::LONG *count);

    // Display lines; the empty last line is not counted.
    int LineCount() const;
    // Display line i without its line break, at most 4,096 characters.
    QString LineAt(int index) const;

    win::UINT LastStreamFormat() const { return m_lastStreamFormat; }

    // Never set in this program: a converter of the line list's own.
    TConversion *Converter = nullptr;

private:
    TRichEditor *m_editor;
    win::UINT m_lastStreamFormat = 0;
};

} // namespace veskel
