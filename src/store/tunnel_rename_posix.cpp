// Moving without replacing on Linux: renameat2 with RENAME_NOREPLACE, so a check-then-move race
// can never clobber what another program just created.
#include "store/tunnel_rename.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace quorvane {

bool moveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: a case-only change of one name must still go through.
    struct stat target {};
    struct stat source {};
    if (::lstat(to.c_str(), &target) == 0 &&
        (::lstat(from.c_str(), &source) != 0 || source.st_ino != target.st_ino || source.st_dev != target.st_dev))
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace quorvane
