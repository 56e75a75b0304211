// Edits made through messages, gathered in one edit block of a text edit.
// The block closes at the next turn of the event loop, or as soon as someone
// needs the layout (close()), so that a loop of finds and replacements costs
// no relayout per step while every position it reads stays exact.
#pragma once

#include <QTextCursor>

class QTextEdit;

namespace win {

class EditBatch
{
public:
    explicit EditBatch(QTextEdit &edit)
        : m_edit(edit)
    {}
    EditBatch(const EditBatch &) = delete;
    EditBatch &operator=(const EditBatch &) = delete;

    // The cursor the next edit goes through; the first one opens the block
    // at the widget's cursor and queues its closing.
    QTextCursor &cursor();
    bool isOpen() const { return m_open; }
    // The selection as the messages see it: the batch's while it is open.
    QTextCursor current() const;
    // Scrolls to the caret when the block closes (at once when none is open).
    void scrollToCaret();
    // Closes the block: the widget takes the batch's cursor, scrolled only
    // when scrollToCaret() asked for it.
    void close();

private:
    void queueClose();

    QTextEdit &m_edit;
    QTextCursor m_cursor;
    bool m_open = false;
    bool m_closeQueued = false;
    bool m_scrollPending = false;
};

} // namespace win
