// The line-answering TCP service and its client.
#include "support/tcp_service.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvane::test {

namespace {

constexpr size_t kMaxPrefix = 256;
constexpr size_t kMaxLine = 4096;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// One connection, in a process of its own: answers each line until the peer closes. Longer lines are
// answered in pieces. Stack and system calls only: it runs in a fork of a possibly threaded process.
[[noreturn]] void answerLines(int fd, const char* prefix, size_t prefixLength) {
    char reply[kMaxPrefix + kMaxLine + 1];
    std::memcpy(reply, prefix, prefixLength);
    size_t used = prefixLength;
    char buffer[1024];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n' && used < prefixLength + kMaxLine) {
                reply[used++] = buffer[i];
                continue;
            }
            reply[used] = '\n';
            send(fd, reply, used + 1, MSG_NOSIGNAL);
            used = prefixLength;
            if (buffer[i] != '\n')
                reply[used++] = buffer[i];
        }
    }
    _exit(0);
}

[[noreturn]] void serve(int listener, const char* prefix, size_t prefixLength) {
    signal(SIGCHLD, SIG_IGN); // connections that ended are reaped by the system
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0 && errno != EINTR && errno != ECONNABORTED)
            _exit(1);
        if (fd >= 0 && fork() == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // goes with the service
            close(listener);
            answerLines(fd, prefix, prefixLength);
        }
        close(fd);
    }
}

} // namespace

TcpService::TcpService(const std::string& prefix) {
    if (prefix.size() > kMaxPrefix)
        throw std::invalid_argument("answer prefix too long");
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            close(listener);
        throw std::runtime_error("the test service cannot listen on loopback");
    }
    m_port = ntohs(address.sin_port);
    // Listening already, so a client may connect as soon as the constructor returns.
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test process that crashed
        serve(listener, prefix.data(), prefix.size());
    }
    close(listener);
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
}

TcpService::~TcpService() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

// SOCKS5 without authentication: greeting, then CONNECT to 127.0.0.1:target; true once granted.
static bool socksConnect(int fd, int target) {
    const unsigned char greeting[] = {5, 1, 0};
    unsigned char reply[10];
    if (send(fd, greeting, sizeof greeting, MSG_NOSIGNAL) != sizeof greeting || recv(fd, reply, 2, MSG_WAITALL) != 2 ||
        reply[0] != 5 || reply[1] != 0)
        return false;
    const unsigned char request[] = {
        5, 1, 0, 1, 127, 0, 0, 1, static_cast<unsigned char>(target >> 8), static_cast<unsigned char>(target & 0xFF)};
    return send(fd, request, sizeof request, MSG_NOSIGNAL) == sizeof request &&
           recv(fd, reply, sizeof reply, MSG_WAITALL) == sizeof reply && reply[1] == 0;
}

std::optional<std::string> askLine(int port, const std::string& line, int timeoutMs, int socksTarget) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    const int ms = std::max(timeoutMs, 1); // a zero timeout would wait for ever
    const timeval wait{ms / 1000, (ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const sockaddr_in address = loopback(port);
    const std::string request = line + "\n";
    std::string received;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        (socksTarget == 0 || socksConnect(fd, socksTarget)) &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[1024];
        for (ssize_t n; received.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline &&
                        (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            received.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    const auto end = received.find('\n');
    return end == std::string::npos ? std::nullopt : std::optional<std::string>(received.substr(0, end));
}

std::optional<std::string> askLineWithRetry(int port, const std::string& line, int totalMs, int pauseMs,
                                            int socksTarget) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        if (auto reply = askLine(port, line, static_cast<int>(std::min<long long>(left, 2000)), socksTarget))
            return reply;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

} // namespace quorvane::test
