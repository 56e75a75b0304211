#include "richedit.h"

#include "codepage.h"
#include "links.h"
#include "memory.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace win {

namespace {

constexpr LONG kChunkSize = 4096;
// Stream data beyond this is refused rather than held in memory.
constexpr qsizetype kMaxStreamBytes = qsizetype(1) << 30;
constexpr DWORD kStreamErrorTooLarge = ERROR_NOT_ENOUGH_MEMORY;
constexpr DWORD kStreamErrorNotText = ERROR_INVALID_PARAMETER;

const QString kRtfMime = QStringLiteral("text/rtf");
const QString kRtfMimeAlt = QStringLiteral("application/rtf");

bool isBreak(char16_t c)
{
    return c == QChar::ParagraphSeparator || c == 0xFDD0 || c == 0xFDD1; // frame bounds
}

// CR LF, a lone CR and a lone LF each end a paragraph.
QString normalizeBreaks(QStringView text)
{
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            *out++ = QChar::ParagraphSeparator;
        } else if (c == u'\n') {
            *out++ = QChar::ParagraphSeparator;
        } else if (c == u'\v') {
            *out++ = QChar::LineSeparator;
        } else {
            *out++ = QChar(c);
        }
    }
    result.truncate(out - result.constData());
    return result;
}

QString decodeUtf16le(QByteArrayView bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    return text;
}

QByteArray encodeUtf16le(QStringView text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bytes[2 * i] = static_cast<char>(c & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(c >> 8);
    }
    return bytes;
}

bool isRtf(QByteArrayView data)
{
    return data.startsWith("{\\rtf");
}

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

RichEditWindow::RichEditWindow(DWORD style, QWidget *parent)
    : QTextEdit(parent)
    , m_style(style)
{
    setAcceptRichText(true);
    QTextEdit::setReadOnly((style & ES_READONLY) != 0);
    setHorizontalScrollBarPolicy((style & WS_HSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                           : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                         : Qt::ScrollBarAlwaysOff);
    if ((style & ES_SELECTIONBAR) != 0) {
        // The margin at the left where a click selects lines.
        setViewportMargins(8, 0, 0, 0);
    }
    connect(document(), &QTextDocument::contentsChange, this, [this](int position, int, int added) {
        m_linesValid = false;
        // The cached paragraph is a copy of old text: it goes at once.
        veskel::WipeString(m_cachedText);
        m_cachedBlock = -1;
        watchLongRuns(position, added);
    });
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this](const QSizeF &) { m_linesValid = false; });
    connect(this, &QTextEdit::textChanged, this, [this] {
        if ((m_eventMask & ENM_CHANGE) != 0) {
            emit changeNotify();
        }
    });
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        if ((m_eventMask & ENM_SELCHANGE) != 0) {
            emit selChangeNotify();
        }
    });
    viewport()->setMouseTracking(true);
    setUpObjects();
}

RichEditWindow::~RichEditWindow()
{
    flush();
}

// ---------------------------------------------------------------------------
// Gathered edits

QTextCursor &RichEditWindow::editCursor()
{
    if (!m_batchOpen) {
        m_batchCursor = textCursor();
        m_batchCursor.beginEditBlock();
        m_batchOpen = true;
        scheduleFlush();
    }
    return m_batchCursor;
}

void RichEditWindow::scheduleFlush()
{
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_flushQueued = false;
                flush();
            },
            Qt::QueuedConnection);
    }
}

void RichEditWindow::flush()
{
    if (!m_batchOpen) {
        return;
    }
    m_batchOpen = false;
    const QTextCursor cursor = m_batchCursor;
    m_batchCursor.endEditBlock();
    m_batchCursor = QTextCursor();
    // Selecting does not scroll; only scrollCaret does.
    const int h = horizontalScrollBar()->value();
    const int v = verticalScrollBar()->value();
    setTextCursor(cursor);
    if (m_scrollPending) {
        m_scrollPending = false;
        ensureCursorVisible();
    } else {
        horizontalScrollBar()->setValue(h);
        verticalScrollBar()->setValue(v);
    }
}

