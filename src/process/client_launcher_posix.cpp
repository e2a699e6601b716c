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
#include "process/descriptor_limit.h"
#include "store/file_system.h"

namespace quorvane {

namespace {

constexpr int kSecretDescriptor = 3;
constexpr const char* kSecretFile = "/dev/fd/3";
// The jump host's client is started by the tunnel's and inherits its descriptors.
constexpr int kHopSecretDescriptor = 4;
constexpr const char* kHopSecretFile = "/dev/fd/4";
constexpr const char* kSecretTooLong = "The password is too long to hand to the client";

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

// secretFd and hopSecretFd, when not -1, become the client's descriptors 3 and 4: the read ends of pipes holding
// the secrets. outputFd, when not -1, takes a hidden client's output and errors instead of /dev/null.
[[noreturn]] void runClient(int errorPipe, const char* file, char* const* argv, const char* directory, bool hidden,
                            int secretFd, int hopSecretFd, int outputFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Ignored signals stay ignored across exec; the client must start with the defaults.
    for (int signal = 1; signal < NSIG; ++signal)
        ::signal(signal, SIG_DFL);

    // Out of the way first: the error pipe or the secret may sit on the descriptor the secret needs.
    errorPipe = fcntl(errorPipe, F_DUPFD_CLOEXEC, 10);
    if (errorPipe < 0)
        _exit(127);
    const auto moveUp = [errorPipe](int fd) {
        const int moved = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 10) : -1;
        if (fd >= 0 && moved < 0)
            reportAndExit(errorPipe, errno);
        return moved;
    };
    secretFd = moveUp(secretFd);
    hopSecretFd = moveUp(hopSecretFd);

    if (directory && chdir(directory) != 0)
        reportAndExit(errorPipe, errno);

    const int devNull = open("/dev/null", O_RDWR);
    if (devNull < 0)
        reportAndExit(errorPipe, errno);
    // A terminal window shows its own output; only its diagnostics stay with ours.
    const int lastRedirected = hidden ? 2 : 0;
    for (int fd = 0; fd <= lastRedirected; ++fd) {
        const int source = (fd > 0 && outputFd >= 0) ? outputFd : devNull;
        if (dup2(source, fd) < 0)
            reportAndExit(errorPipe, errno);
    }
    if (devNull > 2)
        close(devNull);
    restoreStartingDescriptorLimit();
    // Sockets and files of this program are none of the client's business; the secrets are (dup2 clears
    // close-on-exec).
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if ((secretFd >= 0 && dup2(secretFd, kSecretDescriptor) < 0) ||
        (hopSecretFd >= 0 && dup2(hopSecretFd, kHopSecretDescriptor) < 0))
        reportAndExit(errorPipe, errno);

    execv(file, argv);
    reportAndExit(errorPipe, errno);
}

// A pipe whose read end holds the secret and whose write end is already closed, so the client reads
// the secret and then the end of file. Nothing reaches the disk, and only this user's processes can
// open /proc/PID/fd of the client.
class SecretPipe {
public:
    ~SecretPipe() {
        if (m_read >= 0)
            close(m_read);
    }
    int readEnd() const { return m_read; }

    // The error text, or nothing on success (also for an empty secret, which needs no pipe).
    std::optional<std::string> fill(const std::string& secret) {
        if (secret.empty())
            return std::nullopt;
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return std::string(std::strerror(errno));
        m_read = ends[0];
        // Written whole before the start: a secret larger than the pipe holds would block.
        const ssize_t written = write(ends[1], secret.data(), secret.size());
        const int error = errno;
        close(ends[1]);
        if (written < 0)
            return std::string(std::strerror(error));
        if (static_cast<std::size_t>(written) != secret.size())
            return std::string(kSecretTooLong);
        // The client reads it with ordinary blocking reads.
        const int flags = fcntl(m_read, F_GETFL);
        fcntl(m_read, F_SETFL, flags & ~O_NONBLOCK);
        return std::nullopt;
    }

private:
    int m_read = -1;
};

class PosixClientLauncher : public ClientLauncher {
public:
    std::string secretFile() override { return kSecretFile; }
    std::string hopSecretFile() override { return kHopSecretFile; }
    ProcessId lastStarted() const override { return m_lastStarted; }

    std::optional<std::string> launch(const LaunchRequest& request) override {
        m_lastStarted = NoProcessId;
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

        SecretPipe secret;
        if (std::optional<std::string> failure = secret.fill(request.secret))
            return failure;
        SecretPipe hopSecret;
        if (std::optional<std::string> failure = hopSecret.fill(request.hopSecret))
            return failure;
        int outputFd = -1;
        if (!request.visible && !request.outputFile.empty()) {
            // Non-blocking, then checked: a pipe swapped into the log's place must hang neither us nor the client.
            outputFd = open(request.outputFile.c_str(),
                            O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
            if (outputFd < 0)
                return std::string(std::strerror(errno));
            struct stat info {};
            if (fstat(outputFd, &info) != 0 || !S_ISREG(info.st_mode)) {
                close(outputFd);
                return request.outputFile + ": not a regular file";
            }
            fcntl(outputFd, F_SETFL, O_APPEND);
        }
        struct OutputCloser {
            int fd;
            ~OutputCloser() {
                if (fd >= 0)
                    close(fd);
            }
        } outputCloser{outputFd};
        // The middle process tells the client's id before it goes.
        int idPipe[2];
        if (pipe2(idPipe, O_CLOEXEC) != 0)
            return std::string(std::strerror(errno));

        int errorPipe[2];
        if (pipe2(errorPipe, O_CLOEXEC) != 0)
            return std::string(std::strerror(errno));

        const pid_t middle = fork();
        if (middle < 0) {
            const int error = errno;
            close(errorPipe[0]);
            close(errorPipe[1]);
            close(idPipe[0]);
            close(idPipe[1]);
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
                runClient(errorPipe[1], file.c_str(), argv.data(), directory, !request.visible, secret.readEnd(),
                          hopSecret.readEnd(), outputFd);
            while (write(idPipe[1], &client, sizeof client) < 0 && errno == EINTR) {
            }
            _exit(0);
        }

        close(errorPipe[1]);
        close(idPipe[1]);
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        // End of file without data means exec succeeded (the pipe closed on exec).
        int error = 0;
        ssize_t got = 0;
        do {
            got = read(errorPipe[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        close(errorPipe[0]);
        pid_t client = -1;
        const bool told = read(idPipe[0], &client, sizeof client) == static_cast<ssize_t>(sizeof client);
        close(idPipe[0]);
        if (got == static_cast<ssize_t>(sizeof error))
            return std::string(std::strerror(error));
        // In a terminal window the started program is the terminal, not the client.
        m_lastStarted = (told && !request.visible) ? static_cast<ProcessId>(client) : NoProcessId;
        return std::nullopt;
    }

private:
    ProcessId m_lastStarted = NoProcessId;
};

} // namespace

std::unique_ptr<ClientLauncher> createSystemLauncher() {
    return std::make_unique<PosixClientLauncher>();
}

} // namespace quorvane
