// The private sshd, the test account and plink's host key cache for the real-server tests.
#include "support/ssh_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/test_processes.h"

namespace quorvane::test {

namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kKeygen = "/usr/bin/ssh-keygen";
constexpr const char* kUser = "quorvanetest";
// Fixed, so that tests running in parallel do not change it under each other's feet; no blanks,
// because the program passes it on an unquoted command line.
constexpr const char* kPassword = "Qv7-tunnel-e2e";

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// argv as the exec family wants it; built before fork so the child allocates nothing.
std::vector<char*> execArgs(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    return args;
}

bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Gone means reaped, absent from /proc, or a zombie of some other parent.
bool processGone(pid_t pid) {
    waitpid(pid, nullptr, WNOHANG);
    const std::string stat = readWhole("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty())
        return true;
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

bool waitGone(pid_t pid, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!processGone(pid)) {
        if (Clock::now() >= deadline)
            return false;
        sleepMs(5);
    }
    return true;
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = readWhole(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent)
            children.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return children;
}

// Account tools take a lock on /etc/passwd and /etc/shadow; parallel test runs may meet there.
int runWithRetry(const std::vector<std::string>& argv, const std::string& input, std::string* output) {
    int rc = -1;
    for (int attempt = 0; attempt < 30; ++attempt) {
        rc = runProgram(argv, input, output);
        if (rc == 0)
            return rc;
        sleepMs(100);
    }
    return rc;
}

} // namespace

std::string plinkPath() {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/plink";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string sshPrerequisiteGap() {
    std::string gap;
    if (access(kSshd, X_OK) != 0)
        gap += "no OpenSSH server at /usr/sbin/sshd (install openssh-server); ";
    if (access(kKeygen, X_OK) != 0)
        gap += "no /usr/bin/ssh-keygen (install openssh-client); ";
    if (plinkPath().empty())
        gap += "no plink on PATH (install putty-tools); ";
    if (geteuid() != 0)
        gap += "not root (the test account and sshd need it); ";
    if (!gap.empty())
        gap = "real-server test cannot run: " + gap.substr(0, gap.size() - 2);
    return gap;
}

bool prerequisitesRequired() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

SshServer::SshServer() : m_user(kUser), m_password(kPassword), m_home(m_dir.file("home")) {
    const char* home = std::getenv("HOME");
    m_hadHome = home != nullptr;
    if (home)
        m_savedHome = home;
    try {
        start();
        acceptHostKey();
    } catch (...) {
        stop();
        if (m_hadHome)
            setenv("HOME", m_savedHome.c_str(), 1);
        throw;
    }
}

SshServer::~SshServer() {
    stop();
    if (m_hadHome)
        setenv("HOME", m_savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

std::string SshServer::log() const {
    return readWhole(m_dir.file("sshd.log"));
}

void SshServer::start() {
    std::string output;
    mkdir("/run/sshd", 0755); // privilege separation needs it; it may exist already

    if (!getpwnam(kUser)) {
        runWithRetry({"/usr/sbin/useradd", "-m", kUser}, "", &output);
        if (!getpwnam(kUser))
            throw std::runtime_error("cannot create the account " + std::string(kUser) + ": " + output);
    }
    if (runWithRetry({"/usr/sbin/chpasswd"}, std::string(kUser) + ":" + kPassword + "\n", &output) != 0)
        throw std::runtime_error("cannot set the test account's password: " + output);

    const std::string hostKey = m_dir.file("hostkey");
    if (runProgram({kKeygen, "-q", "-t", "ed25519", "-N", "", "-f", hostKey}, "", &output) != 0)
        throw std::runtime_error("ssh-keygen failed: " + output);
    std::filesystem::create_directories(m_home + "/.putty");

    // A port picked free may be taken again before sshd binds it; try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        const std::string config = m_dir.file("sshd_config");
        std::ofstream(config, std::ios::trunc) << "Port " << m_port << "\n"
                                               << "ListenAddress 127.0.0.1\n"
                                               << "HostKey " << hostKey << "\n"
                                               << "PidFile " << m_dir.file("sshd.pid") << "\n"
                                               << "PasswordAuthentication yes\n"
                                               << "KbdInteractiveAuthentication yes\n"
                                               << "UsePAM yes\n"
                                               << "AllowTcpForwarding yes\n";

        const std::string logFile = m_dir.file("sshd.log");
        const std::vector<std::string> argv{kSshd, "-D", "-e", "-f", config};
        std::vector<char*> args = execArgs(argv);
        m_pid = fork();
        if (m_pid < 0)
            throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            setpgid(0, 0); // keep terminal signals meant for the test runner away from it
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            execv(args[0], args.data());
            _exit(127);
        }

        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (acceptsConnections(m_port))
                return;
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            sleepMs(10);
        }
        if (m_pid > 0)
            throw std::runtime_error("sshd did not listen within 10 s:\n" + log());
        if (log().find("Address already in use") == std::string::npos)
            throw std::runtime_error("sshd ended at start:\n" + log());
    }
    throw std::runtime_error("sshd found no free port:\n" + log());
}

