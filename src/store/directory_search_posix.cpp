// Directory search and attribute words on POSIX: readdir and lstat mapped to Windows-style words.
#include "store/directory_search.h"

#include <dirent.h>
#include <sys/stat.h>

namespace quorvane {

std::vector<DirectoryEntry> searchDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    DIR* dir = opendir((folder + '/').c_str());
    if (!dir)
        return entries;
    // A folder's read-only bit (the one thing attributeWord would add) does not decide whether it is listed.
    while (const dirent* entry = readdir(dir))
        entries.push_back(
            {entry->d_name, entry->d_type == DT_REG, entry->d_type == DT_DIR && entry->d_name[0] != '.'});
    closedir(dir);
    return entries;
}

std::uint32_t attributeWord(const std::string& path) {
    // The hidden rule looks at the last component; a trailing separator would make lstat follow a link.
    std::string bare = path;
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();

    struct stat info {};
    if (bare.empty() || lstat(bare.c_str(), &info) != 0)
        return attr::Invalid;

    std::uint32_t word = 0;
    if (S_ISLNK(info.st_mode)) {
        word = attr::ReparsePoint;
        struct stat target {};
        if (stat(bare.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
            word |= attr::Directory;
    } else if (S_ISDIR(info.st_mode)) {
        word = attr::Directory;
    } else {
        word = attr::Archive;
    }
    if (!(info.st_mode & S_IWUSR))
        word |= attr::ReadOnly;

    const std::string::size_type slash = bare.find_last_of('/');
    const std::string::size_type nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (nameStart < bare.size() && bare[nameStart] == '.')
        word |= attr::Hidden;
    return word;
}

char pathSeparator() {
    return '/';
}

bool isPathSeparator(char c) {
    return c == '/';
}

} // namespace quorvane
