// One folder's entries with Windows-style attribute words, from the platform's directory search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

namespace attr {
inline constexpr std::uint32_t ReadOnly = 0x01;
inline constexpr std::uint32_t Hidden = 0x02;
inline constexpr std::uint32_t System = 0x04;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t ReparsePoint = 0x400;
inline constexpr std::uint32_t Invalid = 0xFFFFFFFF; // attributes could not be read
} // namespace attr

struct DirectoryEntry {
    std::string name;       // bare entry name, "." and ".." included when the system reports them
    bool plainFile = false; // the search already knows it is a regular file (no attribute read needed)
    // The search already knows it is a folder entry: a folder, not a link, neither hidden nor system.
    bool plainFolder = false;
};

// Entries of a folder in the order the file system returns them; empty when it cannot be read.
// `folder` is given without a trailing separator (the search adds one, so "" is the root).
// All names are read before returning: no search handle stays open while the caller recurses.
std::vector<DirectoryEntry> searchDirectory(const std::string& folder);

// The attribute word of a path, or attr::Invalid when it cannot be read. On POSIX: a directory is
// Directory, anything else Archive; no owner write permission adds ReadOnly, a name starting with "."
// adds Hidden; a symbolic link is ReparsePoint (plus Directory when it leads to one), so it never
// reads as a plain folder and a link loop cannot be followed.
std::uint32_t attributeWord(const std::string& path);

// The separator this platform puts between path components.
char pathSeparator();

// True for every character this platform accepts as a separator ('/' and, on Windows, '\\').
bool isPathSeparator(char c);

} // namespace quorvane
