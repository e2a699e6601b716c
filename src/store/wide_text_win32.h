// UTF-8 inside the program, UTF-16 at the Windows API: the two conversions every Windows file needs.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Text that is not valid UTF-8 (or UTF-16) is converted with the system's replacement characters.
std::wstring toWide(const std::string& text);
// 8-bit text in the given code page (CP_ACP for the system's ANSI code page) as UTF-16.
std::wstring toWideFrom(std::string_view bytes, unsigned codePage);
std::string toUtf8(const wchar_t* text, std::size_t length);
inline std::string toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), text.size());
}

// The calling user's SID as text ("S-1-5-21-..."), or empty when the system cannot say.
std::wstring currentUserSid();

} // namespace quorvane
