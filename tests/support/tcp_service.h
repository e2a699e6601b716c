// A line-answering TCP service on loopback in a child process, and a client for it.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvane::test {

class TcpService {
public:
    // Listens on a free 127.0.0.1 port before returning, then serves in a forked child (each connection
    // in a child of that): every line received is answered with prefix + line + "\n". Throws
    // std::runtime_error when it cannot listen or fork.
    explicit TcpService(const std::string& prefix = "echo:");
    // Stops the child (SIGTERM) and reaps it.
    ~TcpService();
    TcpService(const TcpService&) = delete;
    TcpService& operator=(const TcpService&) = delete;

    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }

private:
    int m_port = 0;
    pid_t m_pid = -1;
};

// Connects to 127.0.0.1:port, sends line + "\n" and returns the first answer line (without "\n").
// Nothing when the connection is refused or closed, or no full line came within timeoutMs. With a
// socksTarget, port is a SOCKS5 proxy asked first to reach 127.0.0.1:socksTarget.
std::optional<std::string> askLine(int port, const std::string& line, int timeoutMs = 2000, int socksTarget = 0);

// askLine again and again, pauseMs apart, until an answer comes or totalMs have passed: a tunnel's
// client needs a moment before its local port forwards.
std::optional<std::string> askLineWithRetry(int port, const std::string& line, int totalMs = 10000, int pauseMs = 50,
                                            int socksTarget = 0);

} // namespace quorvane::test
