// Real child processes with chosen executable names, ended and reaped by the destructor.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvane::test {

class NamedProcess {
public:
    // Copies the sleeper program to folder/exeName and starts it (it sleeps for `seconds`).
    NamedProcess(const std::string& folder, const std::string& exeName, int seconds = 60);
    ~NamedProcess();
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    pid_t pid() const { return m_pid; }
    const std::string& path() const { return m_path; }
    bool running() const;    // reaps it if it has ended
    bool waitForEnd(int ms); // true when it ended within ms (and is reaped)

private:
    std::string m_path;
    pid_t m_pid = -1;
    mutable bool m_reaped = false;
    void* m_handle = nullptr; // Windows: the process handle, closed by the destructor
};

// Copies the sleeper program to path (executable).
void copySleeper(const std::string& path);

// A free TCP port on 127.0.0.1.
int freeLoopbackPort();

} // namespace quorvane::test
