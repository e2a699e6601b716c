// Moving without replacing on Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING.
#include "store/tunnel_rename.h"

#include <windows.h>

namespace quorvane {

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

} // namespace

bool moveWithoutReplacing(const std::string& from, const std::string& to) {
    // A case-only change of one name is allowed by the system even without the replace flag.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != 0;
}

} // namespace quorvane
