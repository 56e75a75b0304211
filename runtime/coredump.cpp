#include "runtime/coredump.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace veskel {

bool DisableCoreDumps()
{
    const rlimit none{0, 0};
    const bool limited = setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

bool CoreDumpsEnabled()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0) {
        return true;
    }
    return prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0;
}

} // namespace veskel
