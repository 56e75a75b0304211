// Links in a text view: whether text is taken for links at all, which link
// is around a position or under a point, and which one the mouse is over
// (the hot link, drawn in the hot-track colour).
#pragma once

#include "platform/richedit/richeditconst.h"

#include <QColor>

#include <memory>

class QPoint;
class QTextEdit;

namespace win {

class LinkHighlighter;

class LinkTracker
{
public:
    explicit LinkTracker(QTextEdit &view);
    ~LinkTracker();
    LinkTracker(const LinkTracker &) = delete;
    LinkTracker &operator=(const LinkTracker &) = delete;

    // While off, no text is a link and none is shown as one.
    void setDetecting(bool on);
    bool detecting() const { return m_highlighter != nullptr; }
    // The colour the hot link is drawn in (invalid: its usual one).
    void setHotColor(const QColor &color);

    // The link around the position, or (-1, -1).
    CHARRANGE linkAt(LONG position) const;
    // The link under a point of the view's viewport, or (-1, -1): only a
    // point over a character of the link counts, not the blank beside it.
    CHARRANGE linkUnder(const QPoint &viewportPos) const;
    // The link starting at the position is hot; -1: none is.
    void setHotLink(LONG start);

private:
    QTextEdit &m_view;
    std::unique_ptr<LinkHighlighter> m_highlighter;
    QColor m_hotColor;
};

} // namespace win
