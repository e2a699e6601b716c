// File-system services on Windows, through the ANSI calls; names there already match without regard to case.
#include "store/file_system.h"

#include <algorithm>
#include <windows.h>

namespace quorvane::fs {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const auto less = [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less))
        return true;
    return !std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less) && a < b;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && isSeparator(path.back()) && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

// Folder part with its separator ("C:" for "C:name", empty for a bare name), so parentOf + baseNameOf is the path.
std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

DWORD attributesOf(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    const HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        ok = ::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    ok = ok && ::FlushFileBuffers(file);
    ok = ::CloseHandle(file) && ok;
    return ok;
}

// The path with its last component spelled as the folder holds it: a rewrite through another letter
// case replaces the file under its old name instead of renaming it.
std::string onDiskSpelling(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos)
        return path; // a pattern, not a name: it must not pick some other file
    WIN32_FIND_DATAA data{};
    const HANDLE search = ::FindFirstFileA(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return path;
    ::FindClose(search);
    return parentOf(path) + data.cFileName;
}

// A name beside target that does not exist yet; the leading "~" keeps it out of the way.
std::string temporaryNameBeside(const std::string& target) {
    static unsigned counter = 0;
    const std::string stem = parentOf(target) + "~" + baseNameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            stem + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".tmp";
        if (attributesOf(candidate) == INVALID_FILE_ATTRIBUTES)
            return candidate;
    }
    return {};
}

// Removes a temporary file, also when it took a read-only attribute from the file it was copied from.
void discard(const std::string& temporary) {
    ::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temporary.c_str());
}

bool moveOver(const std::string& from, const std::string& to) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    discard(from);
    return false;
}

// The file a symbolic link finally leads to, or the path itself when it is no link or cannot be followed.
std::string finalTarget(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path;
    std::string buffer(MAX_PATH, '\0');
    DWORD length = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    ::CloseHandle(file);
    if (length == 0 || length >= buffer.size())
        return path;
    buffer.resize(length);
    // The answer carries the long-path prefix; the ANSI calls here want the plain form.
    if (buffer.rfind("\\\\?\\UNC\\", 0) == 0)
        return std::string(2, '\\').append(buffer, 8);
    if (buffer.rfind("\\\\?\\", 0) == 0)
        return buffer.substr(4);
    return buffer;
}

// Puts the new contents in place of an existing file, which keeps its attributes and security.
bool replaceExisting(const std::string& target, const std::string& temporary) {
    constexpr DWORD carried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = attributesOf(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & carried))
        ::SetFileAttributesA(temporary.c_str(), attributes & carried);
    if (::ReplaceFileA(target.c_str(), temporary.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file is already gone: the new contents must take its name, and are kept if they cannot.
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        return ::MoveFileExA(temporary.c_str(), target.c_str(), flags) != 0;
    }
    discard(temporary);
    return false;
}

} // namespace

char separator() {
    return '\\';
}

std::string resolve(const std::string& path) {
    return path;
}

bool folderExists(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool fileExists(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool createFolder(const std::string& path) {
    const std::string folder = withoutTrailingSeparators(path);
    if (folder.empty())
        return false;
    if (::CreateDirectoryA(folder.c_str(), nullptr))
        return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && folderExists(folder);
}

bool copyFile(const std::string& source, const std::string& named) {
    if (folderExists(named))
        return false;
    const std::string target = onDiskSpelling(named);
    const std::string temporary = temporaryNameBeside(target);
    if (temporary.empty())
        return false;
    if (!::CopyFileA(source.c_str(), temporary.c_str(), TRUE)) {
        discard(temporary);
        return false;
    }
    return moveOver(temporary, target);
}

bool deleteFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != 0;
}

bool removeFolder(const std::string& path) {
    return ::RemoveDirectoryA(withoutTrailingSeparators(path).c_str()) != 0;
}

std::vector<std::string> listOrdinaryFiles(const std::string& folder) {
    std::vector<std::string> names;
    // A folder that is a junction or link holds someone else's files: the delete command must never reach them.
    const DWORD folderAttributes = attributesOf(withoutTrailingSeparators(folder));
    if (folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return names;
    std::string pattern = folder;
    if (!pattern.empty() && !isSeparator(pattern.back()))
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA data{};
    const HANDLE search = ::FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    constexpr DWORD skipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if (!(data.dwFileAttributes & skipped))
            names.emplace_back(data.cFileName);
    } while (::FindNextFileA(search, &data));
    ::FindClose(search);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

bool replaceFileContents(const std::string& path, const std::string& bytes) {
    const std::string named = withoutTrailingSeparators(path);
    if (named.empty() || folderExists(named))
        return false;
    const std::string target = onDiskSpelling(finalTarget(named));
    const std::string temporary = temporaryNameBeside(target);
    if (temporary.empty())
        return false;
    if (!writeWholeFile(temporary, bytes)) {
        discard(temporary);
        return false;
    }
    if (fileExists(target))
        return replaceExisting(target, temporary);
    return moveOver(temporary, target);
}

bool readFileBytes(const std::string& path, std::string& bytes) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string data;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        data.append(buffer, got);
    }
    ::CloseHandle(file);
    if (ok)
        bytes = std::move(data);
    return ok;
}

std::string findOnPath(const std::string& program) {
    if (program.empty())
        return {};
    char buffer[MAX_PATH];
    const DWORD length = ::SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const std::string found(buffer, length);
    return fileExists(found) ? found : std::string();
}

} // namespace quorvane::fs
