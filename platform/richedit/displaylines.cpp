#include "platform/richedit/displaylines.h"

#include "runtime/memory.h"

#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace win {

void DisplayLineIndex::contentChanged()
{
    m_valid = false;
    // The cached paragraph is a copy of old text: it goes at once.
    veskel::WipeString(m_cachedText);
    m_cachedBlock = -1;
}

void DisplayLineIndex::rebuild(int width)
{
    const int blocks = m_document.blockCount();
    m_blockFirstLine.assign(static_cast<std::size_t>(blocks) + 1, 0);
    int line = 0;
    int n = 0;
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next(), ++n) {
        m_blockFirstLine[static_cast<std::size_t>(n)] = line;
        const QTextLayout *layout = block.layout();
        const int count = layout != nullptr && block.isVisible() ? layout->lineCount() : 0;
        line += std::max(count, block.isVisible() ? 1 : 0);
    }
    m_blockFirstLine[static_cast<std::size_t>(n)] = line;
    m_lineCount = std::max(line, 1);
    m_valid = true;
    m_width = width;
}

int DisplayLineIndex::firstLineOf(const QTextBlock &block) const
{
    return m_blockFirstLine[static_cast<std::size_t>(block.blockNumber())];
}

QTextBlock DisplayLineIndex::blockOfLine(int line, int *lineInBlock) const
{
    const auto end = m_blockFirstLine.end() - 1;
    const auto it = std::upper_bound(m_blockFirstLine.begin(), end, line);
    const int number = std::max(static_cast<int>(it - m_blockFirstLine.begin()) - 1, 0);
    *lineInBlock = line - m_blockFirstLine[static_cast<std::size_t>(number)];
    return m_document.findBlockByNumber(number);
}

int DisplayLineIndex::lineOf(int position) const
{
    const QTextBlock block = m_document.findBlock(position);
    const QTextLayout *layout = block.layout();
    int inBlock = 0;
    if (layout != nullptr && layout->lineCount() > 0) {
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        inBlock = line.isValid() ? line.lineNumber() : layout->lineCount() - 1;
    }
    return firstLineOf(block) + inBlock;
}

// A block that has no layout (a window that was never laid out) is one line.
std::pair<int, int> DisplayLineIndex::lineSpan(const QTextBlock &block, int lineInBlock)
{
    const QTextLayout *layout = block.layout();
    if (layout == nullptr || layout->lineCount() == 0) {
        return {0, lineInBlock == 0 ? block.length() - 1 : 0};
    }
    if (lineInBlock >= layout->lineCount()) {
        return {block.length() - 1, 0};
    }
    const QTextLine line = layout->lineAt(lineInBlock);
    return {line.textStart(), line.textLength()};
}

const QString &DisplayLineIndex::blockText(const QTextBlock &block)
{
    if (block.blockNumber() != m_cachedBlock || m_document.revision() != m_cachedRevision) {
        m_cachedBlock = block.blockNumber();
        m_cachedRevision = m_document.revision();
        m_cachedText = block.text();
    }
    return m_cachedText;
}

} // namespace win
