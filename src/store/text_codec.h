// 8-bit text of INI and language files: UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

bool isValidUtf8(std::string_view bytes);

// Decodes file bytes to UTF-8: valid UTF-8 passes unchanged, anything else is read as Windows-1252.
std::string decodeFileText(std::string_view bytes);

// Encodes UTF-8 text as Windows-1252; characters it cannot hold become '?'.
std::string encodeWindows1252(std::string_view utf8);

} // namespace quorvane
