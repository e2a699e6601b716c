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
    std::string name; // bare entry name, "." and ".." included when the system reports them
};

// Entries of a folder in the order the file system returns them; empty when it cannot be read.
std::vector<DirectoryEntry> searchDirectory(const std::string& folder);

// The attribute word of a path. Here: a directory is 16, no owner write permission adds ReadOnly,
// a name starting with "." adds Hidden, a symbolic link is a ReparsePoint (never a folder).
std::uint32_t attributeWord(const std::string& path);

} // namespace quorvane