void SshServer::acceptHostKey() {
    setenv("HOME", m_home.c_str(), 1);
    std::string output;
    const int rc = runProgram(
        {plinkPath(), "-ssh", "-P", std::to_string(m_port), "-l", m_user, "-pw", m_password, "127.0.0.1", "exit"},
        "y\n", &output);
    const std::string cache = readWhole(m_home + "/.putty/sshhostkeys");
    if (rc != 0 || cache.find("@" + std::to_string(m_port) + ":127.0.0.1") == std::string::npos)
        throw std::runtime_error("plink could not log in to accept the host key (exit " + std::to_string(rc) + "):\n" +
                                 output + "\nsshd:\n" + log());
}

void SshServer::stop() {
    if (m_pid <= 0)
        return;
    // Sessions are forked per connection and outlive the listener unless told to go as well.
    const std::vector<pid_t> sessions = childrenOf(m_pid);
    kill(m_pid, SIGTERM);
    for (pid_t session : sessions)
        kill(session, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        sleepMs(5);
    }
    m_pid = -1;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile, bool newSession) {
    std::vector<char*> args = execArgs(argv);
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        if (newSession)
            setsid();
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a crashed test leaves no client behind
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(args[0], args.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::running() {
    if (m_reaped)
        return false;
    // -1 means someone else reaped it already (stopProcessesNamed does for its own children).
    if (waitpid(m_pid, nullptr, WNOHANG) != 0)
        m_reaped = true;
    return !m_reaped;
}

int ChildProcess::stop() {
    if (m_pid <= 0 || !running())
        return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        sleepMs(2);
    }
    m_reaped = true;
    return status;
}

int runProgram(const std::vector<std::string>& argv, const std::string& input, std::string* output, int timeoutMs) {
    signal(SIGPIPE, SIG_IGN); // a child that ends before reading its input must not end the tests
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0)
        return -1;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return -1;
    }
    std::vector<char*> args = execArgs(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        dup2(fromChild[1], 2);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (pid > 0 && !input.empty()) {
        const ssize_t written = write(toChild[1], input.data(), input.size());
        (void)written; // a short or failed write shows in the program's answer
    }
    close(toChild[1]);
    if (pid < 0) {
        close(fromChild[0]);
        return -1;
    }

    std::string collected;
    bool timedOut = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fd{fromChild[0], POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(fromChild[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        collected.append(buffer, static_cast<size_t>(n));
    }
    close(fromChild[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (output)
        *output = collected + (timedOut ? "\n(timed out)" : "");
    return !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> splitAtBlanks(const std::string& commandLine) {
    std::vector<std::string> pieces;
    std::istringstream words(commandLine);
    std::string word;
    while (words >> word)
        pieces.push_back(word);
    return pieces;
}

std::vector<pid_t> processesNamed(const std::string& exeName) {
    std::vector<pid_t> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code linkError;
        std::string exe = std::filesystem::read_symlink(entry.path() / "exe", linkError).string();
        if (linkError)
            continue;
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        if (std::filesystem::path(exe).filename() == exeName)
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

int stopProcessesNamed(const std::string& exeName, int timeoutMs) {
    const std::vector<pid_t> pids = processesNamed(exeName);
    for (pid_t pid : pids)
        kill(pid, SIGTERM);
    for (pid_t pid : pids) {
        if (!waitGone(pid, timeoutMs)) {
            kill(pid, SIGKILL);
            waitGone(pid, 1000);
        }
    }
    return static_cast<int>(pids.size());
}

bool waitUntilNoneNamed(const std::string& exeName, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!processesNamed(exeName).empty()) {
        if (Clock::now() >= deadline)
            return false;
        sleepMs(10);
    }
    return true;
}

} // namespace quorvane::test
