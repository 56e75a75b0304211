// Display lines: the lines of the window's own layout at its width, and the
// messages that count, find and read them.
#include "platform/richedit/links.h"
#include "platform/richedit/richedit.h"
#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/win/codepage.h"
#include "runtime/memory.h"

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

} // namespace win
