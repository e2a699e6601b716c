// Starting a client on POSIX: detached by a double fork, hidden on /dev/null or inside a terminal window.
#include "process/client_launcher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "process/command_line.h"
#include "store/file_system.h"

namespace quorvane {

namespace {

constexpr const char* kNoTerminal = "No terminal emulator found (x-terminal-emulator, xterm)";

// Runs the program given as its arguments, then keeps the window open until Enter, so what a client
// (or the key generator) printed before it ended can still be read.
constexpr const char* kHoldWindowScript =
    "\"$@\"; status=$?; printf '\\n--- %s ended (exit code %d). Press Enter to close this window. ---\\n' "
    "\"$1\" \"$status\"; read -r _";

// Only async-signal-safe calls from here on: the caller is a child of a possibly threaded program.
[[noreturn]] void reportAndExit(int errorPipe, int error) {
    while (write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

[[noreturn]] void runClient(int errorPipe, const char* file, char* const* argv, const char* directory, bool hidden) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Ignored signals stay ignored across exec; the client must start with the defaults.
    for (int signal = 1; signal < NSIG; ++signal)
        ::signal(signal, SIG_DFL);

    if (directory && chdir(directory) != 0)
        reportAndExit(errorPipe, errno);

    const int devNull = open("/dev/null", O_RDWR);
    if (devNull < 0)
        reportAndExit(errorPipe, errno);
    // A terminal window shows its own output; only its diagnostics stay with ours.
    const int lastRedirected = hidden ? 2 : 0;
    for (int fd = 0; fd <= lastRedirected; ++fd) {
        if (dup2(devNull, fd) < 0)
            reportAndExit(errorPipe, errno);
    }
    if (devNull > 2)
        close(devNull);
    // Sockets and files of this program are none of the client's business.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);

    execv(file, argv);
    reportAndExit(errorPipe, errno);
}

class PosixClientLauncher : public ClientLauncher {
public:
    std::optional<std::string> launch(const LaunchRequest& request) override {
        std::vector<std::string> arguments;
        std::string file = request.executable;
        if (request.visible) {
            std::string terminal = fs::findOnPath("x-terminal-emulator");
            if (terminal.empty())
                terminal = fs::findOnPath("xterm");
            if (terminal.empty())
                return std::string(kNoTerminal);
            // The terminal would report a missing client only in its own window, which closes at once.
            std::string client = request.executable;
            if (!client.empty() && client.front() != '/' && !request.directory.empty())
                client = request.directory + "/" + client;
            if (access(client.c_str(), X_OK) != 0)
                return std::string(std::strerror(errno));
            arguments = {terminal, "-e", "/bin/sh", "-c", kHoldWindowScript, "quorvane", request.executable};
            file = terminal;
        } else {
            arguments = {request.executable};
        }
        for (std::string& argument : splitWindowsCommandLine(request.parameters))
            arguments.push_back(std::move(argument));

        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const char* directory = request.directory.empty() ? nullptr : request.directory.c_str();

        int errorPipe[2];
        if (pipe2(errorPipe, O_CLOEXEC) != 0)
            return std::string(std::strerror(errno));

        const pid_t middle = fork();
        if (middle < 0) {
            const int error = errno;
            close(errorPipe[0]);
            close(errorPipe[1]);
            return std::string(std::strerror(error));
        }
        if (middle == 0) {
            // The middle process exits at once, so the client is adopted by init and never
            // becomes a zombie of ours, and it outlives this program.
            close(errorPipe[0]);
            setsid();
            const pid_t client = fork();
            if (client < 0)
                reportAndExit(errorPipe[1], errno);
            if (client == 0)
                runClient(errorPipe[1], file.c_str(), argv.data(), directory, !request.visible);
            _exit(0);
        }

        close(errorPipe[1]);
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        // End of file without data means exec succeeded (the pipe closed on exec).
        int error = 0;
        ssize_t got = 0;
        do {
            got = read(errorPipe[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        close(errorPipe[0]);
        if (got == static_cast<ssize_t>(sizeof error))
            return std::string(std::strerror(error));
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<ClientLauncher> createSystemLauncher() {
    return std::make_unique<PosixClientLauncher>();
}

} // namespace quorvane
