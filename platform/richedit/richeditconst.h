// Constants and records of the rich edit window's messages.
#pragma once

#include "platform/win/wintypes.h"

#include <cstdint>

namespace win {

// Stream formats.
inline constexpr UINT SF_TEXT = 0x0001;
inline constexpr UINT SF_RTF = 0x0002;
// The program never passes these two; they stay because a recorded stream
// format is tested by its bits (0x2 is RTF, with or without objects), and a
// reader of such a test needs every value the bits can name.
inline constexpr UINT SF_RTFNOOBJS = 0x0003;
inline constexpr UINT SF_TEXTIZED = 0x0004;
inline constexpr UINT SF_UNICODE = 0x0010;
inline constexpr UINT SFF_PLAINRTF = 0x4000;
inline constexpr UINT SFF_SELECTION = 0x8000;

inline constexpr DWORD GT_DEFAULT = 0;
inline constexpr DWORD GT_USECRLF = 1;
inline constexpr DWORD GTL_DEFAULT = 0;
inline constexpr DWORD GTL_USECRLF = 1;
inline constexpr DWORD GTL_PRECISE = 2;
inline constexpr DWORD GTL_NUMCHARS = 8;
inline constexpr DWORD GTL_NUMBYTES = 16;

inline constexpr UINT TM_PLAINTEXT = 1;
inline constexpr UINT TM_RICHTEXT = 2;
inline constexpr UINT TM_MULTILEVELUNDO = 8;
inline constexpr UINT TM_MULTICODEPAGE = 32;

// Notification mask bits.
inline constexpr DWORD ENM_NONE = 0;
inline constexpr DWORD ENM_CHANGE = 0x00000001;
inline constexpr DWORD ENM_KEYEVENTS = 0x00010000;
inline constexpr DWORD ENM_REQUESTRESIZE = 0x00040000;
inline constexpr DWORD ENM_SELCHANGE = 0x00080000;
inline constexpr DWORD ENM_PROTECTED = 0x00200000;
inline constexpr DWORD ENM_IMECHANGE = 0x00800000;
inline constexpr DWORD ENM_LANGCHANGE = 0x01000000;
inline constexpr DWORD ENM_OBJECTPOSITIONS = 0x02000000;
inline constexpr DWORD ENM_LINK = 0x04000000;

// Notifications.
inline constexpr UINT EN_LINK = 0x070B;

// Find flags.
inline constexpr WPARAM FR_DOWN = 0x1;
inline constexpr WPARAM FR_WHOLEWORD = 0x2;
inline constexpr WPARAM FR_MATCHCASE = 0x4;

// Window styles.
inline constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_HSCROLL = 0x00100000;
inline constexpr DWORD ES_MULTILINE = 0x0004;
inline constexpr DWORD ES_AUTOVSCROLL = 0x0040;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;
inline constexpr DWORD ES_NOHIDESEL = 0x0100;
inline constexpr DWORD ES_READONLY = 0x0800;
inline constexpr DWORD ES_WANTRETURN = 0x1000;
inline constexpr DWORD ES_SELECTIONBAR = 0x01000000;

// Mouse messages carried by EN_LINK.
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;

struct CHARRANGE
{
    LONG cpMin;
    LONG cpMax;
    friend bool operator==(const CHARRANGE &, const CHARRANGE &) = default;
};

struct FINDTEXTW
{
    CHARRANGE chrg;
    LPCWSTR lpstrText;
};

struct TEXTRANGEW
{
    CHARRANGE chrg;
    LPWSTR lpstrText;
};

// Called until it delivers 0 bytes or returns non-zero, which ends the
// stream with that value as the error.
using EDITSTREAMCALLBACK = DWORD (*)(DWORD_PTR dwCookie, LPBYTE pbBuff, LONG cb, LONG *pcb);

struct EDITSTREAM
{
    DWORD_PTR dwCookie;
    DWORD dwError;
    EDITSTREAMCALLBACK pfnCallback;
};

struct GETTEXTEX
{
    DWORD cb; // buffer size in bytes
    DWORD flags;
    UINT codepage;
    const char *lpDefaultChar;
    BOOL *lpUsedDefChar;
};

struct GETTEXTLENGTHEX
{
    DWORD flags;
    UINT codepage;
};

struct NMHDR
{
    void *hwndFrom;
    std::uintptr_t idFrom;
    UINT code;
};

struct ENLINK
{
    NMHDR nmhdr;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    CHARRANGE chrg;
};

} // namespace win
