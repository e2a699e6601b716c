// The user's data folder and folder write access on Windows.
#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <string>

#include "store/program_folders.h"
#include "store/wide_text_win32.h"

namespace quorvane {

std::string userDataFolder() {
    PWSTR folder = nullptr;
    std::string result;
    if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &folder) == S_OK)
        result = toUtf8(folder, std::wcslen(folder)) + "\\Quorvane\\";
    ::CoTaskMemFree(folder);
    return result;
}

std::string userSessionTag() {
    const std::wstring sid = currentUserSid();
    if (sid.empty())
        return {};
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return toUtf8(sid) + "-" + std::to_string(session);
}

bool folderWritable(const std::string& folder) {
    // Access rights on Windows are best learned by trying: a probe file that removes itself.
    std::wstring probe = toWide(folder);
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += L".quorvane-write-probe-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

void makePortableTunnelsPrivate(const std::string& /*tunnelsFolder*/) {}

} // namespace quorvane
