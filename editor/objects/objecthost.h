// The object host: the answers the editor control gives when its rich edit
// window asks about embedded objects. They govern what pasting, drag and drop
// and the right-click menu do with objects.
#pragma once

#include "platform/richedit/richeditole.h"

#include <QKeySequence>
#include <QList>
#include <QPointer>

namespace veskel {

class TRichEditor;

class ObjectHost final : public win::IRichEditOleCallback
{
public:
    explicit ObjectHost(TRichEditor *editor);
    ~ObjectHost() override;

    win::HRESULT GetNewStorage(std::shared_ptr<win::IStorage> &storage) override;
    win::HRESULT GetInPlaceContext(win::HWND *frame, win::HWND *document,
                                   win::OLEINPLACEFRAMEINFO *frameInfo) override;
    win::HRESULT ShowContainerUI(win::BOOL show) override;
    win::HRESULT QueryInsertObject(const win::CLSID &clsid,
                                   const std::shared_ptr<win::IStorage> &storage,
                                   win::LONG cp) override;
    win::HRESULT DeleteObject(const std::shared_ptr<win::IOleObject> &object) override;
    win::HRESULT QueryAcceptData(const std::shared_ptr<win::IDataObject> &data,
                                 win::CLIPFORMAT *format, win::DWORD reco, win::BOOL really,
                                 win::HGLOBAL metaPict) override;
    win::HRESULT ContextSensitiveHelp(win::BOOL enterMode) override;
    win::HRESULT GetClipboardData(const win::CHARRANGE &range, win::DWORD reco,
                                  std::shared_ptr<win::IDataObject> &data) override;
    win::HRESULT GetDragDropEffect(win::BOOL drag, win::DWORD keyState,
                                   win::DWORD *effect) override;
    win::HRESULT GetContextMenu(win::WORD selectionType,
                                const std::shared_ptr<win::IOleObject> &object,
                                const win::CHARRANGE &range, void **menu) override;

    // The frame form while an object is active in place, and the accelerator
    // table built from its main menu (once).
    QWidget *Frame() const { return m_frame; }
    const QList<QKeySequence> &Accelerators() const { return m_accelerators; }

private:
    TRichEditor *m_editor;
    QPointer<QWidget> m_frame;
    QList<QKeySequence> m_accelerators;
    bool m_acceleratorsBuilt = false;
};

// The form's active object control: the inner window that last showed an
// object's user interface on it (nullptr: none).
QWidget *ActiveOleControl(QWidget *form);
void SetActiveOleControl(QWidget *form, QWidget *control);

} // namespace veskel
