// The descriptor limit on Windows: none to raise, handles are limited only by memory.
#include "process/descriptor_limit.h"

namespace quorvane {

bool raiseDescriptorLimit() {
    return true;
}

void restoreStartingDescriptorLimit() {}

} // namespace quorvane