LONG RichEditWindow::contentLength() const
{
    return document()->characterCount() - 1;
}

// ---------------------------------------------------------------------------
// Content

void RichEditWindow::watchLongRuns(int position, int added)
{
    const bool wholeDocument = position == 0 && added >= document()->characterCount() - 1;
    if (wholeDocument && m_wrapAnywhere) {
        m_wrapAnywhere = false; // a new content is judged afresh
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }
    if (m_wrapAnywhere || added <= 0) {
        return;
    }
    const QTextBlock last = document()->findBlock(position + added);
    for (QTextBlock block = document()->findBlock(position); block.isValid();
         block = block.next()) {
        if (holdsLongRun(block)) {
            m_wrapAnywhere = true;
            setWordWrapMode(QTextOption::WrapAnywhere);
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
        const QSignalBlocker quiet(this);
        setTextCursor(QTextCursor());
    }
    document()->setPlainText(plainText);
    QTextCursor start(document());
    setTextCursor(start);
}

void RichEditWindow::insertPlainText(QTextCursor &cursor, const QString &text)
{
    QString normalized = normalizeBreaks(text);
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
        size += std::count_if(in + from, in + to, [](QChar c) { return isBreak(c.unicode()); });
    }
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = from; i < to; ++i) {
        const char16_t c = in[i].unicode();
        if (isBreak(c)) {
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
    QByteArray data;
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
        data.append(chunk.constData(), std::min(got, kChunkSize));
        if (data.size() > kMaxStreamBytes) {
            stream.dwError = kStreamErrorTooLarge;
            return 0;
        }
    }

    const bool selection = (format & SFF_SELECTION) != 0;
    const UINT kind = format & 0xFF;
    const bool rtfFormat = (kind & SF_RTF) != 0;
    QString plain;
    bool asRtf = false;
    if (rtfFormat && isRtf(data)) {
        asRtf = true;
    } else if (rtfFormat || (kind & SF_UNICODE) == 0) {
        if (rtfFormat && data.contains('\0')) {
            // 8-bit text holds no NUL: this is no text the RTF path can take.
            stream.dwError = kStreamErrorNotText;
            return 0;
        }
        plain = DecodeStreamText(data);
    } else {
        plain = decodeUtf16le(data);
    }

    if (asRtf) {
        QTextDocument parsed;
        QTextCursor target(&parsed);
        if (!ReadRtf(data, target)) {
            stream.dwError = kStreamErrorNotText;
            return 0;
        }
        QTextCursor cursor = textCursor();
        if (!selection) {
            document()->clear();
            cursor = QTextCursor(document());
        }
        cursor.beginEditBlock();
        cursor.insertFragment(QTextDocumentFragment(&parsed));
        cursor.endEditBlock();
        if (!selection) {
            document()->clearUndoRedoStacks();
            setTextCursor(QTextCursor(document()));
        } else {
            setTextCursor(cursor);
        }
    } else if (!selection) {
        replaceAll(normalizeBreaks(plain));
    } else {
        QTextCursor cursor = textCursor();
        insertPlainText(cursor, plain);
        setTextCursor(cursor);
    }
    return static_cast<LRESULT>(data.size());
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
    QByteArray data;
    const veskel::WipedOnExit wipeData(data);
    QString text;
    const veskel::WipedOnExit wipeText(text);
    if ((kind & SF_RTF) != 0) {
        data = WriteRtf(*document(), from, to);
    } else {
        text = contentText(true, from, to);
        data = (kind & SF_UNICODE) != 0 ? encodeUtf16le(text) : EncodeAnsi(text);
    }
    qsizetype offset = 0;
    while (offset < data.size()) {
        const LONG size = static_cast<LONG>(std::min<qsizetype>(kChunkSize, data.size() - offset));
        LONG written = 0;
        const DWORD result = stream.pfnCallback(
            stream.dwCookie, reinterpret_cast<LPBYTE>(data.data() + offset), size, &written);
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
    QString normalized = normalizeBreaks(value);
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
    setAcceptRichText(!plain);
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

// ---------------------------------------------------------------------------
// Display lines

void RichEditWindow::ensureLayout()
{
    flush();
    const int width = viewport()->width();
    if (m_linesValid && width == m_linesWidth) {
        return;
    }
    document()->documentLayout()->documentSize(); // finishes the layout
    rebuildLineIndex();
    m_linesWidth = width;
}

void RichEditWindow::rebuildLineIndex()
{
    const int blocks = document()->blockCount();
    m_blockFirstLine.assign(static_cast<std::size_t>(blocks) + 1, 0);
    int line = 0;
    int n = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next(), ++n) {
        m_blockFirstLine[static_cast<std::size_t>(n)] = line;
        const QTextLayout *layout = block.layout();
        const int count = layout != nullptr && block.isVisible() ? layout->lineCount() : 0;
        line += std::max(count, block.isVisible() ? 1 : 0);
    }
    m_blockFirstLine[static_cast<std::size_t>(n)] = line;
    m_lineCount = std::max(line, 1);
    m_linesValid = true;
}

// The start and length of a display line inside its block. A block that has no
// layout (a window that was never laid out) is one line.
static std::pair<int, int> lineSpan(const QTextBlock &block, int inBlock)
{
    const QTextLayout *layout = block.layout();
    if (layout == nullptr || layout->lineCount() == 0) {
        return {0, inBlock == 0 ? block.length() - 1 : 0};
    }
    if (inBlock >= layout->lineCount()) {
        return {block.length() - 1, 0};
    }
    const QTextLine line = layout->lineAt(inBlock);
    return {line.textStart(), line.textLength()};
}

int RichEditWindow::blockFirstLine(const QTextBlock &block)
{
    return m_blockFirstLine[static_cast<std::size_t>(block.blockNumber())];
}

const QString &RichEditWindow::blockText(const QTextBlock &block)
{
    // Reading a long paragraph line by line copies its text once, not once per line.
    if (block.blockNumber() != m_cachedBlock || document()->revision() != m_cachedRevision) {
        m_cachedBlock = block.blockNumber();
        m_cachedRevision = document()->revision();
        m_cachedText = block.text();
    }
    return m_cachedText;
}

QTextBlock RichEditWindow::blockOfLine(int line, int *lineInBlock)
{
    const auto end = m_blockFirstLine.end() - 1;
    const auto it = std::upper_bound(m_blockFirstLine.begin(), end, line);
    const int number = static_cast<int>(it - m_blockFirstLine.begin()) - 1;
    const QTextBlock block = document()->findBlockByNumber(std::max(number, 0));
    *lineInBlock = line - m_blockFirstLine[static_cast<std::size_t>(std::max(number, 0))];
    return block;
}

LRESULT RichEditWindow::getLineCount()
{
    ensureLayout();
    return m_lineCount;
}

LRESULT RichEditWindow::lineIndex(LONG line)
{
    ensureLayout();
    if (line == -1) {
        line = static_cast<LONG>(lineFromChar(textCursor().position()));
    }
    if (line < 0 || line >= m_lineCount) {
        return -1;
    }
    int inBlock = 0;
    const QTextBlock block = blockOfLine(line, &inBlock);
    return block.position() + lineSpan(block, inBlock).first;
}

LRESULT RichEditWindow::lineFromChar(LONG position)
{
    ensureLayout();
    if (position < 0) {
        position = textCursor().selectionStart();
    }
    position = std::min(position, contentLength());
    const QTextBlock block = document()->findBlock(position);
    const QTextLayout *layout = block.layout();
    int inBlock = 0;
    if (layout != nullptr && layout->lineCount() > 0) {
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        inBlock = line.isValid() ? line.lineNumber() : layout->lineCount() - 1;
    }
    return blockFirstLine(block) + inBlock;
}

LRESULT RichEditWindow::lineLength(LONG position)
{
    const LONG line = static_cast<LONG>(lineFromChar(position));
    int inBlock = 0;
    const QTextBlock block = blockOfLine(line, &inBlock);
    auto [start, length] = lineSpan(block, inBlock);
    if (length > 0 && block.text()[start + length - 1] == QChar::LineSeparator) {
        --length;
    }
    return length;
}

LRESULT RichEditWindow::getLine(LONG line, LPWSTR buffer)
{
    if (buffer == nullptr) {
        return 0;
    }
    std::uint16_t room = 0;
    std::memcpy(&room, buffer, sizeof room);
    ensureLayout();
    if (line < 0 || line >= m_lineCount) {
        return 0;
    }
    int inBlock = 0;
    const QTextBlock block = blockOfLine(line, &inBlock);
    const auto [start, length] = lineSpan(block, inBlock);
    QString text = blockText(block).mid(start, length);
    const veskel::WipedOnExit wipeText(text);
    text.replace(QChar::LineSeparator, QChar(u'\v'));
    const bool lastOfBlock = line + 1 == m_lineCount || blockOfLine(line + 1, &inBlock) != block;
    if (lastOfBlock && block.next().isValid()) {
        text += QChar(u'\r');
    }
    const qsizetype count = std::min<qsizetype>(text.size(), room);
    std::memcpy(buffer, text.constData(), static_cast<std::size_t>(count) * sizeof(WCHAR));
    return static_cast<LRESULT>(count);
}

// ---------------------------------------------------------------------------
// Selection and edits

void RichEditWindow::exGetSel(CHARRANGE &range)
{
    const QTextCursor &cursor = m_batchOpen ? m_batchCursor : textCursor();
    range.cpMin = cursor.selectionStart();
    range.cpMax = cursor.selectionEnd();
}

LRESULT RichEditWindow::exSetSel(CHARRANGE range)
{
    QTextCursor &cursor = editCursor();
    const LONG length = contentLength();
    if (range.cpMin == 0 && range.cpMax == -1) {
        cursor.setPosition(0);
        cursor.setPosition(length, QTextCursor::KeepAnchor);
    } else if (range.cpMin < 0) {
        cursor.setPosition(length); // nothing selected, the caret at the end
    } else {
        const LONG anchor = std::min(range.cpMin, length);
        const LONG active = range.cpMax < 0 ? length : std::min(range.cpMax, length);
        cursor.setPosition(anchor);
        cursor.setPosition(active, QTextCursor::KeepAnchor);
    }
    return cursor.selectionEnd();
}

void RichEditWindow::setSel(LONG start, LONG end)
{
    exSetSel({start, end});
}

void RichEditWindow::replaceSel(BOOL canUndo, const QString &text)
{
    if (isReadOnly()) {
        return;
    }
    QTextCursor &cursor = editCursor();
    if (canUndo == FALSE) {
        // An edit that cannot be undone leaves no history to undo into.
        document()->setUndoRedoEnabled(false);
        insertPlainText(cursor, text);
        document()->setUndoRedoEnabled(true);
    } else {
        insertPlainText(cursor, text);
    }
}

LRESULT RichEditWindow::findText(WPARAM flags, const FINDTEXTW &find)
{
    const QString needle =
        find.lpstrText == nullptr ? QString() : QString::fromUtf16(find.lpstrText);
    if (needle.isEmpty()) {
        return -1;
    }
    const LONG length = contentLength();
    const bool forward = (flags & FR_DOWN) != 0;
    QTextDocument::FindFlags options;
    if ((flags & FR_MATCHCASE) != 0) {
        options |= QTextDocument::FindCaseSensitively;
    }
    if ((flags & FR_WHOLEWORD) != 0) {
        options |= QTextDocument::FindWholeWords;
    }
    const LONG from = std::clamp(find.chrg.cpMin, 0, length);
    LONG limit = find.chrg.cpMax < 0 ? (forward ? length : 0) : std::min(find.chrg.cpMax, length);
    const QString normalized = normalizeBreaks(needle);
    const bool crossesBlocks =
        normalized.contains(QChar::ParagraphSeparator) || normalized.contains(QChar::LineSeparator);

    if (crossesBlocks) {
        // A text with line breaks: search the content with each break as one
        // character, so that indexes are positions.
        QString content = contentText(false, 0, length)
                              .replace(u'\r', QChar::ParagraphSeparator)
                              .replace(u'\v', QChar::LineSeparator);
        const veskel::WipedOnExit wipeContent(content);
        const Qt::CaseSensitivity cs =
            (flags & FR_MATCHCASE) != 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
        qsizetype at = forward ? content.indexOf(normalized, from, cs)
                               : content.lastIndexOf(normalized, from, cs);
        if (at < 0) {
            return -1;
        }
        const bool inRange = forward ? at + normalized.size() <= limit : at >= limit;
        return inRange ? static_cast<LRESULT>(at) : -1;
    }
    if (!forward) {
        options |= QTextDocument::FindBackward;
    }
    const QTextCursor found = document()->find(needle, from, options);
    if (found.isNull()) {
        return -1;
    }
    const int start = found.selectionStart();
    const bool inRange = forward ? found.selectionEnd() <= limit : start >= limit;
    return inRange ? start : -1;
}

void RichEditWindow::scrollCaret()
{
    if (m_batchOpen) {
        m_scrollPending = true;
    } else {
        ensureCursorVisible();
    }
}

BOOL RichEditWindow::undoEdit()
{
    flush();
    if (!document()->isUndoAvailable()) {
        return FALSE;
    }
    undo();
    return TRUE;
}

BOOL RichEditWindow::redoEdit()
{
    flush();
    if (!document()->isRedoAvailable()) {
        return FALSE;
    }
    redo();
    return TRUE;
}

BOOL RichEditWindow::canUndo() const
{
    return document()->isUndoAvailable() ? TRUE : FALSE;
}

BOOL RichEditWindow::canRedo() const
{
    return document()->isRedoAvailable() ? TRUE : FALSE;
}

void RichEditWindow::cutSelection()
{
    flush();
    if (!textCursor().hasSelection()) {
        return;
    }
    if (isReadOnly()) {
        copy();
    } else {
        cut();
    }
}

void RichEditWindow::copySelection()
{
    flush();
    if (textCursor().hasSelection()) {
        copy();
    }
}

void RichEditWindow::pasteClipboard()
{
    flush();
    if (!isReadOnly() && canPaste(0) != FALSE) {
        paste();
    }
}

void RichEditWindow::clearSelection()
{
    flush();
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection() && !isReadOnly()) {
        cursor.removeSelectedText();
        setTextCursor(cursor);
    }
}

