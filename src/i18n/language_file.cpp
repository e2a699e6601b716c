// Language files read in one pass: the same entries the INI reader gives key by key, without re-reading.
#include "i18n/language_file.h"

#include "store/file_system.h"
#include "store/ini_line.h"
#include "store/text_codec.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace quorvane::language {
namespace {

constexpr std::string_view kSection = "Translations";

using ini::bytesOfCodePoints;
using ini::codePointCount;
using ini::LineKind;

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return ini::lowerAscii(c); });
    return lower;
}

std::string valueText(std::string_view raw) {
    raw = ini::unquoted(raw);
    std::string value(raw.substr(0, bytesOfCodePoints(raw, kMaxValueChars)));
    std::replace(value.begin(), value.end(), '~', '\t');
    return value;
}

} // namespace

File parseFile(std::string_view bytes) {
    File file;
    const std::string text = decodeFileText(bytes);
    std::unordered_map<std::string, std::size_t> firstValues; // name, ASCII letters lowered
    bool inSection = false;
    std::size_t keyBufferUsed = 1; // the list's own terminator
    std::size_t pos = 0;
    for (std::size_t lineNumber = 1; pos < text.size(); ++lineNumber) {
        const std::size_t newLine = std::min(text.find('\n', pos), text.size());
        std::string_view lineText(text.data() + pos, newLine - pos);
        if (pos == 0 && lineText.starts_with(ini::kUtf8Bom))
            lineText.remove_prefix(ini::kUtf8Bom.size());
        pos = newLine + 1;

        const ini::LineParts line = ini::parseLine(lineText);
        if (line.kind == LineKind::Section) {
            if (inSection)
                break; // only the first section of the name is read
            inSection = ini::sameName(line.name, kSection);
            continue;
        }
        if (!inSection || line.kind != LineKind::Key || line.name.empty())
            continue;
        keyBufferUsed += codePointCount(line.name) + 1;
        if (keyBufferUsed > kKeyBufferChars) {
            file.problems.push_back("line " + std::to_string(lineNumber) + ": the key names reach the limit of " +
                                    std::to_string(kKeyBufferChars) +
                                    " characters here; this key and the ones after it are not applied");
            break;
        }
        const auto [first, isNew] = firstValues.try_emplace(lowerAscii(line.name), file.values.size());
        if (isNew)
            file.values.push_back(valueText(line.value));
        file.entries.push_back({std::string(line.name), first->second, lineNumber});
    }
    return file;
}

File readFile(const std::string& path) {
    // Never through a link, never a pipe or device (a FIFO would keep the window from ever showing),
    // and no more than one byte past the limit.
    std::string bytes;
    const fs::FileStatus status = fs::readFileNoFollow(path, kMaxFileBytes, bytes);
    if (status == fs::FileStatus::Missing)
        return {};
    if (status != fs::FileStatus::Ok) {
        File refused;
        refused.problems.push_back(fs::fileProblemWords(status, "language file \"" + path + "\"", kMaxFileBytes) +
                                   ": not applied");
        return refused;
    }
    return parseFile(bytes);
}

std::vector<std::string_view> splitKey(std::string_view key) {
    std::vector<std::string_view> names;
    std::string_view rest = trimBlanks(key);
    for (auto dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.')) {
        names.push_back(trimBlanks(rest.substr(0, dot)));
        rest = trimBlanks(rest.substr(dot + 1));
    }
    names.push_back(rest);
    return names;
}

std::optional<int> parseInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    // Hexadecimal spells the 32 bits and may wrap into the negatives; decimal must fit as it is.
    const unsigned long long limit = base == 16 ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    unsigned long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 99;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (ini::lowerAscii(c) >= 'a' && ini::lowerAscii(c) <= 'f')
            digit = static_cast<unsigned>(ini::lowerAscii(c) - 'a' + 10);
        if (digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    const auto bits = static_cast<unsigned>(magnitude);
    return static_cast<int>(negative ? 0u - bits : bits);
}

std::vector<std::string> splitTextList(std::string_view value, std::string_view separator) {
    std::vector<std::string> items;
    std::string_view rest = value;
    if (!separator.empty()) {
        for (auto at = rest.find(separator); at != std::string_view::npos; at = rest.find(separator)) {
            items.emplace_back(trimBlanks(rest.substr(0, at)));
            rest.remove_prefix(at + separator.size());
        }
    }
    rest = trimBlanks(rest);
    if (!rest.empty())
        items.emplace_back(rest);
    return items;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

int clampInteger(IntegerProperty property, int value, bool isWindow, const ScreenArea& screen) {
    const long long width = std::max(screen.width, 1);
    const long long height = std::max(screen.height, 1);
    long long low = 0;
    long long high = 0;
    switch (property) {
    case IntegerProperty::Tag:
        return value;
    case IntegerProperty::Interval:
        return value > 0 && value < kMinTimerInterval ? kMinTimerInterval : value;
    case IntegerProperty::Left:
        low = isWindow ? screen.left : -width;
        high = isWindow ? screen.left + width - 1 : width;
        break;
    case IntegerProperty::Top:
        low = isWindow ? screen.top : -height;
        high = isWindow ? screen.top + height - 1 : height;
        break;
    case IntegerProperty::Width:
        high = width;
        break;
    case IntegerProperty::Height:
        high = height;
        break;
    }
    high = std::min<long long>(high, INT_MAX);
    return static_cast<int>(std::clamp<long long>(value, low, high));
}

} // namespace quorvane::language
