// Which texts the rich edit window takes for links, and their display.
#pragma once

#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

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

// Shows links as links. The formats live in the layout only, like a syntax
// highlighter's: they are never stored in the document, never enter the undo
// history and never count as an edit.
class LinkHighlighter : public QSyntaxHighlighter
{
public:
    explicit LinkHighlighter(QTextDocument *document);
    void setLinkColor(const QColor &color);

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat m_format;
};

} // namespace win
