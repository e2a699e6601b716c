// KeyGenerator on POSIX: puttygen runs without a shell or terminal; the passphrase reaches it through a pipe.
#include "process/key_generator.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process/descriptor_limit.h"

namespace quorvane {

namespace {

constexpr int kPassphraseDescriptor = 3;
constexpr const char* kPassphraseFile = "/dev/fd/3";
// A 4096-bit RSA key takes seconds; this only keeps a stuck puttygen from holding the caller for ever.
constexpr int kTimeoutMs = 5 * 60 * 1000;
// A conversion takes a moment; puttygen spins on some damaged key files, and the user waits meanwhile.
constexpr int kConversionTimeoutMs = 10 * 1000;

std::string systemError(int error) {
    return std::strerror(error);
}

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// Both ends close on exec; the child moves the end it needs onto its standard descriptor.
std::optional<std::string> makePipe(Descriptor& readEnd, Descriptor& writeEnd, int flags = 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | flags) != 0)
        return systemError(errno);
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    return std::nullopt;
}

// A pipe holding the passphrase with its write end closed: puttygen reads it, then the end of file.
// Nothing reaches the disk, and only this user's processes can open the child's /dev/fd. An empty
// passphrase gives an empty pipe, which puttygen takes for "no passphrase".
std::optional<std::string> passphrasePipe(const std::string& passphrase, Descriptor& readEnd) {
    Descriptor writeEnd;
    if (auto failure = makePipe(readEnd, writeEnd, O_NONBLOCK))
        return failure;
    // Written whole before the start: a passphrase larger than the pipe holds would block.
    if (!passphrase.empty()) {
        const ssize_t written = write(writeEnd.get(), passphrase.data(), passphrase.size());
        if (written < 0)
            return systemError(errno);
        if (static_cast<std::size_t>(written) != passphrase.size())
            return std::string("The passphrase is too long");
    }
    const int flags = fcntl(readEnd.get(), F_GETFL);
    fcntl(readEnd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return std::nullopt;
}

// Only async-signal-safe calls from here on: the caller is a child of a possibly threaded program.
[[noreturn]] void reportAndExit(int errorPipe, int error) {
    while (write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

[[noreturn]] void runChild(int errorPipe, const char* file, char* const* argv, int outputFd, int errorFd,
                           int passphraseFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal)
        ::signal(signal, SIG_DFL);
    // No controlling terminal: a passphrase prompt fails at once instead of waiting for a person.
    setsid();

    // Out of the way first: any of them may sit on a descriptor another one needs.
    errorPipe = fcntl(errorPipe, F_DUPFD_CLOEXEC, 10);
    if (errorPipe < 0)
        _exit(127);
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0)
        reportAndExit(errorPipe, errno);
    const int sources[] = {devNull, outputFd, errorFd, passphraseFd};
    int moved[4];
    for (int target = 0; target < 4; ++target) {
        moved[target] = sources[target] < 0 ? -1 : fcntl(sources[target], F_DUPFD_CLOEXEC, 10);
        if (sources[target] >= 0 && moved[target] < 0)
            reportAndExit(errorPipe, errno);
    }
    for (int target = 0; target < 4; ++target)
        if (moved[target] >= 0 && dup2(moved[target], target) < 0) // dup2 clears close-on-exec
            reportAndExit(errorPipe, errno);
    restoreStartingDescriptorLimit();
    close_range(passphraseFd >= 0 ? kPassphraseDescriptor + 1 : kPassphraseDescriptor, ~0U, CLOSE_RANGE_CLOEXEC);

    execv(file, argv);
    reportAndExit(errorPipe, errno);
}

struct Run {
    std::string startError; // not empty: puttygen did not start
    std::string output;
    std::string errors;
    bool ended = false; // false: stopped after timeoutMs
    int timeoutMs = 0;
    int status = 0; // as waitpid tells
};

Run runPuttygen(const std::string& program, std::vector<std::string> arguments, int passphraseFd,
                int timeoutMs = kTimeoutMs) {
    Run run;
    run.timeoutMs = timeoutMs;
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    Descriptor outputRead, outputWrite, errorsRead, errorsWrite, startRead, startWrite;
    for (auto [readEnd, writeEnd] : {std::pair{&outputRead, &outputWrite}, std::pair{&errorsRead, &errorsWrite},
                                     std::pair{&startRead, &startWrite}}) {
        if (auto failure = makePipe(*readEnd, *writeEnd)) {
            run.startError = *failure;
            return run;
        }
    }

    const pid_t child = fork();
    if (child < 0) {
        run.startError = systemError(errno);
        return run;
    }
    if (child == 0)
        runChild(startWrite.get(), argv[0], argv.data(), outputWrite.get(), errorsWrite.get(), passphraseFd);
    outputWrite.reset();
    errorsWrite.reset();
    startWrite.reset();

    // End of file without data means exec succeeded (the pipe closed on exec).
    int error = 0;
    ssize_t got = 0;
    do {
        got = read(startRead.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof error))
        run.startError = systemError(error);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd streams[] = {{outputRead.get(), POLLIN, 0}, {errorsRead.get(), POLLIN, 0}};
    std::string* texts[] = {&run.output, &run.errors};
    bool timedOut = false;
    while (run.startError.empty() && (streams[0].fd >= 0 || streams[1].fd >= 0)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        const int ready = poll(streams, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            kill(child, SIGKILL); // nobody would read what it writes
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t count = read(streams[i].fd, buffer, sizeof buffer);
            if (count > 0)
                texts[i]->append(buffer, static_cast<std::size_t>(count));
            else if (count == 0 || errno != EINTR)
                streams[i].fd = -1; // negative: poll skips it
        }
    }
    while (waitpid(child, &run.status, 0) < 0 && errno == EINTR) {
    }
    run.ended = !timedOut;
    return run;
}

// puttygen's own words for what went wrong: its last non-empty line of errors.
std::string failureText(const Run& run) {
    if (!run.startError.empty())
        return "puttygen could not be started: " + run.startError;
    if (!run.ended)
        return "puttygen did not finish within " + std::to_string(run.timeoutMs / 1000) + " seconds";
    const std::size_t end = run.errors.find_last_not_of(" \r\n\t");
    if (end != std::string::npos) {
        const std::size_t lineBreak = run.errors.find_last_of('\n', end);
        const std::size_t start = lineBreak == std::string::npos ? 0 : lineBreak + 1;
        return run.errors.substr(start, end + 1 - start);
    }
    if (WIFSIGNALED(run.status))
        return "puttygen was ended by signal " + std::to_string(WTERMSIG(run.status));
    return "puttygen ended with exit code " + std::to_string(WEXITSTATUS(run.status));
}

bool succeeded(const Run& run) {
    return run.startError.empty() && run.ended && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

KeyResult failed(std::string error) {
    KeyResult result;
    result.error = std::move(error);
    return result;
}

// Claimed before puttygen runs, so a file that appears meanwhile is not replaced either; puttygen then writes
// into this empty file, which only the user can read. The error when it cannot be.
std::optional<std::string> reserve(const std::string& file) {
    const int reserved = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (reserved < 0)
        return errno == EEXIST ? "The file " + file + " already exists" : systemError(errno);
    close(reserved);
    return std::nullopt;
}

} // namespace

bool keyGenerationAvailable() {
    return true;
}

KeyResult generateKey(const std::string& puttygenPath, const KeyRequest& request) {
    if (auto problem = checkKeyRequest(request))
        return failed(*problem);
    if (auto problem = reserve(request.outputFile))
        return failed(*problem);

    Descriptor passphrase;
    Run generation;
    if (auto failure = passphrasePipe(request.passphrase, passphrase))
        generation.startError = *failure;
    else
        generation = runPuttygen(puttygenPath, generationArguments(request, kPassphraseFile), passphrase.get());
    passphrase.reset();
    if (!succeeded(generation)) {
        unlink(request.outputFile.c_str());
        return failed(failureText(generation));
    }

    const Run publicKey = runPuttygen(puttygenPath, publicKeyArguments(request.outputFile), -1);
    if (!succeeded(publicKey))
        return failed(failureText(publicKey));
    KeyResult result;
    const std::string line = publicKey.output.substr(0, publicKey.output.find('\n'));
    const std::size_t end = line.find_last_not_of(" \r\t");
    if (end == std::string::npos)
        return failed("puttygen gave no public key");
    result.ok = true;
    result.publicKeyLine = line.substr(0, end + 1);
    return result;
}

KeyResult convertKey(const std::string& puttygenPath, const std::string& keyFile, const std::string& target) {
    if (auto problem = reserve(target))
        return failed(*problem);
    const Run conversion = runPuttygen(puttygenPath, conversionArguments(keyFile, target), -1, kConversionTimeoutMs);
    if (!succeeded(conversion)) {
        unlink(target.c_str());
        return failed(failureText(conversion));
    }
    KeyResult result;
    result.ok = true;
    return result;
}

} // namespace quorvane
