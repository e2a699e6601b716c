// Running a program and waiting for it on POSIX: fork and exec, a pidfd to wait with a time limit.
#include "process/program_runner.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "process/command_line.h"
#include "process/descriptor_limit.h"

namespace quorvane {

ProgramRun runProgramAndWait(const std::string& commandLine, const std::string& directory, int timeoutMs) {
    ProgramRun run;
    std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
    if (arguments.empty()) {
        run.error = std::strerror(ENOENT);
        return run;
    }
    const std::string path = findProgram(arguments.front(), directory);
    if (path.empty() || ::access(path.c_str(), X_OK) != 0) {
        run.error = std::strerror(path.empty() ? ENOENT : errno);
        return run;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        run.error = std::strerror(errno);
        return run;
    }
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2 && devNull >= 0; ++fd)
            ::dup2(devNull, fd);
        restoreStartingDescriptorLimit();
        ::close_range(3, ~0U, 0);
        if (!directory.empty() && ::chdir(directory.c_str()) != 0)
            ::_exit(127);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    run.started = true;
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{pidFd, POLLIN, 0};
    const bool inTime = pidFd >= 0 && ::poll(&ended, 1, timeoutMs) > 0;
    if (pidFd >= 0)
        ::close(pidFd);
    if (!inTime)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.finished = inTime;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return run;
}

} // namespace quorvane
