// The window functions the object dialogs' hook uses: screen metrics, window
// rectangles, styles and placement, over the toolkit's widgets.
#pragma once

#include "platform/win/wintypes.h"

#include <QRect>

namespace win {

inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_CONTEXTMENU = 0x007B;

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_HWNDPARENT = -8;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_POPUP = 0x80000000;

inline constexpr UINT SWP_NOSIZE = 0x1;
inline constexpr UINT SWP_NOMOVE = 0x2;
inline constexpr UINT SWP_NOZORDER = 0x4;
inline constexpr UINT SWP_NOACTIVATE = 0x10;

struct RECT
{
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// The primary screen's size in logical pixels.
int GetSystemMetrics(int index);
// The window's outer rectangle (frame included) in screen coordinates.
BOOL GetWindowRect(HWND window, RECT *rect);
BOOL GetClientRect(HWND window, RECT *rect);
// GWL_STYLE: WS_CHILD for a widget inside another, WS_POPUP for a window.
// GWL_HWNDPARENT: the owner (the parent widget) as an integer.
LONG_PTR GetWindowLongPtrW(HWND window, int index);
// Moves (the frame's top-left) and sizes the window as the flags allow.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Posts WM_CONTEXTMENU as a context-menu event at the screen position
// (lParam: x in the low word, y in the high word, both signed).
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr LPARAM MAKELPARAM(int low, int high)
{
    return static_cast<LPARAM>(
        static_cast<std::uint32_t>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                   ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16)));
}
inline constexpr int GET_X_LPARAM(LPARAM value)
{
    return static_cast<std::int16_t>(value & 0xFFFF);
}
inline constexpr int GET_Y_LPARAM(LPARAM value)
{
    return static_cast<std::int16_t>((value >> 16) & 0xFFFF);
}

} // namespace win
