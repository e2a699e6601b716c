// The private sshd, the test account and plink's host key cache for the real-server tests.
#include "support/ssh_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "store/file_system.h"
#include "support/test_processes.h"

namespace quorvane::test {

namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kKeygen = "/usr/bin/ssh-keygen";
constexpr const char* kUser = SshServer::kUser;
// Blanks, quotes and backslashes: the password must reach the client whole, through its private file.
// The same for every test process (see freshPassword), so servers in parallel agree on it.
constexpr const char* kPassword = "Qv7 open \"sesame\" \\e2e\\";

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Asks done() every few milliseconds until it holds (true) or timeoutMs have passed (false).
template <class Done> bool waitUntil(Done done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Forks and runs argv with standard input from inputFile and both outputs into outputFile. The
// child ends with this process, and ends with 127 when the program cannot run.
pid_t spawn(const std::vector<std::string>& argv, const std::string& inputFile, const std::string& outputFile,
            bool newSession) {
    std::vector<char*> args; // built before fork: the child of a threaded process must not allocate
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (newSession)
            setsid();                     // also keeps terminal signals meant for the test runner away from it
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a crashed test leaves nothing behind
        const int in = open(inputFile.c_str(), O_RDONLY);
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// SIGTERM, SIGKILL after graceMs, and the exit status as waitpid gives it.
int terminate(pid_t pid, int graceMs) {
    kill(pid, SIGTERM);
    int status = 0;
    if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }, graceMs)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return status;
}

bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

std::vector<pid_t> allProcesses() {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos)
            pids.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return pids;
}

// The fields of /proc/PID/stat after the command name ("S 1 ..."), or "" when the process is gone.
std::string statFields(pid_t pid) {
    const std::string stat = readWhole("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? std::string() : stat.substr(close + 2);
}

// Gone means reaped, absent from /proc, or a zombie of some other parent.
bool processGone(pid_t pid) {
    waitpid(pid, nullptr, WNOHANG);
    const std::string fields = statFields(pid);
    return fields.empty() || fields[0] == 'Z';
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (pid_t pid : allProcesses()) {
        std::istringstream fields(statFields(pid));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent)
            children.push_back(pid);
    }
    return children;
}

// Account tools take a lock on /etc/passwd and /etc/shadow; parallel test runs may meet there.
int runWithRetry(const std::vector<std::string>& argv, const std::string& input, std::string* output) {
    int rc = -1;
    for (int attempt = 0; attempt < 30 && (rc = runProgram(argv, input, output)) != 0; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return rc;
}

} // namespace

std::string plinkPath() {
    return fs::findOnPath("plink");
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
    return gap.empty() ? gap : "real-server test cannot run: " + gap.substr(0, gap.size() - 2);
}

