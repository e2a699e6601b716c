// File-system services on Windows, through the wide calls (paths are UTF-8 in the core); names there already match
// without regard to case. Private files get a protected DACL for the user alone; folders one that also lets in the
// system and the administrators.
#include "store/file_system.h"

#include <algorithm>
#include <optional>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "store/wide_text_win32.h"

namespace quorvane::fs {

namespace {

// Runs a call that fills a buffer and returns the length written, or the size it needs (with its terminating
// null) when the buffer is too small; empty when it fails.
template <class Fill> std::wstring filled(Fill fill) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int round = 0; round < 3; ++round) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
    return {};
}

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
    return ::GetFileAttributesW(toWide(path).c_str());
}

// A protected security descriptor, so nothing is inherited from above: full access for the user alone (a file),
// or for the user, the system and the administrators, passed on to what the folder will hold (a folder).
class PrivateSecurity {
public:
    enum Kind { File, Folder };

    explicit PrivateSecurity(Kind kind) {
        const std::wstring user = currentUserSid();
        if (user.empty())
            return;
        const std::wstring sddl = kind == File ? L"D:P(A;;FA;;;" + user + L")"
                                               : L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &m_descriptor,
                                                                    nullptr))
            m_descriptor = nullptr;
        m_attributes = {sizeof m_attributes, m_descriptor, FALSE};
    }
    ~PrivateSecurity() {
        if (m_descriptor)
            ::LocalFree(m_descriptor);
    }
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    bool valid() const { return m_descriptor != nullptr; }
    SECURITY_ATTRIBUTES* attributes() { return &m_attributes; }

    PACL dacl() const {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL acl = nullptr;
        ::GetSecurityDescriptorDacl(m_descriptor, &present, &acl, &defaulted);
        return acl;
    }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

bool writeWholeFile(const std::string& path, const std::string& bytes, SECURITY_ATTRIBUTES* security) {
    const HANDLE file =
        ::CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    WIN32_FIND_DATAW data{};
    const HANDLE search = ::FindFirstFileW(toWide(path).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return path;
    ::FindClose(search);
    return parentOf(path) + toUtf8(data.cFileName);
}

// A name beside target that does not exist yet, of temporaryNameFor's form.
std::string temporaryNameBeside(const std::string& target) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            parentOf(target) + temporaryNameFor(baseNameOf(target), ::GetCurrentProcessId(), ++counter);
        if (attributesOf(candidate) == INVALID_FILE_ATTRIBUTES)
            return candidate;
    }
    return {};
}

FileStatus missingOrFailed() {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileStatus::Missing : FileStatus::Failed;
}

