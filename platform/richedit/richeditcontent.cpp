// The window's content: setting and reading its text, streaming it in and
// out, and the text messages.
#include "platform/richedit/plaintext.h"
#include "platform/richedit/richedit.h"
#include "platform/richedit/richeditview_p.h"
#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/win/codepage.h"
#include "runtime/memory.h"

#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextFrame>

#include <algorithm>
#include <cstring>
#include <optional>

namespace win {

namespace {

constexpr LONG kChunkSize = 4096;
// Stream data beyond this is refused rather than held in memory.
constexpr qsizetype kMaxStreamBytes = qsizetype(1) << 30;
constexpr DWORD kStreamErrorTooLarge = ERROR_NOT_ENOUGH_MEMORY;
constexpr DWORD kStreamErrorNotText = ERROR_INVALID_PARAMETER;

// The toolkit's word-boundary wrapping costs the square of an unbroken run's
// length (measured here: 0.5 s for a run of 100,000 letters, 7 s for 400,000),
// so a document holding a run longer than this wraps anywhere instead.
constexpr int kLongestWrappedRun = 5000;

bool holdsLongRun(const QTextBlock &block)
{
    if (block.length() <= kLongestWrappedRun) {
        return false;
    }
    QString text = block.text();
    const veskel::WipedOnExit wipeText(text);
    int run = 0;
    for (const QChar c : std::as_const(text)) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestWrappedRun) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Content

void RichEditWindow::watchLongRuns(int position, int added)
{
    const bool wholeDocument = position == 0 && added >= document()->characterCount() - 1;
    if (wholeDocument && m_wrapAnywhere) {
        m_wrapAnywhere = false; // a new content is judged afresh
        m_view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }
    if (m_wrapAnywhere || added <= 0) {
        return;
    }
    const QTextBlock last = document()->findBlock(position + added);
    for (QTextBlock block = document()->findBlock(position); block.isValid();
         block = block.next()) {
        if (holdsLongRun(block)) {
            m_wrapAnywhere = true;
            m_view->setWordWrapMode(QTextOption::WrapAnywhere);
            return;
        }
        if (block == last) {
            return;
        }
    }
}

void RichEditWindow::replaceAll(const QString &plainText)
{
    flush();
    // The window's cursor leaves the document while the text goes in. Left
    // inside, it would be carried to the end of the new text and the view
    // would follow it, laying out the whole document at once; without it the
    // layout runs from the top in steps between events. Nobody hears of the
    // cursor's absence.
    {
        const QSignalBlocker quiet(m_view);
        setTextCursor(QTextCursor());
    }
    document()->setPlainText(plainText);
    QTextCursor start(document());
    setTextCursor(start);
}

void RichEditWindow::insertPlainText(QTextCursor &cursor, const QString &text)
{
    QString normalized = NormalizeBreaks(text);
    const veskel::WipedOnExit wipeNormalized(normalized);
    cursor.insertText(normalized);
}

QString RichEditWindow::contentText(bool crlf, int from, int to) const
{
    QString raw = document()->toRawText();
    const veskel::WipedOnExit wipeRaw(raw);
    from = std::clamp(from, 0, static_cast<int>(raw.size()));
    to = std::clamp(to, from, static_cast<int>(raw.size()));
    const QChar *in = raw.constData();
    qsizetype size = to - from;
    if (crlf) {
        size += std::count_if(in + from, in + to,
                              [](QChar c) { return IsParagraphBreak(c.unicode()); });
    }
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = from; i < to; ++i) {
        const char16_t c = in[i].unicode();
        if (IsParagraphBreak(c)) {
            *out++ = QChar(u'\r');
            if (crlf) {
                *out++ = QChar(u'\n');
            }
        } else {
            *out++ = c == QChar::LineSeparator ? QChar(u'\v') : QChar(c);
        }
    }
    return text;
}

LRESULT RichEditWindow::streamIn(UINT format, EDITSTREAM &stream)
{
    flush();
    stream.dwError = 0;
    QByteArray streamed;
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    for (;;) {
        LONG got = 0;
        const DWORD result = stream.pfnCallback(
            stream.dwCookie, reinterpret_cast<LPBYTE>(chunk.data()), kChunkSize, &got);
        if (result != 0) {
            stream.dwError = result;
            return 0;
        }
        if (got <= 0) {
            break;
        }
        streamed.append(chunk.constData(), std::min(got, kChunkSize));
        if (streamed.size() > kMaxStreamBytes) {
            stream.dwError = kStreamErrorTooLarge;
            return 0;
        }
    }

    const bool selection = (format & SFF_SELECTION) != 0;
    const UINT kind = format & 0xFF;
    const bool rtfFormat = (kind & SF_RTF) != 0;
    QString plain;
    bool asRtf = false;
    if (rtfFormat && IsRtfData(streamed)) {
        asRtf = true;
    } else if (rtfFormat || (kind & SF_UNICODE) == 0) {
        if (rtfFormat && streamed.contains('\0')) {
            // 8-bit text holds no NUL: this is no text the RTF path can take.
            stream.dwError = kStreamErrorNotText;
            return 0;
        }
        plain = DecodeStreamText(streamed);
    } else {
        plain = DecodeUtf16le(streamed);
    }

    if (asRtf && !selection) {
        // A whole replacement is read straight into the document, in one edit
        // block (laid out once, at its end) and with no undo steps: the
        // history is cleared after it anyway. Only data that is not RTF fails
        // the read, and that was ruled out above.
        document()->clear();
        document()->setUndoRedoEnabled(false);
        QTextCursor cursor(document());
        [[maybe_unused]] const bool read = ReadRtf(streamed, cursor);
        Q_ASSERT(read);
        document()->setUndoRedoEnabled(true);
        document()->clearUndoRedoStacks();
        setTextCursor(QTextCursor(document()));
    } else if (asRtf) {
        // Pasted RTF is read into a document of its own, which keeps no undo
        // steps and is freed once its fragment is taken; the fragment is
        // freed before the edit block ends, which is when the new text is
        // laid out.
        std::optional<QTextDocumentFragment> fragment;
        {
            QTextDocument parsed;
            parsed.setUndoRedoEnabled(false);
            QTextCursor target(&parsed);
            if (!ReadRtf(streamed, target)) {
                stream.dwError = kStreamErrorNotText;
                return 0;
            }
            fragment.emplace(&parsed);
        }
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        cursor.insertFragment(*fragment);
        fragment.reset();
        cursor.endEditBlock();
        setTextCursor(cursor);
    } else if (!selection) {
        replaceAll(NormalizeBreaks(plain));
    } else {
        QTextCursor cursor = textCursor();
        insertPlainText(cursor, plain);
        setTextCursor(cursor);
    }
    return static_cast<LRESULT>(streamed.size());
}

LRESULT RichEditWindow::streamOut(UINT format, EDITSTREAM &stream)
{
    flush();
    stream.dwError = 0;
    int from = 0;
    int to = contentLength();
    if ((format & SFF_SELECTION) != 0) {
        from = textCursor().selectionStart();
        to = textCursor().selectionEnd();
    }
    const UINT kind = format & 0xFF;
    QByteArray streamed;
    const veskel::WipedOnExit wipeData(streamed);
    QString text;
    const veskel::WipedOnExit wipeText(text);
    if ((kind & SF_RTF) != 0) {
        streamed = WriteRtf(*document(), from, to);
    } else {
        text = contentText(true, from, to);
        streamed = (kind & SF_UNICODE) != 0 ? EncodeUtf16le(text) : EncodeAnsi(text);
    }
    qsizetype offset = 0;
    while (offset < streamed.size()) {
        const LONG size =
            static_cast<LONG>(std::min<qsizetype>(kChunkSize, streamed.size() - offset));
        LONG written = 0;
        const DWORD result = stream.pfnCallback(
            stream.dwCookie, reinterpret_cast<LPBYTE>(streamed.data() + offset), size, &written);
        if (result != 0) {
            stream.dwError = result;
            break;
        }
        if (written <= 0) {
            stream.dwError = ERROR_INVALID_PARAMETER;
            break;
        }
        offset += std::min(written, size);
    }
    return static_cast<LRESULT>(offset);
}

bool RichEditWindow::hasFormatting()
{
    flush();
    return HasWrittenFormatting(*document());
}

LRESULT RichEditWindow::getTextLengthEx(const GETTEXTLENGTHEX &request)
{
    flush();
    const bool crlf = (request.flags & GTL_USECRLF) != 0;
    qsizetype length = contentLength();
    if (crlf) {
        if (document()->rootFrame()->childFrames().isEmpty()) {
            length += document()->blockCount() - 1;
        } else {
            length = contentText(true, 0, contentLength()).size();
        }
    }
    if ((request.flags & GTL_NUMBYTES) != 0 && request.codepage == CP_UTF16LE) {
        length *= 2;
    }
    return static_cast<LRESULT>(length);
}

LRESULT RichEditWindow::getTextEx(const GETTEXTEX &request, LPWSTR buffer)
{
    flush();
    if (buffer == nullptr || request.cb == 0) {
        return 0;
    }
    QString text = contentText((request.flags & GT_USECRLF) != 0, 0, contentLength());
    const veskel::WipedOnExit wipeText(text);
    if (request.codepage == CP_UTF16LE) {
        const qsizetype room = request.cb / 2;
        if (room == 0) {
            return 0;
        }
        const qsizetype count = std::min(text.size(), room - 1);
        std::memcpy(buffer, text.constData(), static_cast<std::size_t>(count) * sizeof(WCHAR));
        buffer[count] = 0;
        return static_cast<LRESULT>(count);
    }
    QByteArray bytes = EncodeAnsi(text);
    const veskel::WipedOnExit wipeBytes(bytes);
    const qsizetype count = std::min<qsizetype>(bytes.size(), request.cb - 1);
    auto *out = reinterpret_cast<char *>(buffer);
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(count));
    out[count] = 0;
    return static_cast<LRESULT>(count);
}

