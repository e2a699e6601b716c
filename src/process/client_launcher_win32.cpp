// Starting a client on Windows through the shell's "open" verb.
#include "process/client_launcher.h"

#include <windows.h>

#include <shellapi.h>

namespace quorvane {

namespace {

// The system's text for an error code, without the trailing line break and full stop.
std::string systemMessage(DWORD code) {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                  sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' || buffer[length - 1] == '.' ||
                          buffer[length - 1] == ' '))
        --length;
    if (length == 0)
        return "System error " + std::to_string(code);
    return std::string(buffer, length);
}

class Win32ClientLauncher : public ClientLauncher {
public:
    std::optional<std::string> launch(const LaunchRequest& request) override {
        const HINSTANCE result = ShellExecuteA(nullptr, "open", request.executable.c_str(), request.parameters.c_str(),
                                               request.directory.empty() ? nullptr : request.directory.c_str(),
                                               request.visible ? SW_SHOW : SW_HIDE);
        // Values above 32 mean success; the others are error codes, not handles.
        const auto code = reinterpret_cast<INT_PTR>(result);
        if (code > 32)
            return std::nullopt;
        return systemMessage(static_cast<DWORD>(code));
    }
};

} // namespace

std::unique_ptr<ClientLauncher> createSystemLauncher() {
    return std::make_unique<Win32ClientLauncher>();
}

} // namespace quorvane