// Whether the folder holding path may be used without following a link: Ok, Missing or Link.
FileStatus folderStatusOf(const std::string& path) {
    const std::string folder = withoutTrailingSeparators(parentOf(path));
    if (folder.empty() || folder.back() == ':')
        return FileStatus::Ok; // the current folder, or a drive's
    const DWORD attributes = attributesOf(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return missingOrFailed();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileStatus::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileStatus::Ok : FileStatus::Missing;
}

// What path is, without following it: Ok (a file), Missing, Link or NotAFile.
FileStatus entryStatusOf(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return missingOrFailed();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileStatus::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileStatus::NotAFile : FileStatus::Ok;
}

// Neither the file nor its folder is a link: Ok, or Missing for a file (not a folder) that is not there yet.
FileStatus noFollowStatusOf(const std::string& path) {
    const FileStatus folder = folderStatusOf(path);
    return folder == FileStatus::Ok ? entryStatusOf(path) : folder;
}

// A process of that number is still running (one we may not query counts as running).
bool processRuns(unsigned long id) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool running = !::GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

// Removes a temporary file, also when it took a read-only attribute from the file it was copied from.
void discard(const std::string& temporary) {
    const std::wstring name = toWide(temporary);
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(name.c_str());
}

bool moveOver(const std::string& from, const std::string& to) {
    if (::MoveFileExW(toWide(from).c_str(), toWide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    discard(from);
    return false;
}

// The absolute path, "." and ".." resolved and short (8.3) components long, links left as they are.
std::string fullLongPath(const std::string& path) {
    const std::wstring name = toWide(path);
    const std::wstring full = filled(
        [&name](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(name.c_str(), size, buffer, nullptr); });
    if (full.empty())
        return path;
    const std::wstring spelled =
        filled([&full](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(full.c_str(), buffer, size); });
    return toUtf8(spelled.empty() ? full : spelled);
}

// The path an open file or folder finally has, links resolved, in the plain form; empty when the system won't say.
std::string finalPathOf(HANDLE file) {
    const std::string found = toUtf8(
        filled([file](wchar_t* buffer, DWORD size) { return ::GetFinalPathNameByHandleW(file, buffer, size, 0); }));
    // The answer carries the long-path prefix; the rest of this file works with the plain form.
    if (found.rfind("\\\\?\\UNC\\", 0) == 0)
        return std::string(2, '\\').append(found, 8);
    if (found.rfind("\\\\?\\", 0) == 0)
        return found.substr(4);
    return found;
}

// The file a symbolic link finally leads to, or the path itself when it is no link or cannot be followed.
std::string finalTarget(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file = ::CreateFileW(toWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path;
    const std::string found = finalPathOf(file);
    ::CloseHandle(file);
    return found.empty() ? path : found;
}

// Puts the new contents in place of an existing file, which keeps its attributes and security.
bool replaceExisting(const std::string& target, const std::string& temporary) {
    constexpr DWORD carried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    // Full paths: a relative name that exists is refused by ReplaceFileW on some systems.
    const std::wstring targetName = toWide(fullLongPath(target));
    const std::wstring temporaryName = toWide(fullLongPath(temporary));
    const DWORD attributes = attributesOf(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & carried))
        ::SetFileAttributesW(temporaryName.c_str(), attributes & carried);
    if (::ReplaceFileW(targetName.c_str(), temporaryName.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file is already gone: the new contents must take its name, and are kept if they cannot.
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        return ::MoveFileExW(temporaryName.c_str(), targetName.c_str(), flags) != 0;
    }
    discard(temporary);
    return false;
}

// ReplaceFile gives the new contents the old file's DACL, so a private rewrite makes the old file private first.
// A file write-protected for us (attribute or DACL) stays as it is: the attribute is checked on its own, as a
// privileged open may not refuse it, and the DACL is set only through a handle open for writing.
bool makeWritableFilePrivate(const std::string& path, const PrivateSecurity& security) {
    if (attributesOf(path) & FILE_ATTRIBUTE_READONLY)
        return false;
    const HANDLE file = ::CreateFileW(toWide(path).c_str(), GENERIC_WRITE | WRITE_DAC,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD result =
        ::SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, security.dacl(), nullptr);
    ::CloseHandle(file);
    return result == ERROR_SUCCESS;
}

bool replaceContents(const std::string& path, const std::string& bytes, bool ownerOnly, bool followLinks = true) {
    const std::string named = withoutTrailingSeparators(path);
    if (named.empty() || folderExists(named))
        return false;
    std::optional<PrivateSecurity> security;
    if (ownerOnly && !security.emplace(PrivateSecurity::File).valid())
        return false;
    const std::string target = onDiskSpelling(followLinks ? finalTarget(named) : named);
    const std::string temporary = temporaryNameBeside(target);
    if (temporary.empty())
        return false;
    if (!writeWholeFile(temporary, bytes, security ? security->attributes() : nullptr)) {
        discard(temporary);
        return false;
    }
    if (!fileExists(target))
        return moveOver(temporary, target);
    if (security && !makeWritableFilePrivate(target, *security)) {
        discard(temporary);
        return false;
    }
    return replaceExisting(target, temporary);
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
    // Never made with the default security: without a private DACL only an existing folder will do.
    PrivateSecurity security(PrivateSecurity::Folder);
    if (!security.valid())
        return folderExists(folder);
    if (::CreateDirectoryW(toWide(folder).c_str(), security.attributes()))
        return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && folderExists(folder);
}

bool copyFile(const std::string& source, const std::string& named) {
    const FileStatus status = noFollowStatusOf(named);
    if (status != FileStatus::Ok && status != FileStatus::Missing)
        return false;
    const std::string target = onDiskSpelling(named);
    const std::string temporary = temporaryNameBeside(target);
    if (temporary.empty())
        return false;
    if (!::CopyFileW(toWide(source).c_str(), toWide(temporary).c_str(), TRUE)) {
        discard(temporary);
        return false;
    }
    return moveOver(temporary, target);
}

bool deleteFile(const std::string& path) {
    // DeleteFile removes a link itself; only a linked folder must not be reached through.
    return folderStatusOf(path) == FileStatus::Ok && ::DeleteFileW(toWide(path).c_str()) != 0;
}

bool removeFolder(const std::string& path) {
    return ::RemoveDirectoryW(toWide(withoutTrailingSeparators(path)).c_str()) != 0;
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
    WIN32_FIND_DATAW data{};
    const HANDLE search = ::FindFirstFileW(toWide(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    constexpr DWORD skipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if (!(data.dwFileAttributes & skipped))
            names.push_back(toUtf8(data.cFileName));
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

bool replaceFileContents(const std::string& path, const std::string& bytes) {
    return replaceContents(path, bytes, false);
}

bool replacePrivateFileContents(const std::string& path, const std::string& bytes) {
    return replaceContents(path, bytes, true);
}

std::int64_t regularFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return -1;
    return static_cast<std::int64_t>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void closeNativeHandle(std::intptr_t handle) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

FileStatus NoFollowFile::open(const std::string& path, Access access) {
    close();
    const std::string named = withoutTrailingSeparators(path);
    const bool create = access == Access::CreatePrivateEmpty;
    FileStatus status = noFollowStatusOf(named);
    if (create && status == FileStatus::Missing && folderStatusOf(named) == FileStatus::Ok)
        status = FileStatus::Ok;
    if (status != FileStatus::Ok)
        return status;
    std::optional<PrivateSecurity> security;
    if (create && !security.emplace(PrivateSecurity::File).valid())
        return FileStatus::Failed;
    // The client keeps appending to its log while it is read or trimmed here.
    const HANDLE file = ::CreateFileW(
        toWide(named).c_str(), GENERIC_READ | (access == Access::Read ? 0 : GENERIC_WRITE),
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security ? security->attributes() : nullptr,
        create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return missingOrFailed();
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info))
        status = FileStatus::NotAFile;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        status = FileStatus::Link;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        status = FileStatus::NotAFile;
    else if (access != Access::Read && info.nNumberOfLinks > 1)
        status = FileStatus::Link;
    else if (create && !::SetEndOfFile(file))
        status = FileStatus::Failed;
    if (status != FileStatus::Ok) {
        ::CloseHandle(file);
        return status;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return FileStatus::Ok;
}

bool NoFollowFile::openBeneath(std::intptr_t, const std::string&) {
    close();
    return false; // Windows has no open that refuses a reparse point on the way: the full path is checked
}

OpenFolder::OpenFolder(const std::string& path) : m_path(path) {}

OpenFolder::~OpenFolder() = default;

std::int64_t NoFollowFile::size() const {
    LARGE_INTEGER size{};
    if (m_handle == kClosed || !::GetFileSizeEx(reinterpret_cast<HANDLE>(m_handle), &size))
        return -1;
    return size.QuadPart;
}

bool NoFollowFile::readAt(std::uint64_t offset, std::size_t count, std::string& bytes) const {
    if (m_handle == kClosed)
        return false;
    std::string data(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((offset + done) & 0xffffffffu);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), data.data() + done, chunk, &got, &at))
            if (::GetLastError() != ERROR_HANDLE_EOF)
                return false;
        if (got == 0)
            break;
        done += got;
    }
    data.resize(done);
    bytes = std::move(data);
    return true;
}

bool NoFollowFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    if (m_handle == kClosed)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((offset + done) & 0xffffffffu);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!::WriteFile(reinterpret_cast<HANDLE>(m_handle), bytes.data() + done, chunk, &written, &at) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool NoFollowFile::truncate(std::uint64_t size) {
    if (m_handle == kClosed)
        return false;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    const HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

FileStatus replacePrivateFileNoFollow(const std::string& path, const std::string& bytes) {
    const std::string named = withoutTrailingSeparators(path);
    const FileStatus status = noFollowStatusOf(named);
    if (status != FileStatus::Ok && status != FileStatus::Missing)
        return status;
    return replaceContents(named, bytes, true, false) ? FileStatus::Ok : FileStatus::Failed;
}

std::size_t removeLeftoverTemporaryFiles(const std::string& folder) {
    const DWORD folderAttributes = attributesOf(withoutTrailingSeparators(folder));
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return 0;
    const std::string prefix = folder.empty() || isSeparator(folder.back()) ? folder : folder + "\\";
    WIN32_FIND_DATAW data{};
    const HANDLE search = ::FindFirstFileW(toWide(prefix + "*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<std::string> leftovers;
    const unsigned long self = ::GetCurrentProcessId();
    do {
        unsigned long owner = 0;
        const std::string name = toUtf8(data.cFileName);
        if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            isTemporaryName(name, owner) && (owner == self || !processRuns(owner)))
            leftovers.push_back(prefix + name);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    std::size_t removed = 0;
    for (const std::string& leftover : leftovers) {
        discard(leftover);
        if (attributesOf(leftover) == INVALID_FILE_ATTRIBUTES)
            ++removed;
    }
    return removed;
}

bool makeFolderPrivate(const std::string& path) {
    const std::string folder = withoutTrailingSeparators(path);
    const DWORD attributes = attributesOf(folder);
    // A junction or link leads to a folder that is not this one: it is left alone.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const PrivateSecurity security(PrivateSecurity::Folder);
    if (!security.valid())
        return false;
    std::wstring name = toWide(folder);
    return ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   security.dacl(), nullptr) == ERROR_SUCCESS;
}

std::string canonicalPath(const std::string& path) {
    const std::string full = fullLongPath(path);
    // Links and junctions in any component resolved, as in the image path of a program started through them.
    const HANDLE file = ::CreateFileW(toWide(full).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return full;
    const std::string found = finalPathOf(file);
    ::CloseHandle(file);
    return found.empty() ? full : found;
}

bool namesIgnoreCase() {
    return true;
}

bool readFileBytes(const std::string& path, std::string& bytes) {
    const HANDLE file = ::CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    const std::wstring name = toWide(program);
    const std::string found = toUtf8(filled([&name](wchar_t* buffer, DWORD size) {
        return ::SearchPathW(nullptr, name.c_str(), L".exe", size, buffer, nullptr);
    }));
    return !found.empty() && fileExists(found) ? found : std::string();
}

} // namespace quorvane::fs
