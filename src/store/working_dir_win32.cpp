// The running executable's folder on Windows, from GetModuleFileNameA.
#include "store/working_dir.h"

#include <vector>
#include <windows.h>

namespace quorvane {

std::string executableFolder() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            const std::string path(buffer.data(), length);
            const auto slash = path.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2); // the name was cut: try again with more room
    }
}

} // namespace quorvane