bool prerequisitesRequired() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// A part drawn once per machine and kept where only root can read it: a password spelled out in a
// binary could be found wherever the binary is copied, and every test process must agree on it.
static std::string freshPassword() {
    const char* kept = "/run/quorvane-test-password";
    std::string suffix = readWhole(kept);
    if (suffix.empty()) {
        std::random_device random;
        char drawn[16];
        std::snprintf(drawn, sizeof drawn, "%08x", static_cast<unsigned>(random()));
        const int fd = ::open(kept, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            (void)!::write(fd, drawn, std::strlen(drawn));
            ::close(fd);
        }
        // Whoever created it first wins; everyone reads the same.
        for (int i = 0; i < 100 && (suffix = readWhole(kept)).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string(kPassword) + suffix;
}

SshServer::SshServer(const std::string& extraConfig)
    : m_extraConfig(extraConfig), m_user(kUser), m_password(freshPassword()), m_home(m_dir.file("home")) {
    if (const char* home = std::getenv("HOME")) {
        m_hadHome = true;
        m_savedHome = home;
    }
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
    // Its sessions may take a moment to end, and an account in use cannot be removed.
    for (const std::string& account : m_accounts)
        runWithRetry({"/usr/sbin/userdel", "-r", account}, "", nullptr);
    if (m_hadHome)
        setenv("HOME", m_savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

std::string SshServer::log() const {
    return readWhole(m_dir.file("sshd.log"));
}

std::string SshServer::hostKeyFingerprint() const {
    std::string output;
    if (runProgram({kKeygen, "-l", "-E", "sha256", "-f", m_dir.file("hostkey.pub")}, "", &output) != 0)
        throw std::runtime_error("cannot read the host key's fingerprint: " + output);
    const std::size_t start = output.find("SHA256:");
    return start == std::string::npos ? std::string() : output.substr(start, output.find(' ', start) - start);
}

void SshServer::start() {
    std::string output;
    mkdir("/run/sshd", 0755); // privilege separation needs it; it may exist already
    if (!getpwnam(kUser)) {
        runWithRetry({"/usr/sbin/useradd", "-m", kUser}, "", &output);
        if (!getpwnam(kUser))
            throw std::runtime_error("cannot create the account " + std::string(kUser) + ": " + output);
    }
    if (runWithRetry({"/usr/sbin/chpasswd"}, std::string(kUser) + ":" + m_password + "\n", &output) != 0)
        throw std::runtime_error("cannot set the test account's password: " + output);
    const std::string hostKey = m_dir.file("hostkey");
    if (runProgram({kKeygen, "-q", "-t", "ed25519", "-N", "", "-f", hostKey}, "", &output) != 0)
        throw std::runtime_error("ssh-keygen failed: " + output);
    std::filesystem::create_directories(m_home + "/.putty");

    // The test's own settings first, so they win; Match blocks last, since they run to the file's end.
    std::size_t match = m_extraConfig.find("Match ");
    while (match != std::string::npos && match != 0 && m_extraConfig[match - 1] != '\n')
        match = m_extraConfig.find("Match ", match + 1);
    const std::string settings = m_extraConfig.substr(0, match) + "\n";
    const std::string matchBlocks = match == std::string::npos ? "" : m_extraConfig.substr(match) + "\n";

    // A port picked free may be taken again before sshd binds it; try a few.
    const std::string config = m_dir.file("sshd_config");
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        std::ofstream(config, std::ios::trunc)
            << settings << "Port " << m_port << "\nListenAddress 127.0.0.1\nHostKey " << hostKey << "\nPidFile "
            << m_dir.file("sshd.pid")
            << "\nPasswordAuthentication yes\nKbdInteractiveAuthentication yes\nUsePAM yes\nAllowTcpForwarding yes\n"
            << matchBlocks;
        m_pid = spawn({kSshd, "-D", "-e", "-f", config}, "/dev/null", m_dir.file("sshd.log"), true);
        bool ended = false;
        const bool settled = waitUntil(
            [&] { return (ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid) || acceptsConnections(m_port); }, 10000);
        if (settled && !ended)
            return;
        if (!ended)
            throw std::runtime_error("sshd did not listen within 10 s:\n" + log());
        m_pid = -1;
        if (log().find("Address already in use") == std::string::npos)
            throw std::runtime_error("sshd ended at start:\n" + log());
    }
    throw std::runtime_error("sshd found no free port:\n" + log());
}

void SshServer::acceptHostKey() {
    setenv("HOME", m_home.c_str(), 1);
    // From a file in the server's private folder: a command line is readable by every user.
    const std::string passwordFile = m_dir.file("password");
    m_dir.write("password", m_password);
    std::string output;
    const int rc = runProgram(
        {plinkPath(), "-ssh", "-P", std::to_string(m_port), "-l", m_user, "-pwfile", passwordFile, "127.0.0.1", "exit"},
        "y\n", &output);
    const std::string cache = readWhole(m_home + "/.putty/sshhostkeys");
    if (rc != 0 || cache.find("@" + std::to_string(m_port) + ":127.0.0.1") == std::string::npos)
        throw std::runtime_error("plink could not log in to accept the host key (exit " + std::to_string(rc) + "):\n" +
                                 output + "\nsshd:\n" + log());
}

void SshServer::addAccount(const std::string& name, const std::string& shell) {
    std::string output;
    const std::vector<std::string> make = getpwnam(name.c_str())
                                              ? std::vector<std::string>{"/usr/sbin/usermod", "-s", shell, name}
                                              : std::vector<std::string>{"/usr/sbin/useradd", "-m", "-s", shell, name};
    if (runWithRetry(make, "", &output) != 0)
        throw std::runtime_error("cannot create the account " + name + ": " + output);
    m_accounts.push_back(name);
    if (runWithRetry({"/usr/sbin/chpasswd"}, name + ":" + m_password + "\n", &output) != 0)
        throw std::runtime_error("cannot set the password of " + name + ": " + output);
}

std::vector<pid_t> SshServer::sessionProcesses() const {
    if (m_pid <= 0)
        return {};
    // Each session is a privileged process with an unprivileged child: both hold the connection.
    std::vector<pid_t> tree = childrenOf(m_pid);
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (pid_t child : childrenOf(tree[i]))
            tree.push_back(child);
    }
    return tree;
}

void SshServer::killSessions() {
    for (pid_t process : sessionProcesses())
        kill(process, SIGKILL);
}

void SshServer::stop() {
    if (m_pid <= 0)
        return;
    // Sessions are forked per connection and outlive the listener unless told to go as well.
    for (pid_t session : childrenOf(m_pid))
        kill(session, SIGTERM);
    terminate(m_pid, 5000);
    m_pid = -1;
}

void SshServer::startAgain() {
    if (m_pid > 0)
        return;
    m_pid = spawn({kSshd, "-D", "-e", "-f", m_dir.file("sshd_config")}, "/dev/null", m_dir.file("sshd.log"), true);
    bool ended = false;
    const bool settled = waitUntil(
        [&] { return (ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid) || acceptsConnections(m_port); }, 10000);
    if (!settled || ended) {
        m_pid = ended ? -1 : m_pid;
        throw std::runtime_error("sshd did not listen again:\n" + log());
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile, bool newSession)
    : m_pid(spawn(argv, "/dev/null", outputFile, newSession)) {}

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::running() {
    // -1 means someone else reaped it already (stopProcessesNamed does for its own children).
    if (!m_reaped && waitpid(m_pid, nullptr, WNOHANG) != 0)
        m_reaped = true;
    return !m_reaped;
}

int ChildProcess::stop() {
    if (!running())
        return -1;
    m_reaped = true;
    return terminate(m_pid, 3000);
}

int runProgram(const std::vector<std::string>& argv, const std::string& input, std::string* output, int timeoutMs) {
    TempDir files;
    files.write("input", input);
    const pid_t pid = spawn(argv, files.file("input"), files.file("output"), false);
    int status = 0;
    const bool ended = waitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }, timeoutMs);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (output)
        *output = files.read("output") + (ended ? "" : "\n(timed out)");
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> splitAtBlanks(const std::string& commandLine) {
    std::vector<std::string> pieces;
    std::istringstream words(commandLine);
    for (std::string word; words >> word;)
        pieces.push_back(word);
    return pieces;
}

std::vector<pid_t> processesNamed(const std::string& exeName) {
    std::vector<pid_t> found;
    for (pid_t pid : allProcesses()) {
        std::error_code error;
        std::string exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
        if (exe.ends_with(" (deleted)"))
            exe.resize(exe.size() - std::string(" (deleted)").size());
        if (!error && std::filesystem::path(exe).filename() == exeName)
            found.push_back(pid);
    }
    return found;
}

std::string describeProcesses(const std::vector<pid_t>& pids) {
    std::string text;
    for (const pid_t pid : pids) {
        const std::string folder = "/proc/" + std::to_string(pid);
        std::string stat;
        std::getline(std::ifstream(folder + "/stat"), stat);
        std::string commandLine;
        std::getline(std::ifstream(folder + "/cmdline"), commandLine);
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        text += stat + "\n  " + commandLine + "\n";
    }
    return text;
}

std::vector<pid_t> withoutForkedCopies(const std::vector<pid_t>& pids) {
    std::vector<pid_t> kept;
    for (const pid_t pid : pids) {
        std::string stat;
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
        const auto close = stat.rfind(')');
        const pid_t parent = close == std::string::npos ? 0 : std::atoi(stat.c_str() + close + 4);
        if (std::find(pids.begin(), pids.end(), parent) == pids.end())
            kept.push_back(pid);
    }
    return kept;
}

int stopProcessesNamed(const std::string& exeName, int timeoutMs) {
    const std::vector<pid_t> pids = processesNamed(exeName);
    for (pid_t pid : pids)
        kill(pid, SIGTERM);
    for (pid_t pid : pids) {
        if (!waitUntil([pid] { return processGone(pid); }, timeoutMs)) {
            kill(pid, SIGKILL);
            waitUntil([pid] { return processGone(pid); }, 1000);
        }
    }
    return static_cast<int>(pids.size());
}

bool waitUntilNoneNamed(const std::string& exeName, int timeoutMs) {
    return waitUntil([&] { return processesNamed(exeName).empty(); }, timeoutMs);
}

} // namespace quorvane::test
