// Temporary folders for tests on Windows: a new folder under the user's temporary folder, named in UTF-8.
#include "support/temp_dir.h"

#include <stdexcept>
#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane::test {

TempDir::TempDir() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        throw std::runtime_error("no temporary folder");
    std::wstring base(temp, length);
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring candidate = base + L"\\quorvane-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                       std::to_wstring(::GetTickCount() + attempt);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = toUtf8(candidate);
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

} // namespace quorvane::test
