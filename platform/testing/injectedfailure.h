// A failure a test asks for: the next n calls of a service fail with a
// result. A service keeps one and asks it on every call; only tests set it.
#pragma once

#include "platform/win/wintypes.h"

namespace win {

class InjectedFailure
{
public:
    void set(HRESULT result, int count)
    {
        m_result = result;
        m_count = count;
    }
    // True (and the result) when this call is to fail.
    bool take(HRESULT &result)
    {
        if (m_count <= 0) {
            return false;
        }
        --m_count;
        result = m_result;
        return true;
    }

private:
    HRESULT m_result = 0;
    int m_count = 0;
};

} // namespace win
