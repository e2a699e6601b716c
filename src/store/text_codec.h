// 8-bit text of INI and language files: UTF-8 when the bytes are valid UTF-8, the 8-bit code page otherwise.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

bool isValidUtf8(std::string_view bytes);

// Decodes file bytes to UTF-8: valid UTF-8 passes unchanged, anything else is read in the 8-bit code page.
std::string decodeFileText(std::string_view bytes);

// The 8-bit code page of files the platform's own 8-bit calls make: Windows-1252 on POSIX, the system's
// ANSI code page (GetACP) on Windows (text_codec_posix.cpp / text_codec_win32.cpp).
std::string decodeAnsi(std::string_view bytes);
// Whether encodeAnsi keeps every character of valid UTF-8 text (none becomes '?').
bool fitsAnsi(std::string_view utf8);
// Encodes UTF-8 text in the 8-bit code page; characters it cannot hold become '?'.
std::string encodeAnsi(std::string_view utf8);

// Decodes bytes as Windows-1252 whatever they hold.
std::string decodeWindows1252(std::string_view bytes);

// Whether encodeWindows1252 keeps every character of valid UTF-8 text (none becomes '?').
bool fitsWindows1252(std::string_view utf8);

// Encodes UTF-8 text as Windows-1252; characters it cannot hold become '?'.
std::string encodeWindows1252(std::string_view utf8);

} // namespace quorvane