BOOL RichEditWindow::setWindowText(LPCWSTR text)
{
    QString value = text == nullptr ? QString() : QString::fromUtf16(text);
    const veskel::WipedOnExit wipeValue(value);
    QString normalized = NormalizeBreaks(value);
    const veskel::WipedOnExit wipeNormalized(normalized);
    replaceAll(normalized);
    return TRUE;
}

LRESULT RichEditWindow::getWindowTextLength()
{
    return getTextLengthEx({GTL_USECRLF, CP_UTF16LE});
}

LRESULT RichEditWindow::getWindowText(LPWSTR buffer, LRESULT room)
{
    if (room <= 0) {
        return 0;
    }
    const GETTEXTEX request{static_cast<DWORD>(std::min<LRESULT>(room, 0x3FFFFFFF) * 2), GT_USECRLF,
                            CP_UTF16LE, nullptr, nullptr};
    return getTextEx(request, buffer);
}

LRESULT RichEditWindow::setTextMode(UINT mode)
{
    flush();
    if (contentLength() != 0) {
        return 1; // only an empty window changes its mode
    }
    const bool plain = (mode & TM_PLAINTEXT) != 0;
    if (plain && (mode & TM_RICHTEXT) != 0) {
        return 1;
    }
    m_textMode = mode;
    m_view->setAcceptRichText(!plain);
    document()->clearUndoRedoStacks();
    return 0;
}

void RichEditWindow::exLimitText(LONG limit)
{
    m_textLimit = limit <= 0 ? 0x7FFFFFFF : limit;
}

DWORD RichEditWindow::setEventMask(DWORD mask)
{
    const DWORD previous = m_eventMask;
    m_eventMask = mask;
    return previous;
}

LRESULT RichEditWindow::getTextRange(TEXTRANGEW &range)
{
    if (range.lpstrText == nullptr) {
        return 0;
    }
    flush();
    const int length = contentLength();
    const int from = std::clamp(range.chrg.cpMin, 0, length);
    const int to = range.chrg.cpMax < 0 ? length : std::clamp(range.chrg.cpMax, from, length);
    QString text = contentText(false, from, to);
    const veskel::WipedOnExit wipeText(text);
    std::memcpy(range.lpstrText, text.constData(),
                static_cast<std::size_t>(text.size()) * sizeof(WCHAR));
    range.lpstrText[text.size()] = 0;
    return static_cast<LRESULT>(text.size());
}

} // namespace win
