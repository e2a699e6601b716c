// Windows: a GUI-subsystem program borrows the console of the process that started it.
#include "app/parent_console.h"

#include <cstdio>
#include <windows.h>

namespace quorvane {

void useParentConsole() {
    // Started from Explorer there is no console, and nothing should appear.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
}

void runWithoutScreen() {}

} // namespace quorvane
