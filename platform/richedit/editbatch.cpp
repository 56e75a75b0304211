#include "platform/richedit/editbatch.h"

#include <QScrollBar>
#include <QTextEdit>

namespace win {

QTextCursor &EditBatch::cursor()
{
    if (!m_open) {
        m_cursor = m_edit.textCursor();
        m_cursor.beginEditBlock();
        m_open = true;
        queueClose();
    }
    return m_cursor;
}

QTextCursor EditBatch::current() const
{
    return m_open ? m_cursor : m_edit.textCursor();
}

void EditBatch::scrollToCaret()
{
    if (m_open) {
        m_scrollPending = true;
    } else {
        m_edit.ensureCursorVisible();
    }
}

void EditBatch::queueClose()
{
    if (!m_closeQueued) {
        m_closeQueued = true;
        // The widget is the context: a batch gone with its widget is never called.
        QMetaObject::invokeMethod(
            &m_edit,
            [this] {
                m_closeQueued = false;
                close();
            },
            Qt::QueuedConnection);
    }
}

void EditBatch::close()
{
    if (!m_open) {
        return;
    }
    m_open = false;
    const QTextCursor cursor = m_cursor;
    m_cursor.endEditBlock();
    m_cursor = QTextCursor();
    // Selecting does not scroll; only scrollToCaret does.
    const int h = m_edit.horizontalScrollBar()->value();
    const int v = m_edit.verticalScrollBar()->value();
    m_edit.setTextCursor(cursor);
    if (m_scrollPending) {
        m_scrollPending = false;
        m_edit.ensureCursorVisible();
    } else {
        m_edit.horizontalScrollBar()->setValue(h);
        m_edit.verticalScrollBar()->setValue(v);
    }
}

} // namespace win
