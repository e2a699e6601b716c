// The INI reader's rules for one line and one value, shared by every reader of INI text.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane::ini {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Blanks as the reader drops them around names and values (a NUL or other control stays).
std::string_view trimLeft(std::string_view text);
std::string_view trimRight(std::string_view text);
std::string_view trim(std::string_view text);

// Names match without regard to ASCII letter case.
char lowerAscii(char c);
bool sameName(std::string_view a, std::string_view b);

enum class LineKind { Other, Section, Key };

// What one decoded line means: a section header (name trimmed), a key (name and value trimmed, the
// value still quoted), or anything else (blank, comment, text without "="). Views into `text`.
struct LineParts {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;
};
LineParts parseLine(std::string_view text);

// A value without one pair of matching double or single quotes around it.
std::string_view unquoted(std::string_view value);

// Valid UTF-8: the number of code points, and the byte length of the first `count` of them.
std::size_t codePointCount(std::string_view text);
std::size_t bytesOfCodePoints(std::string_view text, std::size_t count);

} // namespace quorvane::ini
