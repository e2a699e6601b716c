// 8-bit text of INI and language files: UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

bool isValidUtf8(std::string_view bytes);

// Decodes file bytes to UTF-8: valid UTF-8 passes unchanged, anything else is read as Windows-1252.
std::string decodeFileText(std::string_view bytes);

// Decodes bytes as Windows-1252 whatever they hold.
std::string decodeWindows1252(std::string_view bytes);

// Whether encodeWindows1252 keeps every character of valid UTF-8 text (none becomes '?').
bool fitsWindows1252(std::string_view utf8);

// Encodes UTF-8 text as Windows-1252; characters it cannot hold become '?'.
std::string encodeWindows1252(std::string_view utf8);

} // namespace quorvane
