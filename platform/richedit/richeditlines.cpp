// Display lines: the messages that count, find and read the lines of the
// window's own layout at its width (DisplayLineIndex keeps the numbering).
#include "platform/richedit/displaylines.h"
#include "platform/richedit/richedit.h"
#include "runtime/memory.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>

#include <algorithm>
#include <cstring>

namespace win {

void RichEditWindow::ensureLayout()
{
    flush();
    const int width = viewport()->width();
    if (m_lineIndex->isValidFor(width)) {
        return;
    }
    document()->documentLayout()->documentSize(); // finishes the layout
    m_lineIndex->rebuild(width);
}

LRESULT RichEditWindow::getLineCount()
{
    ensureLayout();
    return m_lineIndex->lineCount();
}

LRESULT RichEditWindow::lineIndex(LONG line)
{
    ensureLayout();
    if (line == -1) {
        line = static_cast<LONG>(lineFromChar(textCursor().position()));
    }
    if (line < 0 || line >= m_lineIndex->lineCount()) {
        return -1;
    }
    int inBlock = 0;
    const QTextBlock block = m_lineIndex->blockOfLine(line, &inBlock);
    return block.position() + DisplayLineIndex::lineSpan(block, inBlock).first;
}

LRESULT RichEditWindow::lineFromChar(LONG position)
{
    ensureLayout();
    if (position < 0) {
        position = textCursor().selectionStart();
    }
    return m_lineIndex->lineOf(std::min(position, contentLength()));
}

LRESULT RichEditWindow::lineLength(LONG position)
{
    const LONG line = static_cast<LONG>(lineFromChar(position));
    int inBlock = 0;
    const QTextBlock block = m_lineIndex->blockOfLine(line, &inBlock);
    auto [start, length] = DisplayLineIndex::lineSpan(block, inBlock);
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
    const int count = m_lineIndex->lineCount();
    if (line < 0 || line >= count) {
        return 0;
    }
    int inBlock = 0;
    const QTextBlock block = m_lineIndex->blockOfLine(line, &inBlock);
    const auto [start, length] = DisplayLineIndex::lineSpan(block, inBlock);
    QString text = m_lineIndex->blockText(block).mid(start, length);
    const veskel::WipedOnExit wipeText(text);
    text.replace(QChar::LineSeparator, QChar(u'\v'));
    const bool lastOfBlock =
        line + 1 == count || m_lineIndex->blockOfLine(line + 1, &inBlock) != block;
    if (lastOfBlock && block.next().isValid()) {
        text += QChar(u'\r');
    }
    const qsizetype copied = std::min<qsizetype>(text.size(), room);
    std::memcpy(buffer, text.constData(), static_cast<std::size_t>(copied) * sizeof(WCHAR));
    return static_cast<LRESULT>(copied);
}

} // namespace win