BOOL RichEditWindow::canPaste(UINT) const
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    return data != nullptr && !data->formats().isEmpty() && canInsertFromMimeData(data) ? TRUE
                                                                                        : FALSE;
}

BOOL RichEditWindow::setReadOnly(BOOL readOnly)
{
    flush();
    QTextEdit::setReadOnly(readOnly != FALSE);
    if (readOnly != FALSE) {
        m_style |= ES_READONLY;
    } else {
        m_style &= ~ES_READONLY;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Links

void RichEditWindow::autoUrlDetect(BOOL on)
{
    if (on != FALSE && m_links == nullptr) {
        m_links = new LinkHighlighter(document());
        m_links->setHotColor(m_hotTrackColor);
    } else if (on == FALSE && m_links != nullptr) {
        delete m_links;
        m_links = nullptr;
    }
}

void RichEditWindow::setHotTrackColor(const QColor &color)
{
    m_hotTrackColor = color;
    if (m_links != nullptr) {
        m_links->setHotColor(color);
    }
}

bool RichEditWindow::autoUrlDetecting() const
{
    return m_links != nullptr;
}

CHARRANGE RichEditWindow::linkAt(LONG position) const
{
    if (m_links == nullptr || position < 0 || position >= contentLength()) {
        return {-1, -1};
    }
    const QTextBlock block = document()->findBlock(position);
    const int offset = position - block.position();
    for (const TextSpan &link : FindLinks(block.text())) {
        if (offset >= link.start && offset < link.start + link.length) {
            return {block.position() + link.start, block.position() + link.start + link.length};
        }
    }
    return {-1, -1};
}

CHARRANGE RichEditWindow::linkUnder(const QPoint &viewportPos)
{
    constexpr CHARRANGE none{-1, -1};
    if (m_links == nullptr) {
        return none;
    }
    // The character under the mouse, if the mouse is over one.
    const QPointF point(viewportPos.x() + horizontalScrollBar()->value(),
                        viewportPos.y() + verticalScrollBar()->value());
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const int hit = layout->hitTest(point, Qt::ExactHit);
    if (hit < 0) {
        return none;
    }
    const QTextBlock block = document()->findBlock(hit);
    const QTextLayout *textLayout = block.layout();
    if (textLayout == nullptr) {
        return none;
    }
    const QPointF inBlock = point - layout->blockBoundingRect(block).topLeft();
    LONG position = -1;
    for (int i = 0; i < textLayout->lineCount(); ++i) {
        const QTextLine line = textLayout->lineAt(i);
        if (!line.rect().contains(inBlock) || inBlock.x() > line.x() + line.naturalTextWidth()) {
            continue;
        }
        const int index = line.xToCursor(inBlock.x(), QTextLine::CursorOnCharacter);
        if (index >= line.textStart() && index < line.textStart() + line.textLength()) {
            position = block.position() + index;
        }
        break;
    }
    return linkAt(position);
}

bool RichEditWindow::sendLinkNotification(UINT message, const QPoint &viewportPos, CHARRANGE *found)
{
    const CHARRANGE range = linkUnder(viewportPos);
    if (range.cpMin < 0) {
        return false;
    }
    if (found != nullptr) {
        *found = range;
    }
    if ((m_eventMask & ENM_LINK) != 0) {
        ENLINK link{};
        link.nmhdr = {this, 0, EN_LINK};
        link.msg = message;
        link.chrg = range;
        emit linkNotify(link);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Events

bool RichEditWindow::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Paint:
    case QEvent::Resize:
        flush();
        break;
    case QEvent::MouseMove: {
        flush();
        const auto *mouse = static_cast<QMouseEvent *>(event);
        CHARRANGE hot{-1, -1};
        const bool overLink = sendLinkNotification(WM_MOUSEMOVE, mouse->position().toPoint(), &hot);
        viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
        if (m_links != nullptr) {
            m_links->setHotLink(hot.cpMin); // drawn in the hot-track colour while hovered
        }
        break;
    }
    case QEvent::Leave:
        if (m_links != nullptr) {
            m_links->setHotLink(-1);
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        flush();
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool press = event->type() == QEvent::MouseButtonPress;
        if (mouse->button() == Qt::LeftButton) {
            sendLinkNotification(press ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                                 mouse->position().toPoint());
        } else if (mouse->button() == Qt::RightButton) {
            sendLinkNotification(press ? WM_RBUTTONDOWN : WM_RBUTTONUP,
                                 mouse->position().toPoint());
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        flush();
        break;
    default:
        break;
    }
    return QTextEdit::viewportEvent(event);
}

void RichEditWindow::keyPressEvent(QKeyEvent *event)
{
    flush();
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.front().isPrint() && !textCursor().hasSelection() &&
        contentLength() + typed.size() > m_textLimit) {
        QApplication::beep();
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void RichEditWindow::contextMenuEvent(QContextMenuEvent *event)
{
    flush();
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse && linkUnder(event->pos()).cpMin >= 0) {
        // The request comes with the right button's press on this platform:
        // over a link the release opens the link, so no menu may take it.
        return;
    }
    if (m_oleCallback == nullptr) {
        emit contextMenuRequested(event->globalPos());
        return;
    }
    // The host decides what the menu is; it is told what is selected.
    const QTextCursor cursor = textCursor();
    const CHARRANGE range{cursor.selectionStart(), cursor.selectionEnd()};
    const std::vector<PositionedObject> objects = ObjectsOf(*document(), range.cpMin, range.cpMax);
    WORD selection = range.cpMin == range.cpMax ? SEL_EMPTY : 0;
    if (range.cpMax - range.cpMin > static_cast<LONG>(objects.size())) {
        selection |= SEL_TEXT;
    }
    if (!objects.empty()) {
        selection |= objects.size() > 1 ? SEL_MULTIOBJECT : SEL_OBJECT;
    }
    if (range.cpMax - range.cpMin > 1) {
        selection |= SEL_MULTICHAR;
    }
    const std::shared_ptr<IOleObject> object =
        objects.size() == 1 ? objects.front().record->object : nullptr;
    void *menu = nullptr;
    m_contextMenuAt = event->globalPos();
    m_oleCallback->GetContextMenu(selection, object, range, &menu);
}

QMimeData *RichEditWindow::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    if (m_oleCallback != nullptr) {
        std::shared_ptr<IDataObject> own;
        const CHARRANGE range{cursor.selectionStart(), cursor.selectionEnd()};
        if (m_oleCallback->GetClipboardData(range, 1, own) == S_OK && own) {
            auto *data = new QMimeData;
            for (const QString &format : own->mimeData().formats()) {
                data->setData(format, own->mimeData().data(format));
            }
            return data;
        }
    }
    auto *data = new QMimeData;
    const QTextDocumentFragment fragment(cursor);
    QString plain = contentText(false, cursor.selectionStart(), cursor.selectionEnd());
    plain.replace(u'\r', u'\n');
    plain.remove(QChar::ObjectReplacementCharacter);
    data->setText(plain);
    data->setHtml(fragment.toHtml());
    const QByteArray rtf = WriteRtf(*document(), cursor.selectionStart(), cursor.selectionEnd());
    data->setData(kRtfMime, rtf);
    data->setData(kRtfMimeAlt, rtf);
    addObjectFormats(*data, cursor.selectionStart(), cursor.selectionEnd());
    return data;
}

bool RichEditWindow::canInsertFromMimeData(const QMimeData *source) const
{
    if (source == nullptr) {
        return false;
    }
    const bool objects = m_oleCallback != nullptr && (source->hasFormat(kMimeRichTextAndObjects) ||
                                                      source->hasFormat(kMimeEmbeddedObject) ||
                                                      !LocalFilesOf(*source).isEmpty());
    return objects || source->hasFormat(kRtfMime) || source->hasFormat(kRtfMimeAlt) ||
           source->hasHtml() || source->hasText() || source->hasImage();
}

void RichEditWindow::insertFromMimeData(const QMimeData *source)
{
    if (source == nullptr || isReadOnly() || !acceptsData(*source, 0)) {
        return;
    }
    flush();
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    const bool plainMode = (m_textMode & TM_PLAINTEXT) != 0;
    bool done = false;
    if (!plainMode && m_oleCallback != nullptr) {
        // This program's own rich content first, then an object alone.
        if (source->hasFormat(kMimeRichTextAndObjects)) {
            done = pasteRichText(cursor, source->data(kMimeRichTextAndObjects));
        }
        if (!done && source->hasFormat(kMimeEmbeddedObject)) {
            done = pasteObject(cursor, *source, false, nullptr);
        }
    }
    const QByteArray rtf =
        source->hasFormat(kRtfMime) ? source->data(kRtfMime) : source->data(kRtfMimeAlt);
    if (!done && !plainMode && isRtf(rtf)) {
        done = pasteRichText(cursor, rtf);
    }
    if (!done && !plainMode && source->hasHtml()) {
        cursor.insertFragment(QTextDocumentFragment::fromHtml(source->html(), document()));
        done = true;
    }
    if (!done && source->hasText()) {
        insertPlainText(cursor, source->text());
        done = true;
    }
    if (!done && !plainMode && source->hasImage()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            pastePicture(cursor, image);
        }
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

} // namespace win
