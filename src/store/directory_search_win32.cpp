// Directory search and attribute words on Windows: FindFirstFileA/FindNextFileA and GetFileAttributesA.
#include "store/directory_search.h"

#include <windows.h>

namespace quorvane {

std::vector<DirectoryEntry> searchDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAA data{};
    const HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        entries.push_back({data.cFileName});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return entries;
}

std::uint32_t attributeWord(const std::string& path) {
    // INVALID_FILE_ATTRIBUTES is the same word as attr::Invalid.
    return static_cast<std::uint32_t>(GetFileAttributesA(path.c_str()));
}

char pathSeparator() {
    return '\\';
}

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace quorvane
