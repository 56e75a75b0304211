// The object dialogs: insert object and paste special, in the shape of the
// platform's, as modal dialogs of the toolkit.
//
// Both call their hook with WM_INITDIALOG once the dialog has its size and
// before it is shown, so the hook can place it; both return OLEUI_OK when the
// user confirms, OLEUI_CANCEL when the dialog is cancelled or closed, and an
// error code (OLEUI_ERR_...) for a structure they cannot use.
#pragma once

#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/oletypes.h"

#include <memory>

namespace win {

using LPFNOLEUIHOOK = UINT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr UINT OLEUI_OK = 1;
inline constexpr UINT OLEUI_CANCEL = 2;
inline constexpr UINT OLEUI_ERR_STANDARDMIN = 100;
inline constexpr UINT OLEUI_ERR_STRUCTURENULL = 101;
inline constexpr UINT OLEUI_ERR_CBSTRUCTINCORRECT = 103;
inline constexpr UINT OLEUI_IOERR_ARRPASTEENTRIESINVALID = OLEUI_ERR_STANDARDMIN + 8;
inline constexpr UINT OLEUI_IOERR_ARRLINKTYPESINVALID = OLEUI_ERR_STANDARDMIN + 9;
inline constexpr UINT OLEUI_IOERR_LPSZFILEINVALID = OLEUI_ERR_STANDARDMIN + 10;
inline constexpr UINT OLEUI_IOERR_PPVOBJINVALID = OLEUI_ERR_STANDARDMIN + 12;
inline constexpr UINT OLEUI_IOERR_LPISTORAGEINVALID = OLEUI_ERR_STANDARDMIN + 16;
inline constexpr UINT OLEUI_IOERR_CCHFILEINVALID = OLEUI_ERR_STANDARDMIN + 19;
inline constexpr UINT OLEUI_PSERR_GETCLIPBOARDFAILED = OLEUI_ERR_STANDARDMIN + 11;

// Insert-object flags.
inline constexpr DWORD IOF_SELECTCREATENEW = 0x2;
inline constexpr DWORD IOF_SELECTCREATEFROMFILE = 0x4;
inline constexpr DWORD IOF_CHECKLINK = 0x8;
inline constexpr DWORD IOF_CHECKDISPLAYASICON = 0x10;
inline constexpr DWORD IOF_CREATENEWOBJECT = 0x20;
inline constexpr DWORD IOF_CREATEFILEOBJECT = 0x40;
inline constexpr DWORD IOF_CREATELINKOBJECT = 0x80;
inline constexpr DWORD IOF_DISABLELINK = 0x100;
inline constexpr DWORD IOF_VERIFYSERVERSEXIST = 0x200;
inline constexpr DWORD IOF_DISABLEDISPLAYASICON = 0x400;

// The single-byte-character form: lpszFile in the system code page.
struct OLEUIINSERTOBJECTA
{
    DWORD cbStruct = 0;
    DWORD dwFlags = 0;
    HWND hWndOwner = nullptr;
    const char *lpszCaption = nullptr;
    LPFNOLEUIHOOK lpfnHook = nullptr;
    LPARAM lCustData = 0;
    void *hInstance = nullptr;
    const char *lpszTemplate = nullptr;
    void *hResource = nullptr;
    CLSID clsid{};            // out: the class chosen or created
    char *lpszFile = nullptr; // out: the file chosen (cut to cchFile - 1)
    UINT cchFile = 0;
    UINT cClsidExclude = 0;
    const CLSID *lpClsidExclude = nullptr;
    IID iid{};
    DWORD oleRender = 0;
    FORMATETC *lpFormatEtc = nullptr;
    std::shared_ptr<IOleClientSite> lpIOleClientSite;
    std::shared_ptr<IStorage> lpIStorage;
    std::shared_ptr<IOleObject> *ppvObj = nullptr; // out: the object made
    HRESULT sc = S_OK;                             // out: the result of making it
    HGLOBAL hMetaPict = nullptr;                   // out: the icon picture
};

// Paste-special flags.
inline constexpr DWORD PSF_SELECTPASTE = 0x2;
inline constexpr DWORD PSF_SELECTPASTELINK = 0x4;
inline constexpr DWORD PSF_CHECKDISPLAYASICON = 0x8;
inline constexpr DWORD PSF_DISABLEDISPLAYASICON = 0x10;
inline constexpr DWORD PSF_HIDECHANGEICON = 0x20;

// Paste-entry flags.
inline constexpr DWORD OLEUIPASTE_ENABLEICON = 0x800;
inline constexpr DWORD OLEUIPASTE_PASTE = 0x200;
inline constexpr DWORD OLEUIPASTE_LINKANYTYPE = 0x400;
inline constexpr DWORD OLEUIPASTE_LINKTYPE1 = 0x1;
// The link types a request may name, one OLEUIPASTE_LINKTYPE bit each.
inline constexpr int PS_MAXLINKTYPES = 8;

struct OLEUIPASTEENTRYW
{
    FORMATETC fmtetc;
    LPCWSTR lpstrFormatName = nullptr; // "%s": the clipboard object's type
    LPCWSTR lpstrResultText = nullptr; // "%s": likewise
    DWORD dwFlags = 0;
    DWORD dwScratchSpace = 0;
};

struct OLEUIPASTESPECIALW
{
    DWORD cbStruct = 0;
    DWORD dwFlags = 0;
    HWND hWndOwner = nullptr;
    LPCWSTR lpszCaption = nullptr;
    LPFNOLEUIHOOK lpfnHook = nullptr;
    LPARAM lCustData = 0;
    void *hInstance = nullptr;
    LPCWSTR lpszTemplate = nullptr;
    void *hResource = nullptr;
    std::shared_ptr<IDataObject> lpSrcDataObj; // in: nullptr for the clipboard; out: the data
    OLEUIPASTEENTRYW *arrPasteEntries = nullptr;
    int cPasteEntries = 0;
    UINT *arrLinkTypes = nullptr;
    int cLinkTypes = 0;
    UINT cClsidExclude = 0;
    const CLSID *lpClsidExclude = nullptr;
    int nSelectedIndex = -1;     // out
    BOOL fLink = FALSE;          // out
    HGLOBAL hMetaPict = nullptr; // out: the icon picture
    SIZE sizel{};
};

UINT OleUIInsertObjectA(OLEUIINSERTOBJECTA *dialog);
UINT OleUIPasteSpecialW(OLEUIPASTESPECIALW *dialog);

} // namespace win
