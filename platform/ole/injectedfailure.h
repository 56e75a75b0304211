// A failure a test asks for: the next n calls of a service fail with a
// result.
#pragma once

#include "platform/ole/oletypes.h"

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
    HRESULT m_result = S_OK;
    int m_count = 0;
};

} // namespace win
