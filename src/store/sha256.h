// SHA-256 of a byte string, for fingerprints the program keeps of texts it must not store in clear.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

} // namespace quorvane
