// Profile-string (INI) file access with the rules of the platform's private-profile functions.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

// One key to write and the value it must read back as.
struct IniEntry {
    std::string section;
    std::string key;
    std::string value;
};

// INI text in memory under IniFile's rules, usable without the disk; IniFile reads and writes through it.
// Section and key names match without regard to ASCII letter case.
class IniText {
public:
    static constexpr std::size_t kValueBufferChars = 2048; // values are returned cut to 2047 characters

    explicit IniText(std::string bytes = {});

    const std::string& bytes() const { return m_bytes; }

    // The value of section/key, blanks around it dropped and one pair of matching quotes stripped;
    // defaultValue when the section or key is missing.
    std::string readString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // False when readString would cut the value (longer than 2047 characters); true for a missing key.
    bool fitsWhole(const std::string& section, const std::string& key) const;

    // Key names of a section in file order (duplicates kept, comments skipped), limited as the
    // platform's call with a buffer of bufferChars characters would return them: each name takes its
    // length + 1, the list one more, and the names from the first that does not fit whole are dropped.
    std::vector<std::string> readKeyNames(const std::string& section, std::size_t bufferChars) const;

    // Whether write can store the entry so that readString gives the value back exactly. Refused:
    // CR or LF anywhere (the editor cannot type them; a blank in their place would change the value),
    // text that is not UTF-8, values longer than 2047 characters (reading would cut them), and key
    // names that would read as a comment, a section or another key (';' or '[' first, any '=').
    static bool canStore(const IniEntry& entry);

    // Writes the entries in order, each as one write of its own would: the key's value is replaced in
    // place (the line keeps its position and the key its spelling), or the key is added after the last
    // key of its section, or the section is added at the end; every other line stays byte for byte. A
    // value that reading would change (blanks at an end, a pair of quotes around it) is written inside
    // one more pair of double quotes. The encoding is chosen once: the text stays in the 8-bit code page (bytes
    // that are not UTF-8) only when all new text fits it and the result still is no UTF-8; otherwise
    // the whole text becomes UTF-8, every other value keeping its characters. Returns false, text
    // unchanged, when canStore refuses an entry.
    bool write(const std::vector<IniEntry>& entries);

private:
    struct Parsed;
    const Parsed& parsed() const;

    std::string m_bytes;
    // The lines of m_bytes, split on the first read and kept for the next: a definition is read key by
    // key. Shared by copies, dropped by write; not for reads from several threads at once.
    mutable std::shared_ptr<const Parsed> m_parsed;
};

enum class IniWriteResult {
    Written,
    Refused,  // an entry IniText::canStore refuses
    Link,     // the file or the folder holding it is a symbolic link
    TooLarge, // the file, before or after, is larger than allowed
    Failed,   // cannot be read or written
};

// One INI file. Nothing is cached: every call opens, reads (and for writes, atomically replaces) the
// file and closes it again. Paths resolve without regard to case on case-sensitive file systems.
class IniFile {
public:
    static constexpr std::size_t kValueBufferChars = IniText::kValueBufferChars;
    // No file of the program's is near this; a larger one (a link to a device, a runaway log) is refused.
    static constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

    explicit IniFile(std::string path);

    const std::string& path() const { return m_path; }

    // As IniText's; defaultValue (or nothing) also when the file is missing, a link, not a regular file or
    // larger than kMaxFileBytes (never read through, never waited on).
    std::string readString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    std::vector<std::string> readKeyNames(const std::string& section, std::size_t bufferChars) const;

    // Writes every entry as IniText::write does, in ONE atomic replacement of the file (a temporary
    // file in the same folder, flushed, renamed), so a crash leaves the old file or the new one. Creates
    // a missing file; reads at most maxFileBytes and refuses a file, old or new, larger than that. The
    // file is left readable by its owner alone (definitions hold passwords). A file or folder that is a
    // symbolic link is refused, never written through. On any failure the file is untouched.
    IniWriteResult writeStrings(const std::vector<IniEntry>& entries, std::size_t maxFileBytes = kMaxFileBytes) const;

    // writeStrings of one entry; true when written.
    bool writeString(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::string m_path;
};

} // namespace quorvane
