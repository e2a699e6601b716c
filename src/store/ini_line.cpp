// One INI line and one value, read by the rules of the platform's profile-string calls.
#include "store/ini_line.h"

namespace quorvane::ini {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string_view trimLeft(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trimRight(std::string_view text) {
    const auto last = text.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view trim(std::string_view text) {
    return trimRight(trimLeft(text));
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

LineParts parseLine(std::string_view text) {
    LineParts line;
    const std::string_view content = trimLeft(text);
    if (content.empty() || content.front() == ';')
        return line;
    if (content.front() == '[') {
        // Without its closing bracket a header is no header: the section goes on.
        const auto close = content.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = trim(content.substr(1, close - 1));
        }
        return line;
    }
    const auto equals = content.find('=');
    if (equals == std::string_view::npos)
        return line;
    line.kind = LineKind::Key;
    line.name = trimRight(content.substr(0, equals));
    line.value = trim(content.substr(equals + 1));
    return line;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

std::size_t codePointCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if (!isContinuationByte(c))
            ++count;
    }
    return count;
}

std::size_t bytesOfCodePoints(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t seen = 0; pos < text.size(); ++pos) {
        if (!isContinuationByte(text[pos])) {
            if (seen == count)
                break;
            ++seen;
        }
    }
    return pos;
}

} // namespace quorvane::ini
