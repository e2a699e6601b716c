// libFuzzer target: any language file reads as the INI reader reads it, and its values and integers keep their bounds.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "i18n/language_file.h"
#include "store/ini_file.h"
#include "store/text_codec.h"

using namespace quorvane;
using namespace quorvane::language;

namespace {

// Comparing with the INI reader re-reads the file for every key: only small inputs, only the first keys.
constexpr std::size_t kCompareBytes = 1024;
constexpr std::size_t kComparedKeys = 16;

const ScreenArea kScreens[] = {
    {0, 0, 1920, 1040}, {-1920, 40, 1920, 1040}, {}, {0, 0, 0, -5}, {INT_MAX - 10, INT_MIN, 100, 100}};
constexpr IntegerProperty kProperties[] = {IntegerProperty::Left,   IntegerProperty::Top, IntegerProperty::Width,
                                           IntegerProperty::Height, IntegerProperty::Tag, IntegerProperty::Interval};

void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "language_file_fuzz: violated: %s\n", property);
        std::abort();
    }
}

std::size_t codePoints(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// The integer the text spells, by the standard library: decimal must fit, hexadecimal wraps at 32 bits.
std::optional<int> referenceInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$') || text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(text.front() == '$' ? 1 : 2);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [&](char c) {
            return (c >= '0' && c <= '9') || (base == 16 && std::isxdigit(static_cast<unsigned char>(c)));
        }))
        return std::nullopt;
    unsigned long long magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(magnitude);
        return static_cast<int>(negative ? 0u - bits : bits);
    }
    const long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (magnitude > 2147483648ull || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

void checkClamps(int value) {
    for (const ScreenArea& screen : kScreens) {
        const long long width = std::max(screen.width, 1);
        const long long height = std::max(screen.height, 1);
        for (const IntegerProperty property : kProperties) {
            for (const bool window : {false, true}) {
                const long long got = clampInteger(property, value, window, screen);
                long long low = LLONG_MIN;
                long long high = LLONG_MAX;
                switch (property) {
                case IntegerProperty::Left:
                    low = window ? screen.left : -width;
                    high = window ? std::min<long long>(screen.left + width - 1, INT_MAX) : width;
                    break;
                case IntegerProperty::Top:
                    low = window ? screen.top : -height;
                    high = window ? std::min<long long>(screen.top + height - 1, INT_MAX) : height;
                    break;
                case IntegerProperty::Width:
                    low = 0, high = width;
                    break;
                case IntegerProperty::Height:
                    low = 0, high = height;
                    break;
                case IntegerProperty::Tag:
                    break;
                case IntegerProperty::Interval:
                    require(value <= 0 || got >= kMinTimerInterval, "a running timer waits at least 100 ms");
                    require((value > 0 && value < kMinTimerInterval) || got == value,
                            "only too short intervals change");
                    continue;
                }
                require(got >= low && got <= high, "a position or size stays within its screen bounds");
                require(value < low || value > high || got == value, "a value within bounds is kept");
            }
        }
    }
}

void checkTextList(std::string_view value, std::string_view separator) {
    const std::vector<std::string> items = splitTextList(value, separator);
    for (const std::string& item : items) {
        require(item.empty() || (!isBlank(item.front()) && !isBlank(item.back())), "list items are trimmed");
        require(separator.empty() || item.find(separator) == std::string::npos, "no list item holds the separator");
    }
}

// The INI reader, key by key, must see the same keys and values.
void compareWithIniReader(std::string_view bytes, const File& file) {
    // Removed every time: libFuzzer ends without running static destructors.
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("language_file_fuzz." + std::to_string(::getpid()) + ".lng"))
            .string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const IniFile ini(path);
    const std::vector<std::string> names = ini.readKeyNames("Translations", kKeyBufferChars);
    require(names.size() == file.entries.size(), "as many keys as the INI reader lists");
    for (std::size_t i = 0; i < names.size(); ++i) {
        require(names[i] == file.entries[i].key, "the keys the INI reader lists, in its order");
        if (i >= kComparedKeys)
            continue;
        std::string value = ini.readString("Translations", names[i], "");
        std::replace(value.begin(), value.end(), '~', '\t');
        require(value == file.valueOf(file.entries[i]), "the value the INI reader gives the key");
    }
    std::remove(path.c_str());
}

void checkValue(std::string_view value) {
    const std::optional<int> number = parseInteger(value);
    require(number == referenceInteger(value), "integers read as the standard library reads them");
    if (number)
        checkClamps(*number);
    for (const std::string_view separator : {"|", "\r\n", ", ", ""})
        checkTextList(value, separator);
}

// Random bytes seldom spell a number near a limit: the first nine bytes are spelled as one instead.
void checkSpelledInteger(std::string_view bytes) {
    if (bytes.size() < 9)
        return;
    const auto format = static_cast<unsigned char>(bytes[0]);
    std::uint64_t magnitude = 0;
    for (std::size_t i = 1; i < 9; ++i)
        magnitude = magnitude << 8 | static_cast<unsigned char>(bytes[i]);
    magnitude >>= format % 64; // every width, the 32-bit edges included
    const char* const signs[] = {"", "+", "-"};
    const char* const prefixes[] = {"", "$", "0x", "0X"};
    const int base = format / 3 % 4 == 0 ? 10 : 16;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, magnitude, base).ptr;
    std::string text = std::string(signs[format % 3]) + prefixes[format / 3 % 4] + std::string(format / 12 % 3, '0') +
                       std::string(digits, end);
    if (format & 0x80)
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    checkValue(text);
}

void check(std::string_view bytes) {
    const File file = parseFile(bytes);
    require(file.problems.size() <= 1, "at most one problem: the key buffer");
    require(file.values.size() <= file.entries.size(), "a value per distinct key");

    std::size_t keyBuffer = 1;
    std::size_t lastLine = 0;
    std::unordered_map<std::string, std::size_t> firstValues;
    for (std::size_t i = 0; i < file.entries.size(); ++i) {
        const Entry& entry = file.entries[i];
        require(entry.line > lastLine, "entries in file order");
        lastLine = entry.line;
        require(!entry.key.empty() && entry.key.find('\n') == std::string::npos, "a key is a name on one line");
        keyBuffer += codePoints(entry.key) + 1;
        require(entry.value < file.values.size(), "each entry has its value");
        const auto [first, isNew] = firstValues.try_emplace(lowerAscii(entry.key), entry.value);
        require(isNew ? entry.value == firstValues.size() - 1 : first->second == entry.value,
                "a repeated key keeps its first value");

        const std::string& value = file.valueOf(entry);
        require(isValidUtf8(value), "values are UTF-8");
        require(codePoints(value) <= kMaxValueChars, "no value longer than 2047 characters");
        require(value.find('~') == std::string::npos, "no '~' left in a value");

        for (const std::string_view name : splitKey(entry.key))
            require(name.empty() || (!isBlank(name.front()) && !isBlank(name.back())), "key names are trimmed");
        checkValue(value);
    }
    require(keyBuffer <= kKeyBufferChars, "the key names fit the key buffer");
    if (bytes.size() <= kCompareBytes)
        compareWithIniReader(bytes, file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    // The same bytes inside the section too, and as a value, so mutation need not find its header first.
    check("[Translations]\n" + std::string(bytes));
    checkValue(bytes);
    checkSpelledInteger(bytes);
    return 0;
}
