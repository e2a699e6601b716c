// Process services on Linux: the /proc process table, pidfd-based close request and forced end.
#include "process/process_services.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace quorvane {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

std::string_view lastComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Reads at most size bytes of dirFd-relative path; -1 when it cannot be opened or read.
ssize_t readSmallFile(int dirFd, const char* path, char* buffer, std::size_t size) {
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<std::size_t>(total) < size) {
        const ssize_t n = read(fd, buffer + total, size - static_cast<std::size_t>(total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    close(fd);
    return total;
}

// Name of one /proc entry, or false when the process is gone or is a zombie. The cheapest
// source comes first so a normal process costs a single readlink.
// executable receives the link's full target when the exe link could be read, else it is cleared.
// kernelThread: the name of the kernel thread this process id was at the last listing, if it was one (a kernel
// thread has no executable file and stays what it is: its name need not be read again); set to whether it is one.
bool processName(int procFd, std::string_view pidText, bool fullPath, std::string& name, std::string& executable,
                 const std::string* knownKernelThread, bool& kernelThread) {
    executable.clear();
    kernelThread = false;
    char path[32];
    const auto entryPath = [&](std::string_view leaf) {
        std::memcpy(path, pidText.data(), pidText.size());
        std::memcpy(path + pidText.size(), leaf.data(), leaf.size());
        path[pidText.size() + leaf.size()] = '\0';
        return path;
    };
    const auto take = [&](std::string_view text) {
        const std::string_view chosen = fullPath ? text : lastComponent(text);
        name.assign(chosen.data(), chosen.size());
    };

    char buffer[PATH_MAX];
    const ssize_t linkLength = readlinkat(procFd, entryPath("/exe"), buffer, sizeof buffer);
    if (linkLength > 0) {
        std::string_view target(buffer, static_cast<std::size_t>(linkLength));
        if (target.ends_with(kDeletedSuffix))
            target.remove_suffix(kDeletedSuffix.size());
        take(target);
        executable.assign(target.data(), target.size());
        return true;
    }
    // No executable to be seen: a kernel thread (hidden from other users as well), a zombie, another user's.
    if (linkLength < 0 && knownKernelThread) {
        name = *knownKernelThread;
        kernelThread = true;
        return true;
    }

    // Other users' executables are hidden without privileges, but their command lines are not.
    const ssize_t cmdLength = readSmallFile(procFd, entryPath("/cmdline"), buffer, sizeof buffer);
    if (cmdLength > 0) {
        const std::string_view all(buffer, static_cast<std::size_t>(cmdLength));
        const std::string_view first = all.substr(0, all.find('\0'));
        if (!lastComponent(first).empty()) {
            take(first);
            return true;
        }
    }

    // Kernel threads and zombies end up here; zombies are not running and must not count.
    const ssize_t statLength = readSmallFile(procFd, entryPath("/stat"), buffer, sizeof buffer);
    if (statLength <= 0)
        return false;
    const std::string_view stat(buffer, static_cast<std::size_t>(statLength));
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return false;
    const std::size_t stateAt = close + 2;
    if (stateAt < stat.size() && (stat[stateAt] == 'Z' || stat[stateAt] == 'X'))
        return false;
    const std::string_view comm = stat.substr(open + 1, close - open - 1);
    name.assign(comm.data(), comm.size());
    // The flags, seventh after the name: PF_KTHREAD marks a kernel thread.
    std::string_view rest = stat.substr(stateAt);
    for (int field = 0; field < 6 && !rest.empty(); ++field)
        rest.remove_prefix(std::min(rest.size(), rest.find(' ') + 1));
    unsigned long flags = 0;
    std::from_chars(rest.data(), rest.data() + rest.size(), flags);
    constexpr unsigned long kKernelThreadFlag = 0x00200000;
    kernelThread = (flags & kKernelThreadFlag) != 0;
    return true;
}

// Owner of a /proc entry: the process's effective user while it is dumpable (clients are).
uid_t ownerOf(int procFd, const char* pidText) {
    struct stat info {};
    if (fstatat(procFd, pidText, &info, 0) != 0)
        return static_cast<uid_t>(-1);
    return info.st_uid;
}

bool parsePid(const char* text, ProcessId& pid, std::string_view& digits) {
    std::uint64_t value = 0;
    std::size_t length = 0;
    for (; text[length] != '\0'; ++length) {
        const char c = text[length];
        if (c < '0' || c > '9' || length >= 10)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (length == 0 || value > UINT32_MAX)
        return false;
    pid = static_cast<ProcessId>(value);
    digits = std::string_view(text, length);
    return true;
}

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() { close(m_fd); }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

// True when the process behind pidFd ended within timeoutMs (negative waits without limit).
bool waitForEnd(int pidFd, std::int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left < 0 ? 0 : static_cast<int>(left);
        }
        pollfd item{pidFd, POLLIN, 0};
        const int ready = poll(&item, 1, wait);
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// A process asked about again and again, held by a pidfd: it cannot be mistaken for a later one of its id.
struct HeldProcess {
    int pidFd = -1;
    std::string executable;
    HeldProcess() = default;
    HeldProcess(int fd, std::string path) : pidFd(fd), executable(std::move(path)) {}
    HeldProcess(HeldProcess&& other) noexcept
        : pidFd(std::exchange(other.pidFd, -1)), executable(std::move(other.executable)) {}
    HeldProcess& operator=(HeldProcess&& other) noexcept {
        std::swap(pidFd, other.pidFd);
        std::swap(executable, other.executable);
        return *this;
    }
    ~HeldProcess() {
        if (pidFd >= 0)
            close(pidFd);
    }
};

class PosixProcessServices : public ProcessServices {
    std::unordered_map<ProcessId, std::string> m_kernelThreads; // of the last listing, by process id
    std::unordered_map<ProcessId, HeldProcess> m_held;          // those KeepRunning was last asked about

public:
    bool ListProcesses(ProcessList& target, bool fullPath) override {
        DIR* proc = opendir("/proc");
        if (!proc)
            return false;
        struct Finish {
            DIR* dir;
            ProcessList& list;
            ~Finish() {
                closedir(dir);
                list.endUpdate();
            }
        };
        target.beginUpdate();
        Finish finish{proc, target};

        const int procFd = dirfd(proc);
        const bool wantsOwn = target.wantsOwnExecutables();
        const uid_t self = geteuid();
        std::string name;
        std::string executable;
        name.reserve(64);
        // Most of a machine's processes are kernel threads: each pass would read two files of each.
        std::unordered_map<ProcessId, std::string> kernelThreads;
        while (const dirent* entry = readdir(proc)) {
            ProcessId pid = 0;
            std::string_view digits;
            if (!parsePid(entry->d_name, pid, digits))
                continue;
            const auto known = m_kernelThreads.find(pid);
            bool kernelThread = false;
            if (!processName(procFd, digits, fullPath, name, executable,
                             known == m_kernelThreads.end() ? nullptr : &known->second, kernelThread))
                continue;
            if (kernelThread)
                kernelThreads.emplace(pid, name);
            if (wantsOwn && !executable.empty() && ownerOf(procFd, entry->d_name) == self)
                target.appendOwnExecutable(pid, executable);
            target.append(name, pid);
        }
        m_kernelThreads = std::move(kernelThreads);
        return true;
    }

    StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) override { return stop(id, timeoutMs, nullptr); }

    bool StillRuns(const OwnProcess& process) override {
        return process.id != 0 && process.id <= static_cast<ProcessId>(INT_MAX) &&
               runsOwnExecutable(process.id, process.executable);
    }

    // Each process is checked by its /proc entry once, then held: the next questions are one poll for all.
    void KeepRunning(std::vector<OwnProcess>& processes) override {
        constexpr int kAskTheLongWay = -2; // no pidfd could be had: StillRuns answers for it
        std::unordered_map<ProcessId, HeldProcess> held;
        std::vector<pollfd> items;
        items.reserve(processes.size());
        for (const OwnProcess& process : processes) {
            int pidFd = -1;
            if (const auto kept = held.find(process.id); kept != held.end()) {
                pidFd = kept->second.executable == process.executable ? kept->second.pidFd : -1;
            } else if (const auto known = m_held.find(process.id);
                       known != m_held.end() && known->second.executable == process.executable) {
                pidFd = known->second.pidFd;
                held.emplace(process.id, std::move(known->second));
                m_held.erase(known);
            } else {
                pidFd = holdNew(process, held);
            }
            // A negative descriptor is skipped by poll and reports nothing.
            items.push_back({pidFd, POLLIN, 0});
        }
        int ready = 0;
        while (!items.empty() && (ready = poll(items.data(), items.size(), 0)) < 0 && errno == EINTR) {
        }
        std::vector<OwnProcess> running;
        running.reserve(processes.size());
        for (std::size_t i = 0; i < processes.size(); ++i) {
            const OwnProcess& process = processes[i];
            bool runs = false;
            if (ready < 0 || items[i].fd == kAskTheLongWay) {
                runs = StillRuns(process); // should poll fail, or no pidfd be had, each is asked the long way
            } else if (items[i].fd >= 0 && items[i].revents != 0) {
                // The held one ended. Its id may already serve a later start of the same client, which the
                // listings since then found: that one is asked afresh.
                held.erase(process.id);
                runs = holdNew(process, held) >= 0;
            } else {
                runs = items[i].fd >= 0;
            }
            if (runs)
                running.push_back(process);
        }
        processes = std::move(running);
        m_held = std::move(held); // those no longer asked about are let go
    }

    StopOutcome StopOwnProcess(ProcessId id, const std::string& executable, std::int32_t timeoutMs) override {
        return executable.empty() ? StopOutcome::Failed : stop(id, timeoutMs, &executable);
    }

    ProcessId ParentOf(ProcessId id) override {
        char buffer[512];
        const std::string path = "/proc/" + std::to_string(id) + "/stat";
        const ssize_t length = readSmallFile(AT_FDCWD, path.c_str(), buffer, sizeof buffer);
        if (length <= 0)
            return NoProcessId;
        // "pid (name) state ppid ...": the name may hold anything, so the fields are found after its last ')'.
        const std::string_view stat(buffer, static_cast<std::size_t>(length));
        const auto close = stat.rfind(')');
        if (close == std::string_view::npos)
            return NoProcessId;
        std::string_view rest = stat.substr(close + 1); // " S ppid ..."
        if (rest.size() < 4 || rest[0] != ' ' || rest[2] != ' ')
            return NoProcessId;
        rest.remove_prefix(3);
        ProcessId parent = 0;
        if (std::from_chars(rest.data(), rest.data() + rest.size(), parent).ec != std::errc() || parent == 0)
            return NoProcessId;
        return parent;
    }

private:
    // Opens a pidfd for the process and checks it runs its executable for this user; the descriptor held, or -1
    // when it does not run it, or -2 when no pidfd could be had (a kernel without them, no descriptor left).
    int holdNew(const OwnProcess& process, std::unordered_map<ProcessId, HeldProcess>& held) {
        if (process.id == 0 || process.id > static_cast<ProcessId>(INT_MAX))
            return -1;
        // Opened before the check: the check is then about the very process held.
        const int opened = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(process.id), 0));
        if (opened < 0)
            return errno == ESRCH ? -1 : -2;
        if (!runsOwnExecutable(process.id, process.executable)) {
            close(opened);
            return -1;
        }
        held.insert_or_assign(process.id, HeldProcess(opened, process.executable));
        return opened;
    }

    // expected, when given: the process must still be this user's, running that executable.
    static StopOutcome stop(ProcessId id, std::int32_t timeoutMs, const std::string* expected) {
        if (id == NoProcessId || id == 0 || id > static_cast<ProcessId>(INT_MAX))
            return StopOutcome::Failed;
        const auto pid = static_cast<pid_t>(id);
        if (pid == getpid())
            return StopOutcome::Failed;
        // A pidfd pins the process: if the id is reused meanwhile, no stranger is signalled.
        const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (pidFd < 0)
            return StopOutcome::Failed;
        FdCloser closer(pidFd);
        // Checked after the pidfd pins the process, so the checked process is the one signalled.
        if (expected && !runsOwnExecutable(id, *expected))
            return StopOutcome::Failed;
        return closeThenKill(pidFd, timeoutMs);
    }

    static StopOutcome closeThenKill(int pidFd, std::int32_t timeoutMs) {
        syscall(SYS_pidfd_send_signal, pidFd, SIGTERM, nullptr, 0);
        if (waitForEnd(pidFd, timeoutMs))
            return StopOutcome::Closed;
        if (syscall(SYS_pidfd_send_signal, pidFd, SIGKILL, nullptr, 0) != 0)
            return StopOutcome::Failed;
        // The signal is only queued: a listing taken right after could still show the process.
        waitForEnd(pidFd, kForcedEndWaitMs);
        return StopOutcome::Killed;
    }

    static bool runsOwnExecutable(ProcessId id, const std::string& executable) {
        const std::string folder = "/proc/" + std::to_string(id);
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || info.st_uid != geteuid())
            return false;
        char buffer[PATH_MAX];
        const ssize_t length = readlink((folder + "/exe").c_str(), buffer, sizeof buffer);
        if (length <= 0)
            return false;
        std::string_view target(buffer, static_cast<std::size_t>(length));
        if (target.ends_with(kDeletedSuffix))
            target.remove_suffix(kDeletedSuffix.size());
        return target == executable;
    }
};

} // namespace

std::unique_ptr<ProcessServices> createSystemProcessServices() {
    return std::make_unique<PosixProcessServices>();
}

} // namespace quorvane
