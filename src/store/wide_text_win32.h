// UTF-8 inside the program, UTF-16 at the Windows API: the two conversions every Windows file needs.
#pragma once

#include <string>

namespace quorvane {

// Text that is not valid UTF-8 (or UTF-16) is converted with the system's replacement characters.
std::wstring toWide(const std::string& text);
std::string toUtf8(const wchar_t* text, std::size_t length);
inline std::string toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), text.size());
}

} // namespace quorvane
