// The rich edit window's object interfaces: IRichEditOle, which the editor
// control uses to insert and inspect objects, and IRichEditOleCallback, which
// the control hands to the window to answer its questions about objects.
//
// An object in the text is one U+FFFC character that carries its record
// (platform/ole/textobject.h).
#pragma once

#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/oletypes.h"
#include "platform/ole/textobject.h"
#include "platform/richedit/richeditconst.h"

#include <memory>

namespace win {

inline constexpr LONG REO_CP_SELECTION = -1;
inline constexpr LONG REO_IOB_SELECTION = -1;
inline constexpr LONG REO_IOB_USE_CP = -2;

inline constexpr DWORD REO_GETOBJ_POLEOBJ = 0x1;
inline constexpr DWORD REO_GETOBJ_PSTG = 0x2;
inline constexpr DWORD REO_GETOBJ_POLESITE = 0x4;
inline constexpr DWORD REO_GETOBJ_ALL_INTERFACES = 0x7;

inline constexpr WORD SEL_EMPTY = 0x0;
inline constexpr WORD SEL_TEXT = 0x1;
inline constexpr WORD SEL_OBJECT = 0x2;
inline constexpr WORD SEL_MULTICHAR = 0x4;
inline constexpr WORD SEL_MULTIOBJECT = 0x8;

struct REOBJECT
{
    DWORD cbStruct = 0;
    LONG cp = 0;
    CLSID clsid{};
    std::shared_ptr<IOleObject> poleobj;
    std::shared_ptr<IStorage> pstg;
    std::shared_ptr<IOleClientSite> polesite;
    SIZE sizel{};
    DWORD dvaspect = DVASPECT_CONTENT;
    DWORD dwFlags = 0;
    DWORD dwUser = 0;
};

// What a frame offers an object active in place.
struct OLEINPLACEFRAMEINFO
{
    UINT cb = 0;
    BOOL fMDIApp = FALSE;
    HWND hwndFrame = nullptr;
    const void *haccel = nullptr; // the frame's accelerator table
    UINT cAccelEntries = 0;
};

class IRichEditOleCallback
{
public:
    virtual ~IRichEditOleCallback() = default;
    virtual HRESULT GetNewStorage(std::shared_ptr<IStorage> &storage) = 0;
    virtual HRESULT GetInPlaceContext(HWND *frame, HWND *document,
                                      OLEINPLACEFRAMEINFO *frameInfo) = 0;
    virtual HRESULT ShowContainerUI(BOOL show) = 0;
    virtual HRESULT QueryInsertObject(const CLSID &clsid, const std::shared_ptr<IStorage> &storage,
                                      LONG cp) = 0;
    virtual HRESULT DeleteObject(const std::shared_ptr<IOleObject> &object) = 0;
    virtual HRESULT QueryAcceptData(const std::shared_ptr<IDataObject> &data, CLIPFORMAT *format,
                                    DWORD reco, BOOL really, HGLOBAL metaPict) = 0;
    virtual HRESULT ContextSensitiveHelp(BOOL enterMode) = 0;
    virtual HRESULT GetClipboardData(const CHARRANGE &range, DWORD reco,
                                     std::shared_ptr<IDataObject> &data) = 0;
    virtual HRESULT GetDragDropEffect(BOOL drag, DWORD keyState, DWORD *effect) = 0;
    virtual HRESULT GetContextMenu(WORD selectionType, const std::shared_ptr<IOleObject> &object,
                                   const CHARRANGE &range, void **menu) = 0;
};

class IRichEditOle
{
public:
    virtual ~IRichEditOle() = default;
    virtual HRESULT GetClientSite(std::shared_ptr<IOleClientSite> &site) = 0;
    virtual LONG GetObjectCount() = 0;
    // iob: the object's index in text order, or REO_IOB_SELECTION for the
    // object that is the selection, or REO_IOB_USE_CP for the one at
    // object.cp.
    virtual HRESULT GetObject(LONG iob, REOBJECT &object, DWORD flags) = 0;
    // At object.cp, or the selection (replacing it) for REO_CP_SELECTION.
    virtual HRESULT InsertObject(REOBJECT &object) = 0;
    virtual HRESULT SetDvaspect(LONG iob, DWORD aspect) = 0;
    // Pastes the data in the format (0: the best one) at the selection.
    virtual HRESULT ImportDataObject(const std::shared_ptr<IDataObject> &data, CLIPFORMAT format,
                                     HGLOBAL metaPict) = 0;
    virtual HRESULT InPlaceDeactivate() = 0;
};

} // namespace win
