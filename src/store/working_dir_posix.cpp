// The running executable's folder on Linux, read from /proc/self/exe.
#include "store/working_dir.h"

#include <unistd.h>
#include <vector>

namespace quorvane {

std::string executableFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const auto slash = path.find_last_of('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2); // the link may have been cut: try again with more room
    }
}

} // namespace quorvane
