// File-system services on POSIX: names resolved without regard to case, atomic whole-file replacement.
#include "store/file_system.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::fs {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const bool less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
    });
    if (less)
        return true;
    const bool greater = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
    });
    // Names equal but for case still need a fixed order.
    return !greater && a < b;
}

bool entryExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of folder whose name matches name ignoring case; the smallest such name when several
// do, so the choice does not depend on the order the directory happens to return.
bool findIgnoringCase(const std::string& folder, const std::string& name, std::string& found) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string candidate = entry->d_name;
        if (equalsIgnoringCase(candidate, name) && (!any || candidate < found)) {
            found = candidate;
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool readAll(int fd, std::string& bytes) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    bytes = std::move(data);
    return true;
}

// A new, exclusively created file in the folder open as folderFd, named after target (see
// temporaryNameFor; the leading "." keeps it out of listings). Returns the descriptor (or -1) and the name chosen.
int createTemporaryIn(int folderFd, const std::string& target, mode_t mode, std::string& tempName) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = temporaryNameFor(target, static_cast<unsigned long>(::getpid()), ++counter);
        const int fd = ::openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Opens the folder holding path; with noFollow, refuses (Link) a folder that is a symbolic link
// itself, while links further up are followed. Returns -1 and the reason on failure.
int openFolderOf(const std::string& path, bool noFollow, FileStatus& status) {
    const std::string folder = parentOf(path);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd >= 0) {
        status = FileStatus::Ok;
        return fd;
    }
    const int error = errno;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0)
        status = S_ISLNK(info.st_mode)   ? FileStatus::Link
                 : S_ISDIR(info.st_mode) ? FileStatus::Failed
                                         : FileStatus::Missing;
    else
        status = (error == ENOENT || error == ENOTDIR) ? FileStatus::Missing : FileStatus::Failed;
    return -1;
}

// Opens the folder holding path without following it when it is a link, and names the entry in it;
// -1 and the reason when there is no such folder, or no entry name (".", "..").
int openFolderOfEntry(const std::string& path, std::string& name, FileStatus& status) {
    const std::string resolved = withoutTrailingSeparators(resolve(path));
    name = baseNameOf(resolved);
    if (name.empty() || name == "." || name == "..") {
        status = FileStatus::NotAFile;
        return -1;
    }
    return openFolderOf(resolved, true, status);
}

// What an entry of a folder is, without following it: Missing, Link, NotAFile or Ok (a regular file).
FileStatus entryStatus(int folderFd, const std::string& name, struct stat& info) {
    if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? FileStatus::Missing : FileStatus::Failed;
    if (S_ISLNK(info.st_mode))
        return FileStatus::Link;
    return S_ISREG(info.st_mode) ? FileStatus::Ok : FileStatus::NotAFile;
}

// Writes bytes to a temporary file in the folder open as folderFd and renames it over target there.
// A failure removes the temporary file and leaves target as it was. When `like` is given, the new
// file takes its mode (and, where allowed, its owner). ownerOnly drops the group and other bits,
// for files that hold secrets.
bool writeAndRenameAt(int folderFd, const std::string& target, const std::string& bytes, const struct stat* like,
                      bool ownerOnly) {
    std::string tempName;
    // Private from the start: the temporary file holds the same bytes as the target.
    const int fd = createTemporaryIn(folderFd, target, ownerOnly ? 0600 : 0666, tempName);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes);
    if (ok && like) {
        ok = ::fchmod(fd, like->st_mode & (ownerOnly ? 07700 : 07777)) == 0;
        // Only root can give the file back to another owner; everyone else already owns it.
        if (ok && ::geteuid() == 0)
            (void)!::fchown(fd, like->st_uid, like->st_gid);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // A rename never follows a link at either name: a target that became a link is replaced, not written through.
    ok = ok && ::renameat(folderFd, tempName.c_str(), folderFd, target.c_str()) == 0;
    if (!ok) {
        ::unlinkat(folderFd, tempName.c_str(), 0);
        return false;
    }
    ::fsync(folderFd);
    return true;
}

