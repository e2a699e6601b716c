// Directory search and attribute words on Windows: FindFirstFileW/FindNextFileW and GetFileAttributesW, names in UTF-8.
#include "store/directory_search.h"

#include <cwchar>
#include <windows.h>

#include "store/folder_walker.h"
#include "store/wide_text_win32.h"

namespace quorvane {

std::vector<DirectoryEntry> searchDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAW data{};
    const HANDLE search = FindFirstFileW(toWide(folder + "\\*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        // The search's attributes are the entry's own, as GetFileAttributesW would read them.
        const DWORD word = data.dwFileAttributes;
        entries.push_back({toUtf8(data.cFileName, wcsnlen(data.cFileName, MAX_PATH)),
                           (word & FILE_ATTRIBUTE_DIRECTORY) == 0, TExpandedFolder::IsFolderEntry(word)});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return entries;
}

std::uint32_t attributeWord(const std::string& path) {
    // INVALID_FILE_ATTRIBUTES is the same word as attr::Invalid.
    return static_cast<std::uint32_t>(GetFileAttributesW(toWide(path).c_str()));
}

char pathSeparator() {
    return '\\';
}

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace quorvane
