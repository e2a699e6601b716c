// INI reading and writing, keeping every line the caller did not touch byte for byte.
#include "store/ini_file.h"

#include "store/file_system.h"
#include "store/ini_line.h"
#include "store/text_codec.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace quorvane {

namespace {

constexpr std::string_view kNewLine = "\r\n";

using ini::LineKind;
using ini::trim;

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
    bool codePage = false; // not valid UTF-8: a file made by the platform's 8-bit calls
    std::vector<Line> lines;
};

Line parseLine(std::string_view text) {
    const ini::LineParts parts = ini::parseLine(text);
    Line line;
    line.kind = parts.kind;
    line.name = parts.name;
    line.value = parts.value;
    return line;
}

// Splits raw bytes and their decoded text side by side: '\n' is the same byte in both encodings and
// no decoded character spans it, so line i of one is line i of the other. The encoding is given, as
// text being rewritten in the 8-bit code page may pass for UTF-8 half way.
ParsedFile parse(std::string bytes, bool codePage) {
    ParsedFile file;
    file.codePage = codePage;
    // Only a code-page file needs a decoded copy; UTF-8 is read where it lies.
    const std::string decoded = codePage ? decodeAnsi(bytes) : std::string();
    file.bytes = std::move(bytes);
    const std::string_view text = codePage ? std::string_view(decoded) : std::string_view(file.bytes);
    file.lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);

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
        if (textPos == 0 && lineText.substr(0, ini::kUtf8Bom.size()) == ini::kUtf8Bom)
            lineText.remove_prefix(ini::kUtf8Bom.size());
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

ParsedFile parse(std::string bytes) {
    const bool codePage = !isValidUtf8(bytes);
    return parse(std::move(bytes), codePage);
}

// Line range [first, last) of the first section of that name, header excluded.
std::optional<std::pair<std::size_t, std::size_t>> findSection(const ParsedFile& file, std::string_view section) {
    const std::string_view wanted = trim(section);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (file.lines[i].kind != LineKind::Section || !ini::sameName(file.lines[i].name, wanted))
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
        if (file.lines[i].kind == LineKind::Key && ini::sameName(file.lines[i].name, wanted))
            return i;
    }
    return std::nullopt;
}

std::string unquoted(std::string_view value) {
    return std::string(ini::unquoted(value));
}

// The value as written: inside one more pair of quotes when reading would otherwise change it.
std::string storedForm(const std::string& value) {
    return unquoted(trim(value)) == value ? value : "\"" + value + "\"";
}

bool isSingleLineUtf8(std::string_view text) {
    return text.find_first_of("\r\n") == std::string_view::npos && isValidUtf8(text);
}

// The line end new lines take: the file's own, so a file of LF lines does not get mixed ones; CR LF
// for a new file, or one whose first line has no end yet.
std::string_view lineEndOf(const std::string& bytes) {
    const auto first = bytes.find('\n');
    if (first == std::string::npos || (first > 0 && bytes[first - 1] == '\r'))
        return kNewLine;
    return "\n";
}

// The file's bytes with one entry written, in the file's encoding and with its line ends.
std::string withEntry(const ParsedFile& file, const IniEntry& entry) {
    const auto encode = [&](const std::string& text) { return file.codePage ? encodeAnsi(text) : text; };
    const std::string value = storedForm(entry.value);
    const std::string newLine(lineEndOf(file.bytes));

    std::string out;
    const auto range = findSection(file, entry.section);
    if (!range) {
        out = file.bytes;
        if (!out.empty() && out.back() != '\n')
            out += newLine;
        out += encode("[" + entry.section + "]") + newLine;
        out += encode(entry.key + "=" + value) + newLine;
    } else if (const auto keyLine = findKey(file, *range, entry.key)) {
        // The key keeps its spelling in the file; only the value changes.
        const Line& line = file.lines[*keyLine];
        const std::string_view raw(file.bytes.data() + line.begin, line.contentEnd - line.begin);
        const std::string_view rawName = trim(raw.substr(0, raw.find('=')));
        out = file.bytes.substr(0, line.begin);
        out += rawName;
        out += '=';
        out += encode(value);
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
            out += newLine; // the anchor was the last line and had no line end
        out += encode(entry.key + "=" + value) + newLine;
        out += file.bytes.substr(anchor.end);
    }
    return out;
}

std::string withEntries(std::string bytes, const std::vector<IniEntry>& entries, bool codePage) {
    for (const IniEntry& entry : entries)
        bytes = withEntry(parse(std::move(bytes), codePage), entry);
    return bytes;
}

} // namespace

struct IniText::Parsed {
    ParsedFile file;
};

IniText::IniText(std::string bytes) : m_bytes(std::move(bytes)) {}

