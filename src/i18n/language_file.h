// Language files without Qt: section "Translations" read once into entries, and the rules of their values.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::language {

inline constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;
// The key names are listed as the INI reader lists them into a buffer of this many characters.
inline constexpr std::size_t kKeyBufferChars = 16384;
inline constexpr std::size_t kMaxValueChars = 2047;
inline constexpr int kMinTimerInterval = 100;
inline constexpr int kFallbackScreenSize = 16384;

struct Entry {
    std::string key;       // the key's name as written, blanks around it dropped
    std::size_t value = 0; // index into File::values: every repeat of a key carries its first value
    std::size_t line = 0;  // 1-based line of this occurrence
};

struct File {
    std::vector<Entry> entries; // file order, repeats of a key (ASCII letter case ignored) included
    std::vector<std::string> values;
    std::vector<std::string> problems;

    const std::string& valueOf(const Entry& entry) const { return values[entry.value]; }
};

// Reads the first section "Translations" of the file's bytes (UTF-8, or Windows-1252 when they are not
// valid UTF-8) with the INI reader's rules: values have the blanks around them and one pair of matching
// quotes dropped and are cut to 2047 characters; "~" becomes a tab. Keys whose names do not fit the key
// buffer whole are dropped, with a problem.
File parseFile(std::string_view bytes);

// parseFile on the file's contents. A missing or unreadable file gives nothing; one larger than
// kMaxFileBytes gives only a problem.
File readFile(const std::string& path);

// The names between the dots of a key (window, components, property), blanks around each dropped.
std::vector<std::string_view> splitKey(std::string_view key);

// Decimal, or hexadecimal after "$" or "0x", with an optional sign; the 32-bit range (hexadecimal
// wraps, so "$FFFFFFFF" is -1). Nothing when the text is not such an integer.
std::optional<int> parseInteger(std::string_view text);

// Items between occurrences of separator, each trimmed (an empty part gives an empty item), then the
// trimmed rest unless it is empty. An empty separator is never found: the result is the trimmed value.
std::vector<std::string> splitTextList(std::string_view value, std::string_view separator);

// Drops the blanks (codes 0 to 32) at both ends.
std::string_view trimBlanks(std::string_view text);

enum class IntegerProperty { Left, Top, Width, Height, Tag, Interval };

// The integer property of that name (ASCII letter case ignored), if it is one.
std::optional<IntegerProperty> integerPropertyNamed(std::string_view name);

struct ScreenArea {
    int left = 0;
    int top = 0;
    int width = kFallbackScreenSize;
    int height = kFallbackScreenSize;
};

// The value a property takes. A window's position stays on the screen; a control's lies within a
// screen's size of its parent's corner; sizes are at most the screen's. Intervals of 1 to 99 ms become
// 100 (a shorter one keeps a core busy); 0 and below are kept, they park the timer.
int clampInteger(IntegerProperty property, int value, bool isWindow, const ScreenArea& screen);

} // namespace quorvane::language
