#include "editor/objects/objectstorage.h"

#include "platform/ole/oleclipboard.h"
#include "platform/winui/winwindow.h"
#include "runtime/exceptions.h"

namespace veskel {

using namespace win;

namespace {

ObjectClipboardFormats g_formats;

} // namespace

void RegisterObjectClipboardFormats()
{
    if (g_formats.objectDescriptor != 0) {
        return;
    }
    g_formats.objectDescriptor = RegisterClipboardFormatW(u"Object Descriptor");
    g_formats.embeddedObject = RegisterClipboardFormatW(u"Embedded Object");
    g_formats.linkSource = RegisterClipboardFormatW(u"Link Source");
    g_formats.richTextFormat = RegisterClipboardFormatW(u"Rich Text Format");
    g_formats.richEditTextAndObjects = RegisterClipboardFormatW(u"RichEdit Text and Objects");
}

const ObjectClipboardFormats &ObjectFormats()
{
    return g_formats;
}

void OleCheck(HRESULT result)
{
    if (SUCCEEDED(result)) {
        return;
    }
    QString message = ResultMessage(result);
    if (message.isEmpty()) {
        message = QStringLiteral("OLE error %1")
                      .arg(static_cast<std::uint32_t>(result), 8, 16, QLatin1Char('0'));
    }
    throw EOleSysError(message);
}

std::shared_ptr<IStorage> CreateObjectStorage()
{
    std::shared_ptr<ILockBytes> lockBytes;
    OleCheck(CreateILockBytesOnHGlobal(nullptr, TRUE, lockBytes));
    std::shared_ptr<IStorage> storage;
    OleCheck(StgCreateDocfileOnILockBytes(
        lockBytes, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, storage));
    return storage; // it keeps the lock bytes alive
}

void SetDisplayAspect(const std::shared_ptr<IOleObject> &object, bool asIcon, HGLOBAL iconPicture,
                      DWORD &aspect)
{
    const DWORD newAspect = asIcon ? DVASPECT_ICON : DVASPECT_CONTENT;
    if (newAspect == aspect && newAspect != DVASPECT_ICON) {
        return;
    }
    const auto cache = std::dynamic_pointer_cast<IOleCache>(object);
    if (!cache) {
        OleCheck(E_NOINTERFACE);
    }
    if (newAspect != aspect) {
        std::vector<STATDATA> entries;
        OleCheck(cache->EnumCache(entries));
        for (const STATDATA &entry : entries) {
            if (entry.formatetc.dwAspect == aspect) {
                OleCheck(cache->Uncache(entry.dwConnection));
            }
        }
        const FORMATETC format{0, nullptr, newAspect, -1, TYMED_NULL};
        DWORD connection = 0;
        OleCheck(cache->Cache(format, newAspect == DVASPECT_ICON ? ADVF_NODATA : ADVF_PRIMEFIRST,
                              &connection));
        if (const auto view = std::dynamic_pointer_cast<IViewObject>(object)) {
            OleCheck(view->SetAdvise(newAspect, 0, nullptr));
        }
    }
    if (newAspect == DVASPECT_ICON) {
        HGLOBAL picture = iconPicture;
        const bool own = picture == nullptr;
        if (own) {
            CLSID clsid{};
            OleCheck(object->GetUserClassID(clsid));
            picture = OleGetIconOfClass(clsid, QString(), TRUE);
        }
        const FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT};
        const HRESULT stored = cache->SetData(format, STGMEDIUM{TYMED_MFPICT, picture}, FALSE);
        if (own) {
            FreeIconPicture(picture);
        }
        OleCheck(stored);
    } else {
        OleCheck(object->Update());
    }
    aspect = newAspect;
}

UINT CenterDialogHook(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) {
        return 0;
    }
    HWND dialog = window;
    if ((static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & WS_CHILD) != 0) {
        dialog = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWL_HWNDPARENT));
    }
    RECT rect;
    GetWindowRect(dialog, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 3, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 1;
}

} // namespace veskel