const IniText::Parsed& IniText::parsed() const {
    if (!m_parsed)
        m_parsed = std::make_shared<const Parsed>(Parsed{parse(m_bytes)});
    return *m_parsed;
}

std::string IniText::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    const ParsedFile& file = parsed().file;
    const auto range = findSection(file, section);
    if (!range)
        return defaultValue;
    const auto line = findKey(file, *range, key);
    if (!line)
        return defaultValue;
    std::string value = unquoted(file.lines[*line].value);
    value.resize(ini::bytesOfCodePoints(value, kValueBufferChars - 1));
    return value;
}

bool IniText::fitsWhole(const std::string& section, const std::string& key) const {
    const ParsedFile& file = parsed().file;
    const auto range = findSection(file, section);
    const auto line = range ? findKey(file, *range, key) : std::nullopt;
    if (!line)
        return true;
    const std::string value = unquoted(file.lines[*line].value);
    return ini::bytesOfCodePoints(value, kValueBufferChars - 1) == value.size();
}

std::vector<std::string> IniText::readKeyNames(const std::string& section, std::size_t bufferChars) const {
    std::vector<std::string> names;
    const ParsedFile& file = parsed().file;
    const auto range = findSection(file, section);
    if (!range)
        return names;
    // Each name is followed by its terminator, and the list by one more.
    std::size_t used = 1;
    for (std::size_t i = range->first; i < range->second; ++i) {
        const Line& line = file.lines[i];
        if (line.kind != LineKind::Key || line.name.empty())
            continue;
        used += ini::codePointCount(line.name) + 1;
        if (used > bufferChars)
            break;
        names.push_back(line.name);
    }
    return names;
}

bool IniText::canStore(const IniEntry& entry) {
    const std::string_view key = ini::trimLeft(entry.key);
    return isSingleLineUtf8(entry.section) && isSingleLineUtf8(entry.key) && isSingleLineUtf8(entry.value) &&
           key.find('=') == std::string_view::npos && (key.empty() || (key.front() != ';' && key.front() != '[')) &&
           ini::codePointCount(entry.value) < kValueBufferChars;
}

bool IniText::write(const std::vector<IniEntry>& entries) {
    if (!std::all_of(entries.begin(), entries.end(), canStore))
        return false;
    m_parsed.reset();
    const auto fits = [](const IniEntry& e) { return fitsAnsi(e.section) && fitsAnsi(e.key) && fitsAnsi(e.value); };
    if (!isValidUtf8(m_bytes) && std::all_of(entries.begin(), entries.end(), fits)) {
        std::string out = withEntries(m_bytes, entries, true);
        // Bytes that turned into UTF-8 would make every other non-ASCII value read differently.
        if (!isValidUtf8(out)) {
            m_bytes = std::move(out);
            return true;
        }
    }
    m_bytes = withEntries(decodeFileText(m_bytes), entries, false);
    return true;
}

IniFile::IniFile(std::string path) : m_path(std::move(path)) {}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    std::string bytes;
    if (fs::readFileNoFollow(m_path, kMaxFileBytes, bytes) != fs::FileStatus::Ok)
        return defaultValue;
    return IniText(std::move(bytes)).readString(section, key, defaultValue);
}

std::vector<std::string> IniFile::readKeyNames(const std::string& section, std::size_t bufferChars) const {
    std::string bytes;
    if (fs::readFileNoFollow(m_path, kMaxFileBytes, bytes) != fs::FileStatus::Ok)
        return {};
    return IniText(std::move(bytes)).readKeyNames(section, bufferChars);
}

IniWriteResult IniFile::writeStrings(const std::vector<IniEntry>& entries, std::size_t maxFileBytes) const {
    std::string bytes;
    switch (fs::readFileNoFollow(m_path, maxFileBytes, bytes)) {
    case fs::FileStatus::Ok:
    case fs::FileStatus::Missing:
        break;
    case fs::FileStatus::Link:
    case fs::FileStatus::HardLinked:
        return IniWriteResult::Link;
    case fs::FileStatus::TooLarge:
        return IniWriteResult::TooLarge;
    case fs::FileStatus::NotAFile:
    case fs::FileStatus::Failed:
        return IniWriteResult::Failed; // there but unreadable: rewriting it would lose what it holds
    }
    IniText text(std::move(bytes));
    if (!text.write(entries))
        return IniWriteResult::Refused;
    if (text.bytes().size() > maxFileBytes)
        return IniWriteResult::TooLarge;
    switch (fs::replacePrivateFileNoFollow(m_path, text.bytes())) {
    case fs::FileStatus::Ok:
        return IniWriteResult::Written;
    case fs::FileStatus::Link:
        return IniWriteResult::Link;
    default:
        return IniWriteResult::Failed;
    }
}

bool IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) const {
    return writeStrings({{section, key, value}}) == IniWriteResult::Written;
}

} // namespace quorvane
