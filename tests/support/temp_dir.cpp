// Temporary folders for tests.
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace quorvane::test {

namespace {

// Names are UTF-8 everywhere; a plain std::string path would be read in the ANSI code page on Windows.
std::filesystem::path utf8Path(const std::string& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

} // namespace

TempDir::~TempDir() {
    std::error_code ignored;
    // Make read-only test folders removable again before removing the tree.
    for (auto it = std::filesystem::recursive_directory_iterator(
             utf8Path(m_path), std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(utf8Path(m_path), ignored);
}

void TempDir::write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path target = utf8Path(file(relative));
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string TempDir::read(const std::string& relative) const {
    std::ifstream in(utf8Path(file(relative)), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TempDir::makeFolder(const std::string& relative) const {
    std::filesystem::create_directories(utf8Path(file(relative)));
}

} // namespace quorvane::test
