// The rich edit libraries and the window classes they register.
//
// Loading "Riched20.dll" (any letter case) registers "RICHEDIT20W" and
// "RICHEDIT20A", "Msftedit.dll" registers "RICHEDIT50W" and "Riched32.dll"
// registers "RICHEDIT". A library stays loaded until it is freed as often as
// it was loaded.
#pragma once

#include "platform/richedit/richedit.h"
#include "platform/win/wintypes.h"

namespace win {

// A module handle above 32, or null when the library cannot be loaded.
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);

// Whether a window class of that name is registered.
BOOL GetClassInfoW(HMODULE instance, LPCWSTR className);

// A new window of a registered rich edit class, or null.
RichEditWindow *CreateRichEditWindow(LPCWSTR className, DWORD style, QWidget *parent);

} // namespace win
