// Process hardening on Linux: not dumpable and no core files.
#include "process/process_hardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace quorvane {

bool hardenProcess() {
    // Not dumpable also makes /proc/PID/mem and ptrace refuse other processes of the same user.
    // Children get the flag back at exec, so the clients stay visible to the monitor.
    const bool notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    const rlimit noCore{0, 0};
    const bool noCoreFile = ::setrlimit(RLIMIT_CORE, &noCore) == 0;
    return notDumpable && noCoreFile;
}

} // namespace quorvane
