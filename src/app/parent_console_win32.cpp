// Windows: a GUI-subsystem program borrows the console of the process that started it.
#include "app/parent_console.h"

#include <cstdio>
#include <windows.h>

namespace quorvane {

namespace {

// A handle the starting process gave (a file or pipe it redirected to) is kept: the console would steal it. A
// console's own handle is not one: this process must attach to that console to write to it.
bool givenByParent(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN &&
           !::GetConsoleMode(handle, &mode);
}

} // namespace

void useParentConsole() {
    static bool done = false;
    if (done)
        return;
    done = true;
    const bool output = givenByParent(STD_OUTPUT_HANDLE);
    const bool errors = givenByParent(STD_ERROR_HANDLE);
    // Started from Explorer there is no console, and nothing should appear.
    if ((output && errors) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::FILE* ignored = nullptr;
    if (!output)
        freopen_s(&ignored, "CONOUT$", "w", stdout);
    if (!errors)
        freopen_s(&ignored, "CONOUT$", "w", stderr);
}

void runWithoutScreen() {}

} // namespace quorvane
