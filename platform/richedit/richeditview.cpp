#include "platform/richedit/richedit.h"
#include "platform/richedit/richeditview_p.h"

#include <QDropEvent>

namespace win {

RichEditView::RichEditView(RichEditWindow &window)
    : QTextEdit(&window)
    , m_window(window)
{}

bool RichEditView::viewportEvent(QEvent *event)
{
    return m_window.beforeViewportEvent(event) || QTextEdit::viewportEvent(event);
}

void RichEditView::keyPressEvent(QKeyEvent *event)
{
    m_window.keyPress(event);
}

void RichEditView::contextMenuEvent(QContextMenuEvent *event)
{
    m_window.contextMenu(event);
}

QMimeData *RichEditView::createMimeDataFromSelection() const
{
    return m_window.mimeDataFromSelection();
}

bool RichEditView::canInsertFromMimeData(const QMimeData *source) const
{
    return m_window.canInsert(source);
}

void RichEditView::insertFromMimeData(const QMimeData *source)
{
    m_window.insertData(source);
}

void RichEditView::dragEnterEvent(QDragEnterEvent *event)
{
    QTextEdit::dragEnterEvent(event);
    m_window.chooseDropAction(*event);
}

void RichEditView::dragMoveEvent(QDragMoveEvent *event)
{
    QTextEdit::dragMoveEvent(event);
    m_window.chooseDropAction(*event);
}

void RichEditView::dropEvent(QDropEvent *event)
{
    m_window.drop(event);
}

} // namespace win
