// The descriptor limit on POSIX systems: the soft RLIMIT_NOFILE raised to the hard one, and given back to children.
#include "process/descriptor_limit.h"

#include <sys/resource.h>

namespace quorvane {
namespace {

rlimit startingLimit{};
bool raised = false;

} // namespace

bool raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur == limit.rlim_max)
        return true;
    const rlimit starting = limit;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    startingLimit = starting;
    raised = true;
    return true;
}

void restoreStartingDescriptorLimit() {
    if (raised)
        ::setrlimit(RLIMIT_NOFILE, &startingLimit);
}

} // namespace quorvane
