// The user's Run key: HKCU\Software\Microsoft\Windows\CurrentVersion\Run, value "Quorvane".
#include "store/autostart.h"

#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane::autostart {

namespace {

const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kValue = L"Quorvane";

std::string failure(const char* doing, LONG error) {
    return std::string("Unable to ") + doing + " HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run (error " +
           std::to_string(error) + ")";
}

} // namespace

std::string enable(const std::string& program) {
    // A path cannot hold '"', so quoting it is enough for the command line the shell starts.
    const std::wstring command = L"\"" + toWide(program) + L"\" --hidden";
    HKEY key = nullptr;
    LONG result = ::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return failure("open", result);
    result = ::RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string() : failure("write to", result);
}

std::string disable() {
    HKEY key = nullptr;
    LONG result = ::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND)
        return {};
    if (result != ERROR_SUCCESS)
        return failure("open", result);
    result = ::RegDeleteValueW(key, kValue);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? std::string() : failure("write to", result);
}

} // namespace quorvane::autostart
