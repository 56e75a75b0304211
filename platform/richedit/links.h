// Which texts the rich edit window takes for links, and their display.
#pragma once

#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTextCursor>

#include <vector>

namespace win {

struct TextSpan
{
    int start;
    int length;
    friend bool operator==(const TextSpan &, const TextSpan &) = default;
};

// The links in one paragraph's text: a URL scheme (http, https, ftp, file,
// mailto, news, ...) with what follows up to a blank, or a name starting with
// "www."; closing punctuation at the end is not part of the link.
std::vector<TextSpan> FindLinks(QStringView text);

// Shows links as links, and the link under the mouse (the hot one) in the
// hot-track colour. The formats live in the layout only, like a syntax
// highlighter's: they are never stored in the document, never enter the undo
// history and never count as an edit.
class LinkHighlighter : public QSyntaxHighlighter
{
public:
    explicit LinkHighlighter(QTextDocument *document);
    void setLinkColor(const QColor &color);
    // An invalid colour draws the hot link like the others.
    void setHotColor(const QColor &color);
    // The link starting at the position is hot; -1: none is. Only the
    // paragraphs of the hot link before and of the new one are drawn again.
    void setHotLink(int start);

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat m_format;
    QColor m_hotColor;
    QTextCursor m_hot; // at the hot link's start, following edits; null: none
};

} // namespace win
