// INI reading and writing key by key, keeping every line the caller did not touch byte for byte.
#include "store/ini_file.h"

#include "store/file_system.h"
#include "store/text_codec.h"

#include <optional>
#include <string_view>
#include <utility>

namespace quorvane {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kNewLine = "\r\n";

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

// Byte length of the first `count` code points of valid UTF-8 text.
std::size_t bytesOfCodePoints(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t seen = 0; pos < text.size(); ++pos) {
        if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) {
            if (seen == count)
                break;
            ++seen;
        }
    }
    return pos;
}

std::size_t codePointCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

enum class LineKind { Other, Section, Key };

// One line of the file: where its raw bytes lie and what its decoded text means.
struct Line {
    std::size_t begin = 0;      // first byte in the file
    std::size_t contentEnd = 0; // first byte of the line end
    std::size_t end = 0;        // one past the line end
    LineKind kind = LineKind::Other;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed, still quoted
};

struct ParsedFile {
    std::string bytes;
    bool windows1252 = false; // not valid UTF-8: a file made by the platform's 8-bit calls
    std::vector<Line> lines;
};

Line parseLine(std::string_view text) {
    Line line;
    const std::string_view content = trimLeft(text);
    if (content.empty() || content.front() == ';')
        return line;
    if (content.front() == '[') {
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

// Splits raw bytes and their decoded text side by side: '\n' is the same byte in both encodings and
// no decoded character spans it, so line i of one is line i of the other.
ParsedFile parse(std::string bytes) {
    ParsedFile file;
    file.windows1252 = !isValidUtf8(bytes);
    const std::string text = decodeFileText(bytes);
    file.bytes = std::move(bytes);

    std::size_t rawPos = 0;
    std::size_t textPos = 0;
    while (rawPos < file.bytes.size()) {
        auto rawNewLine = file.bytes.find('\n', rawPos);
        auto textNewLine = text.find('\n', textPos);
        const bool last = rawNewLine == std::string::npos;
        if (last) {
            rawNewLine = file.bytes.size();
            textNewLine = text.size();
        }
        std::string_view lineText(text.data() + textPos, textNewLine - textPos);
        if (textPos == 0 && lineText.substr(0, kUtf8Bom.size()) == kUtf8Bom)
            lineText.remove_prefix(kUtf8Bom.size());
        Line line = parseLine(lineText);
        line.begin = rawPos;
        line.end = last ? rawNewLine : rawNewLine + 1;
        line.contentEnd = rawNewLine;
        if (line.contentEnd > line.begin && file.bytes[line.contentEnd - 1] == '\r')
            --line.contentEnd;
        rawPos = line.end;
        file.lines.push_back(std::move(line));
        textPos = last ? textNewLine : textNewLine + 1;
    }
    return file;
}

// Line range [first, last) of the first section of that name, header excluded.
std::optional<std::pair<std::size_t, std::size_t>> findSection(const ParsedFile& file, std::string_view section) {
    const std::string_view wanted = trim(section);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (file.lines[i].kind != LineKind::Section || !sameName(file.lines[i].name, wanted))
            continue;
        std::size_t end = i + 1;
        while (end < file.lines.size() && file.lines[end].kind != LineKind::Section)
            ++end;
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const ParsedFile& file, std::pair<std::size_t, std::size_t> range,
                                   std::string_view key) {
    const std::string_view wanted = trim(key);
    for (std::size_t i = range.first; i < range.second; ++i) {
        if (file.lines[i].kind == LineKind::Key && sameName(file.lines[i].name, wanted))
            return i;
    }
    return std::nullopt;
}

std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// A line break inside a value would end the line early and turn the rest into keys of its own.
std::string singleLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

} // namespace

IniFile::IniFile(std::string path) : m_path(std::move(path)) {}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    std::string bytes;
    if (!fs::readFileBytes(m_path, bytes))
        return defaultValue;
    const ParsedFile file = parse(std::move(bytes));
    const auto range = findSection(file, section);
    if (!range)
        return defaultValue;
    const auto line = findKey(file, *range, key);
    if (!line)
        return defaultValue;
    std::string value = unquoted(file.lines[*line].value);
    value.resize(bytesOfCodePoints(value, kValueBufferChars - 1));
    return value;
}

std::vector<std::string> IniFile::readKeyNames(const std::string& section, std::size_t bufferChars) const {
    std::vector<std::string> names;
    std::string bytes;
    if (!fs::readFileBytes(m_path, bytes))
        return names;
    const ParsedFile file = parse(std::move(bytes));
    const auto range = findSection(file, section);
    if (!range)
        return names;
    // Each name is followed by its terminator, and the list by one more.
    std::size_t used = 1;
    for (std::size_t i = range->first; i < range->second; ++i) {
        const Line& line = file.lines[i];
        if (line.kind != LineKind::Key || line.name.empty())
            continue;
        used += codePointCount(line.name) + 1;
        if (used > bufferChars)
            break;
        names.push_back(line.name);
    }
    return names;
}

bool IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) const {
    std::string bytes;
    if (!fs::readFileBytes(m_path, bytes) && fs::fileExists(m_path))
        return false; // there but unreadable: rewriting it would lose what it holds
    const ParsedFile file = parse(std::move(bytes));
    const auto encode = [&](const std::string& text) { return file.windows1252 ? encodeWindows1252(text) : text; };
    const std::string sectionName = singleLine(section);
    const std::string keyName = singleLine(key);
    const std::string newValue = singleLine(value);

    std::string out;
    const auto range = findSection(file, sectionName);
    if (!range) {
        out = file.bytes;
        if (!out.empty() && out.back() != '\n')
            out += kNewLine;
        out += encode("[" + sectionName + "]") + std::string(kNewLine);
        out += encode(keyName + "=" + newValue) + std::string(kNewLine);
    } else if (const auto keyLine = findKey(file, *range, keyName)) {
        // The key keeps its spelling in the file; only the value changes.
        const Line& line = file.lines[*keyLine];
        const std::string_view raw(file.bytes.data() + line.begin, line.contentEnd - line.begin);
        const std::string_view rawName = trim(raw.substr(0, raw.find('=')));
        out = file.bytes.substr(0, line.begin);
        out += rawName;
        out += '=';
        out += encode(newValue);
        out += file.bytes.substr(line.contentEnd);
    } else {
        std::size_t after = range->first - 1; // the header when the section holds no key yet
        for (std::size_t i = range->first; i < range->second; ++i) {
            if (file.lines[i].kind == LineKind::Key)
                after = i;
        }
        const Line& anchor = file.lines[after];
        out = file.bytes.substr(0, anchor.end);
        if (out.back() != '\n')
            out += kNewLine; // the anchor was the last line and had no line end
        out += encode(keyName + "=" + newValue) + std::string(kNewLine);
        out += file.bytes.substr(anchor.end);
    }
    return fs::replacePrivateFileContents(m_path, out);
}

} // namespace quorvane
