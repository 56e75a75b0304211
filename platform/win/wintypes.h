// Plain integer types under the names the platform services use. Handles are
// opaque integers; 0 is never a valid handle.
#pragma once

#include <cstdint>

class QWidget;

namespace win {

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using HMODULE = void *;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HRESULT = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using LPBYTE = BYTE *;
// A window is the toolkit's widget.
using HWND = QWidget *;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

// Error codes reported through GetLastError().
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;

// The calling thread's last error, as set by the failing call.
DWORD GetLastError();
void SetLastError(DWORD code);

} // namespace win
