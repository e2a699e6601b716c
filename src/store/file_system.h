// File-system services of the tunnel store, with names matched without regard to case.
#pragma once

#include <string>
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

// Copies a file, replacing an existing target; keeps the source's permission bits.
bool copyFile(const std::string& source, const std::string& target);

bool deleteFile(const std::string& path);

// Removes an empty folder; false when it is not empty or cannot be removed.
bool removeFolder(const std::string& path);

// Bare names of a folder's ordinary files (not hidden, not system, not folders; symbolic links are
// listed without being followed), sorted alphabetically without regard to case. Empty when the
// folder cannot be read or is itself a symbolic link (a reparse point on Windows).
std::vector<std::string> listOrdinaryFiles(const std::string& folder);

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