bool writeAndRename(const std::string& target, const std::string& bytes, const struct stat* like,
                    bool ownerOnly = false) {
    FileStatus status = FileStatus::Ok;
    const int folderFd = openFolderOf(target, false, status);
    if (folderFd < 0)
        return false;
    const bool ok = writeAndRenameAt(folderFd, baseNameOf(target), bytes, like, ownerOnly);
    ::close(folderFd);
    return ok;
}

// A process of that number exists (one of another user's counts too).
bool processRuns(unsigned long id) {
    if (id == 0 || id > static_cast<unsigned long>(std::numeric_limits<pid_t>::max()))
        return false;
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

} // namespace

char separator() {
    return '/';
}

std::string resolve(const std::string& path) {
    std::string result;
    std::string::size_type pos = 0;
    if (!path.empty() && path.front() == '/') {
        result = "/";
        pos = 1;
    }
    // Once a component is missing, nothing below it can exist. A path that exists as spelled needs no look at
    // each of its folders: one call instead of one per component, for every file the program opens.
    bool lookUp = !entryExists(path);
    while (pos <= path.size()) {
        auto end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(pos, end - pos);
        pos = end + 1;
        if (component.empty())
            continue; // doubled or trailing separator
        std::string name = component;
        if (lookUp && component != "." && component != "..") {
            const std::string exact = result + component;
            if (!entryExists(exact)) {
                std::string found;
                if (findIgnoringCase(result, component, found))
                    name = found;
                else
                    lookUp = false;
            }
        }
        result += name;
        result += '/';
    }
    if (result.size() > 1 && !(path.size() > 1 && path.back() == '/'))
        result.pop_back();
    if (result.empty() && !path.empty())
        result = path; // nothing but separators: keep it
    return result;
}

