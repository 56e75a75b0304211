#include "platform/win/wintypes.h"

namespace win {

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD code)
{
    lastError = code;
}

} // namespace win
