// Test client for Windows: records what it received, as a narrow-argument client such as plink sees it, into
// record.txt in its folder, then waits to be stopped. With "-print" first it writes a line to each output instead.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string fileBytes(const char* path) {
    std::string bytes;
    if (FILE* file = std::fopen(path, "rb")) {
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
            bytes += static_cast<char>(c);
        std::fclose(file);
    }
    return bytes;
}

bool writeTo(DWORD stream, const std::string& text) {
    DWORD written = 0;
    return WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

} // namespace

int main(int argc, char** argv) {
    std::string record = "acp=" + std::to_string(GetACP()) + "\n";
    wchar_t wide[MAX_PATH];
    record += "exe=" + utf8(wide, static_cast<int>(GetModuleFileNameW(nullptr, wide, MAX_PATH))) + "\n";
    record += "cwd=" + utf8(wide, static_cast<int>(GetCurrentDirectoryW(MAX_PATH, wide))) + "\n";
    for (int i = 1; i < argc; ++i) {
        record += "arg=" + std::string(argv[i]) + "\n"; // the bytes, in the ANSI code page
        if (std::string(argv[i]) == "-pwfile" && i + 1 < argc)
            record += "pwfile=" + fileBytes(argv[i + 1]) + "\n";
    }
    if (argc > 1 && std::string(argv[1]) == "-print") {
        const std::string id = std::to_string(GetCurrentProcessId());
        return writeTo(STD_OUTPUT_HANDLE, "out " + id + "\n") && writeTo(STD_ERROR_HANDLE, "err " + id + "\n") ? 0 : 3;
    }
    // Written under another name first, so a reader never sees half a record.
    FILE* out = std::fopen("record.tmp", "wb");
    if (!out)
        return 1;
    std::fwrite(record.data(), 1, record.size(), out);
    std::fclose(out);
    if (!MoveFileExW(L"record.tmp", L"record.txt", MOVEFILE_REPLACE_EXISTING))
        return 2;
    Sleep(60000);
    return 0;
}
