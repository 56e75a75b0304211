// The display lines of a document: the lines of its layout at the width it
// was laid out for, numbered from 0 over the whole document. A paragraph that
// was never laid out (or a hidden one) counts as one line (or none).
#pragma once

#include <QString>
#include <QTextBlock>

#include <utility>
#include <vector>

class QTextDocument;

namespace win {

class DisplayLineIndex
{
public:
    explicit DisplayLineIndex(const QTextDocument &document)
        : m_document(document)
    {}

    // The layout changed: the index is rebuilt before its next use.
    void invalidate() { m_valid = false; }
    // The text changed: also forgets (and wipes) the paragraph read last.
    void contentChanged();
    bool isValidFor(int width) const { return m_valid && width == m_width; }
    // Reads the line counts of the document's current layout.
    void rebuild(int width);

    int lineCount() const { return m_lineCount; }
    int firstLineOf(const QTextBlock &block) const;
    // The paragraph holding the line, and the line's number inside it.
    QTextBlock blockOfLine(int line, int *lineInBlock) const;
    // The line holding the document position.
    int lineOf(int position) const;
    // The start and length of a line inside its paragraph.
    static std::pair<int, int> lineSpan(const QTextBlock &block, int lineInBlock);
    // The paragraph's text; reading a long paragraph line by line copies it
    // once, not once per line.
    const QString &blockText(const QTextBlock &block);

private:
    const QTextDocument &m_document;
    std::vector<int> m_blockFirstLine; // by block number, and the total at the end
    int m_lineCount = 0;
    bool m_valid = false;
    int m_width = -1;
    int m_cachedBlock = -1;
    int m_cachedRevision = -1;
    QString m_cachedText;
};

} // namespace win
