// Process hardening on Windows: no crash dump dialog that could write the memory to disk.
#include "process/process_hardening.h"

#include <windows.h>

namespace quorvane {

bool hardenProcess() {
    // Windows Error Reporting would otherwise offer to save a dump holding the passwords.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    return true;
}

} // namespace quorvane
