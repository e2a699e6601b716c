// This benchmark started again as a child process in another mode, so that a figure owes nothing to what the
// parent allocated or loaded.
#pragma once

#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quorvane::bench {

// What the child printed, once it ended well; nothing when it could not start or failed. quietErrors: its
// error output goes nowhere (Qt's remarks about the screenless platform, once per start, would bury the figures).
inline std::optional<std::string> outputOfSelf(const std::vector<std::string>& args, bool quietErrors = false) {
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        if (const int quiet = quietErrors ? open("/dev/null", O_WRONLY) : -1; quiet >= 0)
            dup2(quiet, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>("bench")};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

} // namespace quorvane::bench
