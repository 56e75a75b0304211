// The rich edit window's object interfaces: IRichEditOle, which the editor
// control uses to insert and inspect objects, and IRichEditOleCallback, which
// the control hands to the window to answer its questions about objects.
//
// An object in the text is one U+FFFC character whose character format holds
// the object's record (ObjectRecord): the object, its storage, its class, its
// display aspect and its flags. Undo and redo keep the record, so an object
// survives them; the clipboard and the stored text carry the object as bytes.
#pragma once

#include "platform/oleclipboard.h"
#include "platform/oleobject.h"
#include "platform/oletypes.h"

#include <QTextCharFormat>

#include <memory>

class QTextCursor;
class QTextDocument;
class QWidget;

namespace win {

inline constexpr LONG REO_CP_SELECTION = -1;
inline constexpr LONG REO_IOB_SELECTION = -1;
inline constexpr LONG REO_IOB_USE_CP = -2;

inline constexpr DWORD REO_RESIZABLE = 0x1;
inline constexpr DWORD REO_BELOWBASELINE = 0x2;
inline constexpr DWORD REO_INVERTEDSELECT = 0x4;
inline constexpr DWORD REO_DYNAMICSIZE = 0x8;
inline constexpr DWORD REO_BLANK = 0x10;
inline constexpr DWORD REO_INPLACEACTIVE = 0x02000000;
inline constexpr DWORD REO_OPEN = 0x04000000;
inline constexpr DWORD REO_SELECTED = 0x08000000;
inline constexpr DWORD REO_LINK = 0x80000000;

inline constexpr DWORD REO_GETOBJ_NO_INTERFACES = 0x0;
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

// What an object in the text carries.
struct ObjectRecord
{
    std::shared_ptr<IOleObject> object;
    std::shared_ptr<IStorage> storage;
    std::shared_ptr<IOleClientSite> site;
    CLSID clsid{};
    DWORD aspect = DVASPECT_CONTENT;
    DWORD flags = 0;
    bool operator==(const ObjectRecord &other) const { return this == &other; }
};
using ObjectRecordPtr = std::shared_ptr<ObjectRecord>;

// The character format of an object, and the record of a format (nullptr
// when the format is not an object's).
inline constexpr int kObjectTextFormat = QTextFormat::UserObject + 1;
QTextCharFormat ObjectCharFormat(const ObjectRecordPtr &record);
ObjectRecordPtr ObjectRecordOf(const QTextFormat &format);
// Inserts the object at the cursor as one U+FFFC character.
void InsertObjectCharacter(QTextCursor &cursor, const ObjectRecordPtr &record);
// A record for a loaded or created object kept in the storage.
ObjectRecordPtr MakeObjectRecord(const std::shared_ptr<IOleObject> &object,
                                 const std::shared_ptr<IStorage> &storage, DWORD aspect,
                                 DWORD flags);
// The objects of a document (or of [from, to)) in text order, with positions.
struct PositionedObject
{
    LONG cp;
    ObjectRecordPtr record;
};
std::vector<PositionedObject> ObjectsOf(const QTextDocument &document, int from = 0, int to = -1);

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
