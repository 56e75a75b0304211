#include "platform/win/securezero.h"

#include <string.h>

namespace win {

void SecureZeroMemory(void *data, std::size_t size)
{
    if (data != nullptr && size != 0) {
        ::explicit_bzero(data, size);
    }
}

} // namespace win