bool folderExists(const std::string& path) {
    struct stat info {};
    return ::stat(resolve(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(resolve(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool createFolder(const std::string& path) {
    const std::string resolved = withoutTrailingSeparators(resolve(path));
    if (resolved.empty())
        return false;
    if (::mkdir(resolved.c_str(), 0700) == 0)
        return true;
    struct stat info {};
    return errno == EEXIST && ::stat(resolved.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool copyFile(const std::string& source, const std::string& target) {
    // The source may be a link (a client found on the PATH), but never a pipe or device that could hang the copy.
    const int in = ::open(resolve(source).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info {};
    std::string bytes;
    constexpr off_t kMaxCopied = off_t{256} << 20;
    const bool readOk =
        ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxCopied && readAll(in, bytes);
    ::close(in);
    if (!readOk)
        return false;
    // A new file rather than an overwrite: a target that is running keeps its old image.
    const std::string resolvedTarget = withoutTrailingSeparators(resolve(target));
    FileStatus status = FileStatus::Ok;
    const int folderFd = openFolderOf(resolvedTarget, true, status);
    if (folderFd < 0)
        return false;
    const std::string name = baseNameOf(resolvedTarget);
    struct stat targetInfo {};
    status = entryStatus(folderFd, name, targetInfo);
    info.st_uid = ::geteuid();
    info.st_gid = ::getegid();
    const bool ok = (status == FileStatus::Ok || status == FileStatus::Missing) &&
                    writeAndRenameAt(folderFd, name, bytes, &info, false);
    ::close(folderFd);
    return ok;
}

bool deleteFile(const std::string& path) {
    const std::string resolved = withoutTrailingSeparators(resolve(path));
    FileStatus status = FileStatus::Ok;
    const int folderFd = openFolderOf(resolved, true, status);
    if (folderFd < 0)
        return false;
    const std::string name = baseNameOf(resolved);
    struct stat info {};
    status = entryStatus(folderFd, name, info);
    // A link goes itself, never what it names.
    const bool exists = status == FileStatus::Ok || status == FileStatus::Link || status == FileStatus::NotAFile;
    const bool ok = exists && !S_ISDIR(info.st_mode) && ::unlinkat(folderFd, name.c_str(), 0) == 0;
    ::close(folderFd);
    return ok;
}

bool removeFolder(const std::string& path) {
    const std::string resolved = withoutTrailingSeparators(resolve(path));
    struct stat info {};
    if (::lstat(resolved.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return ::rmdir(resolved.c_str()) == 0;
}

std::vector<std::string> listOrdinaryFiles(const std::string& folder) {
    std::vector<std::string> names;
    const std::string resolved = withoutTrailingSeparators(resolve(folder));
    // A folder that is a link holds someone else's files: the delete command must never reach them.
    struct stat folderInfo {};
    if (!resolved.empty() && ::lstat(resolved.c_str(), &folderInfo) == 0 && S_ISLNK(folderInfo.st_mode))
        return names;
    DIR* dir = ::opendir(resolved.empty() ? "." : resolved.c_str());
    if (!dir)
        return names;
    const std::string prefix = resolved == "/" ? "/" : resolved + "/";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.front() == '.')
            continue;
        struct stat info {};
        if (::lstat((prefix + name).c_str(), &info) != 0)
            continue;
        if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

namespace {

bool replaceContents(const std::string& path, const std::string& bytes, bool ownerOnly) {
    std::string target = withoutTrailingSeparators(resolve(path));
    if (target.empty())
        return false;
    // Write through a symbolic link to the file it names, so the link itself survives.
    struct stat linkInfo {};
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        char real[PATH_MAX];
        if (!::realpath(target.c_str(), real))
            return false;
        target = real;
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return false;
        // Renaming over a write-protected file would succeed where writing into it is refused.
        if (!(info.st_mode & S_IWUSR) || ::access(target.c_str(), W_OK) != 0)
            return false;
        return writeAndRename(target, bytes, &info, ownerOnly);
    }
    return writeAndRename(target, bytes, nullptr, ownerOnly);
}

} // namespace

bool replaceFileContents(const std::string& path, const std::string& bytes) {
    return replaceContents(path, bytes, false);
}

bool replacePrivateFileContents(const std::string& path, const std::string& bytes) {
    return replaceContents(path, bytes, true);
}

std::int64_t regularFileSize(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

void closeNativeHandle(std::intptr_t handle) {
    ::close(static_cast<int>(handle));
}

FileStatus NoFollowFile::open(const std::string& path, Access access) {
    close();
    std::string name;
    FileStatus status = FileStatus::Ok;
    const int folderFd = openFolderOfEntry(path, name, status);
    if (folderFd < 0)
        return status;
    const bool create = access == Access::CreatePrivateEmpty;
    struct stat info {};
    status = entryStatus(folderFd, name, info);
    if (create && status == FileStatus::Missing)
        status = FileStatus::Ok;
    // Non-blocking: a pipe put in the file's place must not hang the open. Never truncated by the
    // open itself: only once it is known to be a regular file of one name.
    const int flags = (access == Access::Read ? O_RDONLY : O_RDWR) | (create ? O_CREAT : 0) | O_NOFOLLOW | O_NONBLOCK |
                      O_NOCTTY | O_CLOEXEC;
    const int fd = status == FileStatus::Ok ? ::openat(folderFd, name.c_str(), flags, 0600) : -1;
    const int openError = errno;
    ::close(folderFd);
    if (status != FileStatus::Ok)
        return status;
    if (fd < 0)
        return openError == ELOOP ? FileStatus::Link : openError == ENOENT ? FileStatus::Missing : FileStatus::Failed;
    if (::fstat(fd, &info) != 0)
        status = FileStatus::Failed;
    else if (!S_ISREG(info.st_mode))
        status = FileStatus::NotAFile;
    else if (access != Access::Read && info.st_nlink > 1)
        status = FileStatus::HardLinked;
    else if (create && (::ftruncate(fd, 0) != 0 || ((info.st_mode & 077) && ::fchmod(fd, info.st_mode & 07700) != 0)))
        status = FileStatus::Failed;
    if (status != FileStatus::Ok) {
        ::close(fd);
        return status;
    }
    m_handle = fd;
    return FileStatus::Ok;
}

bool NoFollowFile::openBeneath(std::intptr_t folder, const std::string& relative) {
    close();
#if defined(__linux__) && defined(SYS_openat2)
    // The kernel refuses a link at any level below the folder, and a name leading out of it.
    open_how how{};
    how.flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, static_cast<int>(folder), relative.c_str(), &how, sizeof how);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(static_cast<int>(fd), &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(static_cast<int>(fd));
        return false;
    }
    m_handle = fd;
    return true;
#else
    (void)folder;
    (void)relative;
    return false;
#endif
}

OpenFolder::OpenFolder(const std::string& path) : m_path(path) {
    const std::string resolved = resolve(path);
    m_handle = ::open(resolved.empty() ? "." : resolved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

OpenFolder::~OpenFolder() {
    if (m_handle != -1)
        ::close(static_cast<int>(m_handle));
}

std::int64_t NoFollowFile::size() const {
    struct stat info {};
    if (m_handle == kClosed || ::fstat(static_cast<int>(m_handle), &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool NoFollowFile::readAt(std::uint64_t offset, std::size_t count, std::string& bytes) const {
    if (m_handle == kClosed)
        return false;
    std::string data(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(static_cast<int>(m_handle), data.data() + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
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
        const ssize_t written = ::pwrite(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool NoFollowFile::truncate(std::uint64_t size) {
    return m_handle != kClosed && ::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(size)) == 0;
}

FileStatus replacePrivateFileNoFollow(const std::string& path, const std::string& bytes) {
    std::string name;
    FileStatus status = FileStatus::Ok;
    const int folderFd = openFolderOfEntry(path, name, status);
    if (folderFd < 0)
        return status;
    struct stat info {};
    status = entryStatus(folderFd, name, info);
    // Renaming over a write-protected file would succeed where writing into it is refused.
    if (status == FileStatus::Ok && (!(info.st_mode & S_IWUSR) || ::faccessat(folderFd, name.c_str(), W_OK, 0) != 0))
        status = FileStatus::Failed;
    if (status == FileStatus::Ok || status == FileStatus::Missing)
        status = writeAndRenameAt(folderFd, name, bytes, status == FileStatus::Ok ? &info : nullptr, true)
                     ? FileStatus::Ok
                     : FileStatus::Failed;
    ::close(folderFd);
    return status;
}

std::size_t removeLeftoverTemporaryFiles(const std::string& folder) {
    const std::string resolved = withoutTrailingSeparators(resolve(folder));
    const int folderFd =
        ::open(resolved.empty() ? "." : resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return 0;
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    std::vector<std::string> leftovers;
    const auto self = static_cast<unsigned long>(::getpid());
    while (const dirent* entry = ::readdir(dir)) {
        unsigned long owner = 0;
        if (isTemporaryName(entry->d_name, owner) && (owner == self || !processRuns(owner)))
            leftovers.push_back(entry->d_name);
    }
    std::size_t removed = 0;
    for (const std::string& name : leftovers) {
        struct stat info {};
        if (entryStatus(::dirfd(dir), name, info) == FileStatus::Ok && ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool makeFolderPrivate(const std::string& path) {
    const std::string resolved = withoutTrailingSeparators(resolve(path));
    struct stat info {};
    if (::lstat(resolved.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 077) == 0)
        return true;
    return ::chmod(resolved.c_str(), info.st_mode & 07700) == 0;
}

std::string canonicalPath(const std::string& path) {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real))
        return real;
    if (!path.empty() && path.front() == '/')
        return path;
    char current[PATH_MAX];
    if (!::getcwd(current, sizeof current))
        return path;
    return std::string(current) + "/" + path;
}

bool namesIgnoreCase() {
    return false;
}

bool readFileBytes(const std::string& path, std::string& bytes) {
    const int fd = ::open(resolve(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode) && readAll(fd, bytes);
    ::close(fd);
    return ok;
}

std::string findOnPath(const std::string& program) {
    const auto isExecutableFile = [](const std::string& candidate) {
        struct stat info {};
        return ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0;
    };
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return isExecutableFile(program) ? program : std::string();
    const char* pathVariable = std::getenv("PATH");
    const std::string searchPath = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    std::string::size_type pos = 0;
    while (pos <= searchPath.size()) {
        auto end = searchPath.find(':', pos);
        if (end == std::string::npos)
            end = searchPath.size();
        std::string folder = searchPath.substr(pos, end - pos);
        pos = end + 1;
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace quorvane::fs
