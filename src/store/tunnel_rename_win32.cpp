// Moving without replacing on Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING.
#include "store/tunnel_rename.h"

#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane {

bool moveWithoutReplacing(const std::string& from, const std::string& to) {
    // A case-only change of one name is allowed by the system even without the replace flag.
    return MoveFileExW(toWide(from).c_str(), toWide(to).c_str(), 0) != 0;
}

} // namespace quorvane
