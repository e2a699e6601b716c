// The running executable's path and folder on Windows, from GetModuleFileNameW, in UTF-8.
#include "store/working_dir.h"

#include <vector>
#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane {

std::string executableFolder() {
    const std::string path = executablePath();
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return toUtf8(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2); // the name was cut: try again with more room
    }
}

} // namespace quorvane
