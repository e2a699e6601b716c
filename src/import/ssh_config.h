// The user's OpenSSH client configuration read as tunnels to import: one candidate per Host alias.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "import/import_candidate.h"

namespace quorvane {

// Limits that keep a hostile configuration from costing more than a glance.
inline constexpr std::size_t kSshConfigMaxFileBytes = 1024 * 1024;      // one file; a larger one is not read
inline constexpr std::size_t kSshConfigMaxTotalBytes = 4 * 1024 * 1024; // every file read, Includes together
inline constexpr int kSshConfigMaxIncludeDepth = 16;                    // as deep as ssh itself goes
inline constexpr std::size_t kSshConfigMaxFiles = 256;

// Reads configFile and what it includes ("Include", relative to sshFolder, '~' being home, wildcards in the last
// part of a path). Keywords without regard to case, "Key value" and "Key=value", double quotes, '#' comments, CR
// LF line ends. Each concrete Host alias gets the values of every Host block that matches it (the first value
// of each keyword wins, forwards add up, as ssh reads them); Match blocks and pattern-only Host lines are
// listed, not applied. A file included again inside its own chain is skipped; files beyond the limits above
// are listed as Unreadable. Links are followed (a configuration kept elsewhere is common), but only a regular
// file is read, never a pipe or device, and never waited for. Nothing is written.
std::vector<ImportCandidate> readSshConfig(const std::string& configFile, const std::string& sshFolder,
                                           const std::string& home);

} // namespace quorvane
