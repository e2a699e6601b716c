// The 8-bit code page on POSIX: Windows-1252, what files made on Windows most often hold.
#include "store/text_codec.h"

namespace quorvane {

std::string decodeAnsi(std::string_view bytes) {
    return decodeWindows1252(bytes);
}

bool fitsAnsi(std::string_view utf8) {
    return fitsWindows1252(utf8);
}

std::string encodeAnsi(std::string_view utf8) {
    return encodeWindows1252(utf8);
}

} // namespace quorvane
