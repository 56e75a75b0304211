#include "platform/richedit/linktracker.h"

#include "platform/richedit/links.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

namespace win {

namespace {

constexpr CHARRANGE kNone{-1, -1};

} // namespace

LinkTracker::LinkTracker(QTextEdit &view)
    : m_view(view)
{}

// The highlighter goes before the view and its document do: the window holding
// both destroys its members first.
LinkTracker::~LinkTracker() = default;

void LinkTracker::setDetecting(bool on)
{
    if (on && m_highlighter == nullptr) {
        m_highlighter = std::make_unique<LinkHighlighter>(m_view.document());
        m_highlighter->setHotColor(m_hotColor);
    } else if (!on) {
        m_highlighter.reset();
    }
}

void LinkTracker::setHotColor(const QColor &color)
{
    m_hotColor = color;
    if (m_highlighter != nullptr) {
        m_highlighter->setHotColor(color);
    }
}

void LinkTracker::setHotLink(LONG start)
{
    if (m_highlighter != nullptr) {
        m_highlighter->setHotLink(start);
    }
}

CHARRANGE LinkTracker::linkAt(LONG position) const
{
    const QTextDocument *document = m_view.document();
    if (m_highlighter == nullptr || position < 0 || position >= document->characterCount() - 1) {
        return kNone;
    }
    const QTextBlock block = document->findBlock(position);
    const int offset = position - block.position();
    for (const TextSpan &link : FindLinks(block.text())) {
        if (offset >= link.start && offset < link.start + link.length) {
            return {block.position() + link.start, block.position() + link.start + link.length};
        }
    }
    return kNone;
}

CHARRANGE LinkTracker::linkUnder(const QPoint &viewportPos) const
{
    if (m_highlighter == nullptr) {
        return kNone;
    }
    // The character under the mouse, if the mouse is over one.
    const QPointF point(viewportPos.x() + m_view.horizontalScrollBar()->value(),
                        viewportPos.y() + m_view.verticalScrollBar()->value());
    QAbstractTextDocumentLayout *layout = m_view.document()->documentLayout();
    const int hit = layout->hitTest(point, Qt::ExactHit);
    if (hit < 0) {
        return kNone;
    }
    const QTextBlock block = m_view.document()->findBlock(hit);
    const QTextLayout *textLayout = block.layout();
    if (textLayout == nullptr) {
        return kNone;
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

} // namespace win
