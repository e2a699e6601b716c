// Profile-string (INI) file access with the rules of the platform's private-profile functions.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// One INI file, addressed key by key. Nothing is cached: every call opens, reads (and for writes,
// atomically replaces) the file and closes it again. Section and key names match without regard to
// ASCII letter case; paths resolve without regard to case on case-sensitive file systems.
class IniFile {
public:
    static constexpr std::size_t kValueBufferChars = 2048; // values are returned cut to 2047 characters

    explicit IniFile(std::string path);

    const std::string& path() const { return m_path; }

    // The value of section/key, blanks around it dropped and one pair of matching quotes stripped;
    // defaultValue when the file, section or key is missing.
    std::string readString(const std::string& section, const std::string& key, const std::string& defaultValue) const;

    // Key names of a section in file order (duplicates kept, comments skipped), limited as the
    // platform's call with a buffer of bufferChars characters would return them: each name takes its
    // length + 1, the list one more, and the names from the first that does not fit whole are dropped.
    std::vector<std::string> readKeyNames(const std::string& section, std::size_t bufferChars) const;

    // Replaces the key's value in place (its line keeps its position, every other line stays byte for
    // byte), or appends the key to its section, or appends the section at the end; creates the file.
    // The whole file is replaced atomically. Each CR or LF of the value is written as a blank; new
    // text takes the file's encoding (Windows-1252 when its bytes are not UTF-8). Returns false, with
    // the file untouched, when it cannot be written or exists but cannot be read. The file is left
    // readable by its owner alone: definitions hold passwords.
    bool writeString(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::string m_path;
};

} // namespace quorvane
