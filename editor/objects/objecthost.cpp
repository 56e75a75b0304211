#include "editor/objects/objecthost.h"

#include "editor/objects/objectstorage.h"
#include "editor/richeditor.h"
#include "platform/winui/winwindow.h"
#include "runtime/exceptions.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace veskel {

using namespace win;

namespace {

const char *const kActiveOleControl = "veskelActiveOleControl";

// The form the control sits on: its top-level window, or for a form inside a
// multiple-document frame, the application's main form.
QWidget *FormOf(QWidget *control)
{
    QWidget *form = control->window();
    if (form == control) {
        return nullptr; // not on a form
    }
    if (qobject_cast<QMdiSubWindow *>(control->parentWidget()) != nullptr ||
        control->window()->findChild<QMdiSubWindow *>() != nullptr) {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMainWindow *>(top) != nullptr) {
                return top;
            }
        }
    }
    return form;
}

} // namespace

QWidget *ActiveOleControl(QWidget *form)
{
    return form == nullptr
               ? nullptr
               : qobject_cast<QWidget *>(form->property(kActiveOleControl).value<QObject *>());
}

void SetActiveOleControl(QWidget *form, QWidget *control)
{
    if (form != nullptr) {
        form->setProperty(kActiveOleControl, QVariant::fromValue<QObject *>(control));
    }
}

ObjectHost::ObjectHost(TRichEditor *editor)
    : m_editor(editor)
{}

ObjectHost::~ObjectHost() = default;

HRESULT ObjectHost::GetNewStorage(std::shared_ptr<IStorage> &storage)
{
    try {
        storage = CreateObjectStorage();
        return S_OK;
    } catch (const EOleSysError &) {
        storage.reset();
        return E_OUTOFMEMORY;
    }
}

HRESULT ObjectHost::GetInPlaceContext(HWND *frame, HWND *document, OLEINPLACEFRAMEINFO *frameInfo)
{
    QWidget *form = FormOf(m_editor);
    if (form == nullptr || !m_editor->Properties().AllowObjects()) {
        return E_NOTIMPL;
    }
    m_frame = form;
    if (!m_acceleratorsBuilt) {
        m_acceleratorsBuilt = true;
        if (auto *main = qobject_cast<QMainWindow *>(form)) {
            for (QAction *menu : main->menuBar()->actions()) {
                const QList<QAction *> items =
                    menu->menu() != nullptr ? menu->menu()->actions() : QList<QAction *>{menu};
                for (QAction *item : items) {
                    for (const QKeySequence &key : item->shortcuts()) {
                        m_accelerators << key;
                    }
                }
            }
        }
    }
    if (frame != nullptr) {
        *frame = form;
    }
    if (document != nullptr) {
        *document = m_editor->window();
    }
    if (frameInfo != nullptr) {
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = form;
        frameInfo->haccel = &m_accelerators;
        frameInfo->cAccelEntries = static_cast<UINT>(m_accelerators.size());
    }
    return S_OK;
}

HRESULT ObjectHost::ShowContainerUI(BOOL show)
{
    QWidget *form = FormOf(m_editor);
    QWidget *inner = m_editor->HandleAllocated() ? m_editor->InnerWindow() : nullptr;
    if (show == FALSE) {
        if (m_editor->EditingPermitted() && inner != nullptr) {
            SetActiveOleControl(form, nullptr); // another control stops being active first
            SetActiveOleControl(form, inner);
            inner->setFocus();
        }
        return S_OK;
    }
    // Nothing negotiates border space here; only the references go.
    m_accelerators.clear();
    m_acceleratorsBuilt = false;
    m_frame.clear();
    if (ActiveOleControl(form) == inner) {
        SetActiveOleControl(form, nullptr);
    }
    return S_OK;
}

HRESULT ObjectHost::QueryInsertObject(const CLSID &clsid, const std::shared_ptr<IStorage> &,
                                      LONG cp)
{
    if (cp != REO_CP_SELECTION) {
        return S_OK;
    }
    bool allow = true;
    if (m_editor->OnQueryInsertObject) {
        m_editor->OnQueryInsertObject(m_editor, allow, clsid);
    }
    return allow ? S_OK : E_NOTIMPL;
}

HRESULT ObjectHost::DeleteObject(const std::shared_ptr<IOleObject> &object)
{
    if (object) {
        object->Close(OLECLOSE_NOSAVE);
    }
    return S_OK;
}

HRESULT ObjectHost::QueryAcceptData(const std::shared_ptr<IDataObject> &, CLIPFORMAT *, DWORD, BOOL,
                                    HGLOBAL)
{
    return S_OK;
}

HRESULT ObjectHost::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT ObjectHost::GetClipboardData(const CHARRANGE &, DWORD, std::shared_ptr<IDataObject> &data)
{
    data.reset();
    return E_NOTIMPL;
}

HRESULT ObjectHost::GetDragDropEffect(BOOL drag, DWORD keyState, DWORD *effect)
{
    if (drag != FALSE || effect == nullptr) {
        return S_OK;
    }
    DWORD candidate = DROPEFFECT_MOVE;
    if ((keyState & MK_CONTROL) != 0 && (keyState & MK_SHIFT) != 0) {
        candidate = DROPEFFECT_LINK;
    } else if ((keyState & MK_CONTROL) != 0) {
        candidate = DROPEFFECT_COPY;
    }
    if ((*effect & candidate) != 0) {
        *effect = candidate;
    }
    return S_OK;
}

HRESULT ObjectHost::GetContextMenu(WORD, const std::shared_ptr<IOleObject> &, const CHARRANGE &,
                                   void **menu)
{
    if (menu != nullptr) {
        *menu = nullptr;
    }
    RichEditWindow *inner = m_editor->HandleAllocated() ? m_editor->InnerWindow() : nullptr;
    const QPoint at = inner != nullptr ? inner->contextMenuPosition() : QPoint();
    PostMessageW(m_editor, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(inner),
                 MAKELPARAM(at.x(), at.y()));
    return S_OK;
}

} // namespace veskel
