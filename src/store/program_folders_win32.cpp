// The user's data folder and folder write access on Windows.
#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <sddl.h>
#include <string>
#include <vector>

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
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::string tag;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    LPWSTR sidText = nullptr;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
        DWORD session = 0;
        ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
        tag = toUtf8(sidText, std::wcslen(sidText)) + "-" + std::to_string(session);
        ::LocalFree(sidText);
    }
    ::CloseHandle(token);
    return tag;
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

} // namespace quorvane
