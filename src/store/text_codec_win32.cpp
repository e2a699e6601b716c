// The 8-bit code page on Windows: the system's ANSI code page, the one its 8-bit calls read and write files in.
#include "store/text_codec.h"

#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane {

namespace {

// The text in the ANSI code page; usedDefault tells whether some character had to become '?'.
std::string wideToAnsi(const std::wstring& wide, bool& usedDefault) {
    usedDefault = false;
    if (wide.empty())
        return {};
    // UTF-8 as the system's code page holds every character, and takes no default character.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* defaultedOut = utf8 ? nullptr : &defaulted;
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, defaultedOut);
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, flags, wide.data(), length, bytes.data(), size, nullptr, defaultedOut);
    usedDefault = defaulted != FALSE;
    return bytes;
}

} // namespace

std::string decodeAnsi(std::string_view bytes) {
    return toUtf8(toWideFrom(bytes, CP_ACP));
}

bool fitsAnsi(std::string_view utf8) {
    if (!isValidUtf8(utf8))
        return false;
    bool usedDefault = false;
    wideToAnsi(toWide(std::string(utf8)), usedDefault);
    return !usedDefault;
}

std::string encodeAnsi(std::string_view utf8) {
    bool usedDefault = false;
    return wideToAnsi(toWide(std::string(utf8)), usedDefault);
}

} // namespace quorvane
