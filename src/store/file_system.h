// File-system services of the tunnel store, with names matched without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::fs {

// The platform's path separator ('\\' on Windows, '/' elsewhere).
char separator();

// Resolves each component of path against what exists, ignoring letter case where the file system
// does not (a tunnel folder copied from Windows as "Tunnells/Office/Tunnell.tun" is found as
// "tunnells/office/tunnell.tun"). Components that do not exist keep the spelling given. Identity on
// file systems that already ignore case.
std::string resolve(const std::string& path);

bool folderExists(const std::string& path);
bool fileExists(const std::string& path);

// Creates one folder level, for its owner alone (it holds a tunnel's password); false when it cannot (parent missing,
// invalid name, exists as a file). An existing folder (in any letter case) counts as success.
bool createFolder(const std::string& path);

// Copies a file, replacing an existing target; keeps the source's permission bits. Refused when the
// target or the folder holding it is a symbolic link (nothing is written elsewhere).
bool copyFile(const std::string& source, const std::string& target);

// Deletes a file (a symbolic link itself, never what it names); refused when the folder holding it is
// a symbolic link.
bool deleteFile(const std::string& path);

// Removes an empty folder; false when it is not empty or cannot be removed.
bool removeFolder(const std::string& path);

// Bare names of a folder's ordinary files (not hidden, not system, not folders; symbolic links are
// listed without being followed), sorted alphabetically without regard to case. Empty when the
// folder cannot be read or is itself a symbolic link (a reparse point on Windows).
std::vector<std::string> listOrdinaryFiles(const std::string& folder);

// What a call that never follows a symbolic link found.
enum class FileStatus {
    Ok,
    Missing,    // the file or its folder does not exist
    Link,       // the file, or the folder holding it, is a symbolic link (a reparse point on Windows)
    HardLinked, // opened to be written or emptied, the file has other names: changing it would change them too
    NotAFile,   // a folder, device, pipe or socket
    TooLarge,   // more bytes than allowed
    Failed,     // cannot be read or written (permissions, I/O)
};

// Reads a whole regular file of at most maxBytes bytes, never reading more than maxBytes + 1, and
// following no symbolic link as the file or as the folder holding it (folders above it may be links).
FileStatus readFileNoFollow(const std::string& path, std::size_t maxBytes, std::string& bytes);

// Why a file was refused, in the system's words: "it or its folder is a symbolic link"; maxBytes names the
// limit for TooLarge. Empty for Ok.
std::string fileProblemReason(FileStatus status, std::size_t maxBytes);
// "Unable to read <path>: <reason>"; empty for Ok.
std::string fileProblemWords(FileStatus status, const std::string& path, std::size_t maxBytes);

// The size of the regular file at path as spelled (not resolved, not followed); -1 for anything else. One
// look, no open: for a log polled every second, opened only when it has grown.
std::int64_t regularFileSize(const std::string& path);

// A regular file held open, opened as readFileNoFollow opens: never through a symbolic link (as the file
// or the folder holding it), never a pipe, device or folder in its place, and never blocking on one. For
// the logs a client appends to while the program reads or trims them.
// Closes a descriptor (a HANDLE on Windows) that NoFollowFile held: the one thing its platforms do differently there.
void closeNativeHandle(std::intptr_t handle);

class NoFollowFile {
public:
    enum class Access {
        Read,
        ReadWrite,
        // Created for its owner alone, or an existing one emptied and its group and other bits dropped.
        // A file with a second name (a hard link) is refused as Link: emptying it would empty the other.
        CreatePrivateEmpty,
    };

    NoFollowFile() = default;
    ~NoFollowFile();
    NoFollowFile(const NoFollowFile&) = delete;
    NoFollowFile& operator=(const NoFollowFile&) = delete;

    // Closes what was open first. Anything but Ok leaves the object closed.
    FileStatus open(const std::string& path, Access access);
    // For reading, a regular file below a folder held open, reached through no link at all; false for
    // anything else (and always on Windows), which open then names.
    bool openBeneath(std::intptr_t folder, const std::string& relative);
    bool isOpen() const { return m_handle != kClosed; }
    // The descriptor (a HANDLE on Windows), for asking the system about the open file itself.
    std::intptr_t nativeHandle() const { return m_handle; }
    void close();

    // The size now (another process may be appending); -1 on failure.
    std::int64_t size() const;
    // Up to count bytes from offset, fewer at the end of the file; false on failure.
    bool readAt(std::uint64_t offset, std::size_t count, std::string& bytes) const;
    bool writeAt(std::uint64_t offset, std::string_view bytes);
    bool truncate(std::uint64_t size);

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed; // a descriptor, or a HANDLE on Windows
};

// A folder held open, so that a file below it is read without walking the folder's own path again: the
// definitions of a thousand tunnels are read in one open each.
class OpenFolder {
public:
    // path ends with a separator; it is resolved as resolve does, and links in it are followed.
    explicit OpenFolder(const std::string& path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    const std::string& path() const { return m_path; }
    // readFileNoFollow(path() + relative), with the same answers.
    FileStatus readFileNoFollow(const std::string& relative, std::size_t maxBytes, std::string& bytes) const;

private:
    std::string m_path;
    std::intptr_t m_handle = -1;
};

// Like replacePrivateFileContents, but refuses (Link) a file or a folder holding it that is a
// symbolic link instead of writing through it, and refuses (NotAFile) anything but a regular file.
FileStatus replacePrivateFileNoFollow(const std::string& path, const std::string& bytes);

// Name of the temporary file that an atomic replacement of `target` (a bare name) writes first, made
// distinctive so that the clean-up below never matches a user's file: ".<target>.quorvane-<pid>-<n>.tmp".
std::string temporaryNameFor(const std::string& target, unsigned long processId, unsigned long number);

// Whether name has the form temporaryNameFor gives; processId is its process number then.
bool isTemporaryName(const std::string& name, unsigned long& processId);

// Removes the temporary files that a replacement or copy interrupted by a crash or a kill left in
// folder: regular files of temporaryNameFor's form only, and only those of a process that no longer
// runs, or of this one (call it when no replacement of this process is under way in the folder).
// Nothing is removed from a folder that is itself a symbolic link. Returns how many were removed.
// For the load sequence (each tunnel folder) and the delete command (before listing its files).
std::size_t removeLeftoverTemporaryFiles(const std::string& folder);

// Replaces a file's whole contents atomically: a temporary file in the same folder, flushed, then
// renamed over the original, which keeps its permission bits (a symbolic link is written through).
// Returns false (and leaves the original untouched) on any failure, also when the original is
// write-protected (no write permission for its owner, or none for us).
bool replaceFileContents(const std::string& path, const std::string& bytes);

// Like replaceFileContents, for a file only its owner may read or write (a definition holds a
// password): the temporary file is created that way, and an existing file's group and other
// permission bits are dropped.
bool replacePrivateFileContents(const std::string& path, const std::string& bytes);

// Drops the group and other permission bits of an existing folder (a tunnel folder made before
// folders were private). False when it is not a folder of ours; nothing on systems without the bits.
bool makeFolderPrivate(const std::string& path);

// The absolute path with links, "." and ".." resolved, as the system reports a running program's
// executable; the path itself (absolute) when it does not exist.
std::string canonicalPath(const std::string& path);

// True where the file system matches names without regard to letter case (Windows).
bool namesIgnoreCase();

// Reads a whole file; false when it cannot be opened.
bool readFileBytes(const std::string& path, std::string& bytes);

// Full path of an executable found on the PATH, or empty.
std::string findOnPath(const std::string& program);

} // namespace quorvane::fs
