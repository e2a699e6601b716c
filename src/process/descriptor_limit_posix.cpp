// The descriptor limit on POSIX systems: the soft RLIMIT_NOFILE raised to the hard one.
#include "process/descriptor_limit.h"

#include <sys/resource.h>

namespace quorvane {

bool raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur == limit.rlim_max)
        return true;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

} // namespace quorvane
