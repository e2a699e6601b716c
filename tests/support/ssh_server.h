// A private OpenSSH server on loopback with a password account, for tests that run the real client.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/temp_dir.h"

namespace quorvane::test {

// Why tests against a real server cannot run on this machine (no sshd, no plink, not root), or ""
// when they can.
std::string sshPrerequisiteGap();

// Where plink lives (searched on PATH), or "" when it is not installed.
std::string plinkPath();

// True when the environment variable CI is "true": a missing prerequisite is then a failure.
bool prerequisitesRequired();

// Skips the current test (fails it under CI) when the real server cannot run here.
#define QUORVANE_REQUIRE_SSH_SERVER()                                                                                  \
    do {                                                                                                               \
        const std::string quorvaneGap_ = ::quorvane::test::sshPrerequisiteGap();                                       \
        if (!quorvaneGap_.empty()) {                                                                                   \
            if (::quorvane::test::prerequisitesRequired())                                                             \
                FAIL() << quorvaneGap_;                                                                                \
            GTEST_SKIP() << quorvaneGap_;                                                                              \
        }                                                                                                              \
    } while (0)

class SshServer {
public:
    static constexpr const char* kUser = "quorvanetest"; // the account every test server lets in
    // Creates the test account when missing and sets its password, writes a host key and a config
    // into a private folder, starts sshd in the foreground as a child, waits until it listens, points
    // HOME at a private folder (inherited by every client started later) and accepts the host key
    // into plink's cache there. Throws std::runtime_error with the cause and sshd's log; a server
    // already started is stopped again. extraConfig: sshd_config lines that override the defaults (sshd
    // keeps a keyword's first value); Match blocks among them go last, as sshd requires.
    explicit SshServer(const std::string& extraConfig = {});
    // Stops the server, removes the accounts added to it and restores HOME.
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    int port() const { return m_port; }
    const std::string& user() const { return m_user; }
    const std::string& password() const { return m_password; }
    const std::string& home() const { return m_home; }
    std::string log() const; // what sshd wrote so far
    // The server's host key as plink's -hostkey takes it ("SHA256:…"), for clients with no key cache here.
    std::string hostKeyFingerprint() const;

    // Another account with the same password and the given login shell (an existing one gets that
    // shell); removed with the server. Throws std::runtime_error when it cannot be had.
    void addAccount(const std::string& name, const std::string& shell);

    // The processes of the sessions the server forked so far: each connection's privileged process and
    // its children.
    std::vector<pid_t> sessionProcesses() const;

    // Kills the sessions the server forked (a dropped connection, as the client sees it); the
    // server keeps listening.
    void killSessions();

    // SIGTERM to the server and the sessions it forked, then wait. Idempotent.
    void stop();
    // After stop(): the same server, key and port again, listening before it returns. Throws std::runtime_error.
    void startAgain();

private:
    void start();
    void acceptHostKey();

    TempDir m_dir;
    std::string m_extraConfig;
    std::vector<std::string> m_accounts;
    std::string m_user;
    std::string m_password;
    std::string m_home;
    std::string m_savedHome;
    bool m_hadHome = false;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A program run as a child with input from /dev/null and its output in a file, stopped with SIGTERM
// (SIGKILL after a grace period) and reaped by the destructor.
class ChildProcess {
public:
    // argv[0] is the program's path; newSession starts it in a session of its own, as a detached
    // client is. Throws std::runtime_error when fork fails; a failed exec ends the child with 127.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile = "/dev/null",
                          bool newSession = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    bool running(); // reaps it when it has ended
    int stop();     // exit status as waitpid gives it; -1 when already reaped

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
};

// Runs a program to its end with the given input; returns its exit code (-1 for a signal or a
// timeout, after which it is killed). output receives stdout and stderr together. Throws
// std::runtime_error when fork fails.
int runProgram(const std::vector<std::string>& argv, const std::string& input, std::string* output = nullptr,
               int timeoutMs = 20000);

// Splits a command line at blanks, without quoting rules: the program's command lines hold none.
std::vector<std::string> splitAtBlanks(const std::string& commandLine);

// Ids of the processes whose executable file is named exeName (exact, as /proc/PID/exe shows it).
std::vector<pid_t> processesNamed(const std::string& exeName);
// Each process's status line and command line, to tell apart processes a test did not expect.
std::string describeProcesses(const std::vector<pid_t>& pids);
// Without the processes whose parent is among them: a client's brief fork of itself is not a second client.
std::vector<pid_t> withoutForkedCopies(const std::vector<pid_t>& pids);

// Ends every process named exeName: SIGTERM, up to timeoutMs for them to go, then SIGKILL.
// Returns how many there were.
int stopProcessesNamed(const std::string& exeName, int timeoutMs = 2000);

// Waits until nothing named exeName runs; false on timeout.
bool waitUntilNoneNamed(const std::string& exeName, int timeoutMs);

} // namespace quorvane::test
