// Shared helpers of the INI fuzz targets: failing checks, name matching and the names a file holds.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::fuzz {

inline void require(bool holds, const char* target, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "%s: violated: %s\n", target, property);
        std::abort();
    }
}

inline std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Names match as the reader matches them: blanks around dropped, ASCII letters without case.
inline bool sameName(std::string_view a, std::string_view b) {
    a = trimmed(a);
    b = trimmed(b);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

inline std::size_t codePoints(std::string_view utf8) {
    std::size_t count = 0;
    for (const char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// Section and key names that lines of the decoded text look like, at most `most` of each: probes for
// the reader (a wrong guess only probes a missing key).
struct FileNames {
    std::vector<std::string> sections;
    std::vector<std::string> keys;
};

inline FileNames namesIn(std::string_view text, std::size_t most) {
    FileNames names;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[' && line.rfind(']') != std::string_view::npos) {
            if (names.sections.size() < most)
                names.sections.emplace_back(line.substr(1, line.rfind(']') - 1));
        } else if (line.find('=') != std::string_view::npos && names.keys.size() < most) {
            names.keys.emplace_back(line.substr(0, line.find('=')));
        }
    }
    return names;
}

} // namespace quorvane::fuzz
