// The running executable's path and folder on Linux, read from /proc/self/exe.
#include "store/working_dir.h"

#include <unistd.h>
#include <vector>

namespace quorvane {

std::string executableFolder() {
    const std::string path = executablePath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string executablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2); // the link may have been cut: try again with more room
    }
}

} // namespace quorvane
