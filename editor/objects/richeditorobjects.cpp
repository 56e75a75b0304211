// The editor control's embedded objects: setting up and releasing the inner
// window's object interface, and the insert-object and paste-special
// commands.
#include "editor/objects/objecthost.h"
#include "editor/objects/objectstorage.h"
#include "editor/richeditor.h"
#include "platform/winui/winwindow.h"
#include "runtime/exceptions.h"

#include <QScopeGuard>

#include <cstring>

namespace veskel {

using namespace win;

void TRichEditor::CreateObjectInterface(RichEditWindow *window)
{
    if (!m_properties.AllowObjects()) {
        return;
    }
    if (window->getOleInterface(m_richEditOle) == FALSE || !m_richEditOle) {
        m_richEditOle.reset();
        throw EOutOfResources(QStringLiteral("RichEdit: failed to get IRichEditOle interface"));
    }
    if (window->setOleCallback(m_host.get()) == FALSE) {
        throw EOutOfResources(QStringLiteral("RichEdit: failed to set callback"));
    }
}

void TRichEditor::DestroyObjectInterface(RichEditWindow *window)
{
    if (!m_richEditOle) {
        window->setOleCallback(nullptr);
        return;
    }
    QWidget *form = this->window();
    if (ActiveOleControl(form) == window) {
        SetActiveOleControl(form, nullptr);
    }
    // Every object closes without saving, the last first.
    for (LONG index = m_richEditOle->GetObjectCount() - 1; index >= 0; --index) {
        REOBJECT object{};
        object.cbStruct = sizeof(REOBJECT);
        if (SUCCEEDED(m_richEditOle->GetObject(index, object, REO_GETOBJ_POLEOBJ)) &&
            object.poleobj) {
            if ((object.dwFlags & REO_INPLACEACTIVE) != 0) {
                m_richEditOle->InPlaceDeactivate();
            }
            object.poleobj->Close(OLECLOSE_NOSAVE);
        }
    }
    window->setOleCallback(nullptr);
    m_richEditOle.reset();
}

bool TRichEditor::InsertObject()
{
    if (!m_properties.AllowObjects() || !HandleAllocated() || !m_richEditOle) {
        return false;
    }
    RichEditWindow *window = m_window;
    std::shared_ptr<IStorage> storage = CreateObjectStorage();
    std::shared_ptr<IOleClientSite> site;
    m_richEditOle->GetClientSite(site);

    char file[256];
    std::memset(file, 0, sizeof file);
    std::shared_ptr<IOleObject> object;
    OLEUIINSERTOBJECTA dialogData{};
    REOBJECT reobject{};
    // Frees what the dialog handed back and forgets the rest, however the
    // command ends.
    const auto cleanup = qScopeGuard([&] {
        FreeIconPicture(dialogData.hMetaPict);
        object.reset();
        dialogData = OLEUIINSERTOBJECTA{};
        reobject = REOBJECT{};
        storage.reset();
        site.reset();
    });

    dialogData.cbStruct = sizeof(OLEUIINSERTOBJECTA);
    dialogData.dwFlags = IOF_SELECTCREATENEW | IOF_CREATENEWOBJECT | IOF_CREATEFILEOBJECT |
                         IOF_CREATELINKOBJECT | IOF_VERIFYSERVERSEXIST;
    dialogData.hWndOwner = window;
    dialogData.lpfnHook = &CenterDialogHook;
    dialogData.lpszFile = file;
    dialogData.cchFile = sizeof file;
    dialogData.iid = IID_IOleObject;
    dialogData.oleRender = OLERENDER_DRAW;
    dialogData.lpIOleClientSite = site;
    dialogData.lpIStorage = storage;
    dialogData.ppvObj = &object;
    if (OleUIInsertObjectA(&dialogData) != OLEUI_OK || !object) {
        return false;
    }
    const bool createdNew = (dialogData.dwFlags & IOF_SELECTCREATENEW) != 0;
    const bool asIcon = (dialogData.dwFlags & IOF_CHECKDISPLAYASICON) != 0;

    reobject.cbStruct = sizeof(REOBJECT);
    reobject.cp = REO_CP_SELECTION;
    reobject.clsid = dialogData.clsid;
    reobject.poleobj = object;
    reobject.pstg = storage;
    reobject.polesite = site;
    reobject.dvaspect = DVASPECT_CONTENT;
    reobject.dwFlags = createdNew ? REO_RESIZABLE | REO_BLANK : REO_RESIZABLE;
    SetDisplayAspect(object, asIcon, dialogData.hMetaPict, reobject.dvaspect);

    CHARRANGE range{};
    if (HandleAllocated()) {
        window->exGetSel(range);
        range.cpMax = range.cpMin + 1;
    }
    if (FAILED(m_richEditOle->InsertObject(reobject))) {
        return false;
    }
    if (HandleAllocated()) {
        window->exSetSel(range);
        window->scrollCaret();
    }
    m_richEditOle->SetDvaspect(REO_IOB_SELECTION, reobject.dvaspect);
    if (createdNew) {
        RECT client;
        GetClientRect(window, &client);
        const QRect position(client.left, client.top, client.right - client.left,
                             client.bottom - client.top);
        OleCheck(object->DoVerb(OLEIVERB_SHOW, nullptr, site, 0, window, &position));
    }
    return true;
}

bool TRichEditor::PasteSpecial()
{
    if (!CanPaste() || !m_richEditOle) {
        return false;
    }
    const ObjectClipboardFormats &formats = ObjectFormats();
    // The formats offered, in the order the dialog lists them; the objects
    // come first, then what the window imports itself.
    enum PasteEntry : int
    {
        EmbeddedObject,
        LinkedObject,
        Bitmap,
        RichText,
        UnformattedText,
        RichEditTextAndObjects,
        PasteEntryCount
    };
    OLEUIPASTEENTRYW entries[PasteEntryCount];
    const auto entry = [&entries](PasteEntry index, UINT format, DWORD tymed, const char16_t *name,
                                  const char16_t *result, DWORD flags) {
        entries[index].fmtetc =
            FORMATETC{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, tymed};
        entries[index].lpstrFormatName = name;
        entries[index].lpstrResultText = result;
        entries[index].dwFlags = flags;
    };
    entry(EmbeddedObject, formats.embeddedObject, TYMED_ISTORAGE, u"%s", u"%s",
          OLEUIPASTE_PASTE | OLEUIPASTE_ENABLEICON);
    entry(LinkedObject, formats.linkSource, TYMED_ISTREAM, u"%s", u"%s",
          OLEUIPASTE_LINKTYPE1 | OLEUIPASTE_ENABLEICON);
    entry(Bitmap, CF_BITMAP, TYMED_GDI, u"Windows bitmap", u"bitmap image", OLEUIPASTE_PASTE);
    entry(RichText, formats.richTextFormat, TYMED_ISTORAGE, u"Rich Text Format",
          u"Rich Text Format", OLEUIPASTE_PASTE);
    entry(UnformattedText, CF_TEXT, TYMED_HGLOBAL, u"Unformatted text",
          u"text without any formatting", OLEUIPASTE_PASTE);
    entry(RichEditTextAndObjects, formats.richEditTextAndObjects, TYMED_ISTORAGE,
          u"RichEdit Text and Objects", u"RichEdit Text and Objects", OLEUIPASTE_PASTE);
    UINT linkTypes[1] = {formats.linkSource};

    OLEUIPASTESPECIALW dialogData{};
    // Frees what the dialog handed back, however the command ends.
    const auto cleanup = qScopeGuard([&] {
        FreeIconPicture(dialogData.hMetaPict);
        dialogData.lpSrcDataObj.reset();
        dialogData = OLEUIPASTESPECIALW{};
    });
    dialogData.cbStruct = sizeof(OLEUIPASTESPECIALW);
    dialogData.dwFlags = PSF_SELECTPASTE;
    dialogData.hWndOwner = window();
    dialogData.lpfnHook = &CenterDialogHook;
    dialogData.arrPasteEntries = entries;
    dialogData.cPasteEntries = PasteEntryCount;
    dialogData.arrLinkTypes = linkTypes;
    dialogData.cLinkTypes = 1;
    if (OleUIPasteSpecialW(&dialogData) != OLEUI_OK) {
        return false;
    }
    const int index = dialogData.nSelectedIndex;
    if (index < 0 || index >= PasteEntryCount) {
        return false;
    }
    if (index != EmbeddedObject && index != LinkedObject) {
        return SUCCEEDED(m_richEditOle->ImportDataObject(
            dialogData.lpSrcDataObj, entries[index].fmtetc.cfFormat, dialogData.hMetaPict));
    }

    std::shared_ptr<IOleClientSite> site;
    m_richEditOle->GetClientSite(site);
    std::shared_ptr<IStorage> storage = CreateObjectStorage();
    std::shared_ptr<IOleObject> object;
    OleCheck(index == EmbeddedObject
                 ? OleCreateFromData(dialogData.lpSrcDataObj, IID_IOleObject, OLERENDER_DRAW,
                                     nullptr, site, storage, object)
                 : OleCreateLinkFromData(dialogData.lpSrcDataObj, IID_IOleObject, OLERENDER_DRAW,
                                         nullptr, site, storage, object));
    REOBJECT reobject{};
    reobject.cbStruct = sizeof(REOBJECT);
    reobject.cp = REO_CP_SELECTION;
    object->GetUserClassID(reobject.clsid);
    reobject.poleobj = object;
    reobject.pstg = storage;
    reobject.polesite = site;
    reobject.dvaspect = DVASPECT_CONTENT;
    reobject.dwFlags = REO_RESIZABLE;
    SetDisplayAspect(object, (dialogData.dwFlags & PSF_CHECKDISPLAYASICON) != 0,
                     dialogData.hMetaPict, reobject.dvaspect);
    RichEditWindow *inner = InnerWindow();
    CHARRANGE range{};
    inner->exGetSel(range);
    range.cpMax = range.cpMin + 1;
    if (SUCCEEDED(m_richEditOle->InsertObject(reobject))) {
        inner->exSetSel(range);
        OleCheck(m_richEditOle->SetDvaspect(REO_IOB_SELECTION, reobject.dvaspect));
    }
    return true;
}

} // namespace veskel
