// A stand-in for plink.exe in the tests that run the Windows program under wine: it writes, one line each, the
// arguments it was given (as Windows split them), the bytes of the -pwfile it was pointed at, and when that file
// disappears; then it waits to be stopped, as a client that holds its tunnel would. The record goes to the file
// named by QUORVANE_RECORD, appended, so every start is kept.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

void record(const std::wstring& file, const std::string& line) {
    const HANDLE out = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(out);
}

} // namespace

int main() {
    wchar_t recordPath[MAX_PATH];
    if (!GetEnvironmentVariableW(L"QUORVANE_RECORD", recordPath, MAX_PATH))
        return 2;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring secretFile;
    record(recordPath, "start");
    for (int i = 1; i < count; ++i) {
        record(recordPath, "arg:" + utf8(arguments[i]));
        if (std::wstring(arguments[i]) == L"-pwfile" && i + 1 < count)
            secretFile = arguments[i + 1];
    }
    if (!secretFile.empty()) {
        std::string secret;
        const HANDLE in = CreateFileW(secretFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
        if (in != INVALID_HANDLE_VALUE) {
            char buffer[256];
            DWORD read = 0;
            while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0)
                secret.append(buffer, read);
            CloseHandle(in);
            record(recordPath, "secret:" + secret);
        } else {
            record(recordPath, "secret unreadable");
        }
    }
    // The secret file must go while the client still runs; say when it did.
    for (int waited = 0; !secretFile.empty(); waited += 100) {
        if (GetFileAttributesW(secretFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
            record(recordPath, "secret removed");
            break;
        }
        if (waited > 30000) {
            record(recordPath, "secret still there after 30 s");
            break;
        }
        Sleep(100);
    }
    Sleep(INFINITE);
    return 0;
}
