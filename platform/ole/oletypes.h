// The object-linking-and-embedding types, result codes and constants, under
// the names and values the platform uses.
//
// Interfaces are C++ abstract classes held by std::shared_ptr: taking a
// reference copies the pointer, releasing it resets the pointer, and asking an
// object for another interface is a dynamic_pointer_cast.
#pragma once

#include "platform/win/wintypes.h"

#include <QString>

#include <compare>
#include <cstdint>
#include <memory>

class QWidget;

namespace win {

using CLIPFORMAT = std::uint16_t;

constexpr HRESULT MakeResult(std::uint32_t code)
{
    return static_cast<HRESULT>(code);
}
constexpr bool SUCCEEDED(HRESULT result)
{
    return result >= 0;
}
constexpr bool FAILED(HRESULT result)
{
    return result < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
inline constexpr HRESULT STG_E_FILENOTFOUND = MakeResult(0x80030002);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeResult(0x80030005);
inline constexpr HRESULT STG_E_INVALIDFLAG = MakeResult(0x800300FF);
inline constexpr HRESULT STG_E_READFAULT = MakeResult(0x8003001E);
inline constexpr HRESULT STG_E_MEDIUMFULL = MakeResult(0x80030070);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = MakeResult(0x80030111);
inline constexpr HRESULT OLE_E_NOCONNECTION = MakeResult(0x80040004);
inline constexpr HRESULT DV_E_DVASPECT = MakeResult(0x8004006B);
inline constexpr HRESULT DV_E_FORMATETC = MakeResult(0x80040064);
inline constexpr HRESULT DV_E_CLIPFORMAT = MakeResult(0x8004006A);
inline constexpr HRESULT OLE_E_NOTRUNNING = MakeResult(0x80040005);
inline constexpr HRESULT OLE_E_CANT_BINDTOSOURCE = MakeResult(0x8004000A);
inline constexpr HRESULT OLE_E_STATIC = MakeResult(0x8004000B);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeResult(0x800401F3);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154);

// The system's text for a result code, without a trailing full stop; empty
// when the system has none.
QString ResultMessage(HRESULT result);

struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID &, const GUID &) = default;
};
using CLSID = GUID;
using IID = GUID;

inline constexpr CLSID CLSID_NULL{};
inline constexpr IID IID_IOleObject{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The object classes this platform can make.
inline constexpr CLSID CLSID_Picture{
    0x6B1A1C01, 0x5E0A, 0x4C2B, {0x9F, 0x2E, 0x71, 0x3C, 0x0A, 0x51, 0x8D, 0x01}};
inline constexpr CLSID CLSID_Package{
    0x6B1A1C02, 0x5E0A, 0x4C2B, {0x9F, 0x2E, 0x71, 0x3C, 0x0A, 0x51, 0x8D, 0x02}};

// Display aspects.
inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD DVASPECT_ICON = 4;

// Storage media.
inline constexpr DWORD TYMED_NULL = 0;
inline constexpr DWORD TYMED_HGLOBAL = 1;
inline constexpr DWORD TYMED_ISTREAM = 4;
inline constexpr DWORD TYMED_ISTORAGE = 8;
inline constexpr DWORD TYMED_GDI = 16;
inline constexpr DWORD TYMED_MFPICT = 32;

inline constexpr DWORD OLERENDER_NONE = 0;
inline constexpr DWORD OLERENDER_DRAW = 1;

inline constexpr DWORD ADVF_NODATA = 1;
inline constexpr DWORD ADVF_PRIMEFIRST = 2;

inline constexpr DWORD OLECLOSE_NOSAVE = 1;
inline constexpr LONG OLEIVERB_PRIMARY = 0;
inline constexpr LONG OLEIVERB_SHOW = -1;
inline constexpr LONG OLEIVERB_OPEN = -2;

// Predefined clipboard formats.
inline constexpr CLIPFORMAT CF_TEXT = 1;
inline constexpr CLIPFORMAT CF_BITMAP = 2;
inline constexpr CLIPFORMAT CF_METAFILEPICT = 3;
inline constexpr CLIPFORMAT CF_UNICODETEXT = 13;

struct SIZE
{
    LONG cx = 0;
    LONG cy = 0;
};

struct DVTARGETDEVICE;

struct FORMATETC
{
    CLIPFORMAT cfFormat = 0;
    DVTARGETDEVICE *ptd = nullptr;
    DWORD dwAspect = DVASPECT_CONTENT;
    LONG lindex = -1;
    DWORD tymed = TYMED_NULL;
};

// Global memory and metafiles: the icon pictures the dialogs hand over. A
// metafile here is an icon and its label, drawn as the platform draws an
// object shown as an icon.
struct GlobalMemoryBlock;
using HGLOBAL = GlobalMemoryBlock *;
struct MetaFileData;
using HMETAFILE = MetaFileData *;

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void *GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory); // nullptr on success
std::size_t GlobalSize(HGLOBAL memory);
inline constexpr UINT GMEM_MOVEABLE = 0x2;
inline constexpr UINT GMEM_ZEROINIT = 0x40;

struct METAFILEPICT
{
    LONG mm = 0;
    LONG xExt = 0;
    LONG yExt = 0;
    HMETAFILE hMF = nullptr;
};
BOOL DeleteMetaFile(HMETAFILE metafile);

struct STGMEDIUM
{
    DWORD tymed = TYMED_NULL;
    HGLOBAL hGlobal = nullptr; // TYMED_HGLOBAL and TYMED_MFPICT
};

// Drag and drop.
inline constexpr DWORD DROPEFFECT_NONE = 0;
inline constexpr DWORD DROPEFFECT_COPY = 1;
inline constexpr DWORD DROPEFFECT_MOVE = 2;
inline constexpr DWORD DROPEFFECT_LINK = 4;
inline constexpr DWORD MK_LBUTTON = 0x1;
inline constexpr DWORD MK_RBUTTON = 0x2;
inline constexpr DWORD MK_SHIFT = 0x4;
inline constexpr DWORD MK_CONTROL = 0x8;
inline constexpr DWORD MK_MBUTTON = 0x10;

} // namespace win
