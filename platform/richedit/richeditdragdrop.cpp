// The rich edit window's drag and drop: the host chooses the effect from the
// keys held, and files dropped from elsewhere become objects.
#include "platform/ole/oleclipboard.h"
#include "platform/richedit/objectsupport.h"
#include "platform/richedit/richedit.h"
#include "platform/richedit/richeditview_p.h"

#include <QDropEvent>
#include <QMimeData>

namespace win {

namespace {

Qt::DropAction toDropAction(DWORD effect)
{
    if ((effect & DROPEFFECT_MOVE) != 0) {
        return Qt::MoveAction;
    }
    if ((effect & DROPEFFECT_COPY) != 0) {
        return Qt::CopyAction;
    }
    if ((effect & DROPEFFECT_LINK) != 0) {
        return Qt::LinkAction;
    }
    return Qt::IgnoreAction;
}

} // namespace

bool RichEditWindow::dragStartedHere(const QDropEvent &event) const
{
    const QObject *source = event.source();
    return source != nullptr && (source == m_view || source == viewport());
}

DWORD RichEditWindow::dropEffect(const QDropEvent &event) const
{
    DWORD allowed = DROPEFFECT_NONE;
    Qt::DropActions actions = event.possibleActions();
    if (!dragStartedHere(event)) {
        // Data from elsewhere is only ever copied or linked: a source told
        // "moved" deletes its original.
        actions &= ~Qt::MoveAction;
    }
    if (actions.testFlag(Qt::CopyAction)) {
        allowed |= DROPEFFECT_COPY;
    }
    if (actions.testFlag(Qt::MoveAction)) {
        allowed |= DROPEFFECT_MOVE;
    }
    if (actions.testFlag(Qt::LinkAction)) {
        allowed |= DROPEFFECT_LINK;
    }
    DWORD keys = 0;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (modifiers.testFlag(Qt::ControlModifier)) {
        keys |= MK_CONTROL;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        keys |= MK_SHIFT;
    }
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons.testFlag(Qt::LeftButton)) {
        keys |= MK_LBUTTON;
    }
    if (buttons.testFlag(Qt::RightButton)) {
        keys |= MK_RBUTTON;
    }
    if (buttons.testFlag(Qt::MiddleButton)) {
        keys |= MK_MBUTTON;
    }
    DWORD effect = allowed;
    m_objects->host()->GetDragDropEffect(FALSE, keys, &effect);
    // The effect must be one the source allows.
    return effect & allowed;
}

void RichEditWindow::chooseDropAction(QDropEvent &event) const
{
    if (!event.isAccepted()) {
        return;
    }
    if (m_objects->host() != nullptr) {
        const DWORD effect = dropEffect(event);
        event.setDropAction(toDropAction(effect));
        event.setAccepted(effect != DROPEFFECT_NONE);
    } else if (event.dropAction() == Qt::MoveAction && !dragStartedHere(event)) {
        const bool copy = event.possibleActions().testFlag(Qt::CopyAction);
        event.setDropAction(copy ? Qt::CopyAction : Qt::IgnoreAction);
        event.setAccepted(copy);
    }
}

void RichEditWindow::drop(QDropEvent *event)
{
    if (m_objects->host() == nullptr) {
        chooseDropAction(*event);
        if (event->isAccepted()) {
            const Qt::DropAction action = event->dropAction();
            m_view->defaultDrop(event);
            event->setDropAction(action);
        }
        return;
    }
    const DWORD effect = dropEffect(*event);
    if (effect == DROPEFFECT_NONE || isReadOnly() || event->mimeData() == nullptr) {
        event->ignore();
        return;
    }
    flush();
    const QStringList files =
        event->source() == nullptr ? LocalFilesOf(*event->mimeData()) : QStringList();
    if (!files.isEmpty() && m_objects->accepts(*event->mimeData(), 0, true)) {
        // Files from elsewhere become objects: linked, or embedded copies.
        // The source is told the files were copied, never moved: it must
        // not delete what was only copied in.
        QTextCursor cursor = m_view->cursorForPosition(event->position().toPoint());
        cursor.beginEditBlock();
        const bool inserted = m_objects->pasteFiles(cursor, files, effect == DROPEFFECT_LINK);
        cursor.endEditBlock();
        if (inserted) {
            setTextCursor(cursor);
            event->setDropAction(effect == DROPEFFECT_LINK ? Qt::LinkAction : Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    event->setDropAction(toDropAction(effect));
    m_view->defaultDrop(event);
    event->setDropAction(toDropAction(effect));
}

} // namespace win
