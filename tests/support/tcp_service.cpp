// The line-answering TCP service and its client.
#include "support/tcp_service.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvane::test {

namespace {

constexpr int kMaxConnections = 32;
constexpr size_t kMaxLine = 4096;

struct Connection {
    int fd = -1;
    size_t used = 0;
    char line[kMaxLine];
};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

void answer(int fd, const char* prefix, size_t prefixLength, const char* line, size_t length) {
    static char reply[256 + kMaxLine + 1];
    std::memcpy(reply, prefix, prefixLength);
    std::memcpy(reply + prefixLength, line, length);
    reply[prefixLength + length] = '\n';
    send(fd, reply, prefixLength + length + 1, MSG_NOSIGNAL);
}

// Runs in the forked child of a possibly multi-threaded test process: system calls and static
// storage only, no allocation.
[[noreturn]] void serve(int listener, const char* prefix, size_t prefixLength) {
    static Connection connections[kMaxConnections];
    pollfd fds[kMaxConnections + 1];
    int slotOf[kMaxConnections + 1];
    for (;;) {
        int count = 0;
        fds[count++] = pollfd{listener, POLLIN, 0};
        for (int i = 0; i < kMaxConnections; ++i) {
            if (connections[i].fd >= 0) {
                slotOf[count] = i;
                fds[count++] = pollfd{connections[i].fd, POLLIN, 0};
            }
        }
        if (poll(fds, static_cast<nfds_t>(count), -1) < 0) {
            if (errno == EINTR)
                continue;
            _exit(1);
        }
        if (fds[0].revents & POLLIN) {
            const int fd = accept(listener, nullptr, nullptr);
            int slot = 0;
            while (slot < kMaxConnections && connections[slot].fd >= 0)
                ++slot;
            if (fd >= 0 && slot < kMaxConnections) {
                connections[slot].fd = fd;
                connections[slot].used = 0;
            } else if (fd >= 0) {
                close(fd);
            }
        }
        for (int k = 1; k < count; ++k) {
            if (!fds[k].revents)
                continue;
            Connection& connection = connections[slotOf[k]];
            char buffer[1024];
            const ssize_t n = read(connection.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(connection.fd);
                connection.fd = -1;
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n' && connection.used < kMaxLine) {
                    connection.line[connection.used++] = buffer[i];
                    continue;
                }
                answer(connection.fd, prefix, prefixLength, connection.line, connection.used);
                connection.used = 0;
                if (buffer[i] != '\n')
                    connection.line[connection.used++] = buffer[i];
            }
        }
    }
}

} // namespace

TcpService::TcpService(const std::string& prefix) {
    if (prefix.size() > 256)
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

std::optional<std::string> askLine(int port, const std::string& line, int timeoutMs) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    const sockaddr_in address = loopback(port);
    std::optional<std::string> result;
    const std::string request = line + "\n";
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        std::string received;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            pollfd ready{fd, POLLIN, 0};
            if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[1024];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<size_t>(n));
            if (const auto end = received.find('\n'); end != std::string::npos) {
                result = received.substr(0, end);
                break;
            }
        }
    }
    close(fd);
    return result;
}

std::optional<std::string> askLineWithRetry(int port, const std::string& line, int totalMs, int pauseMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        if (auto reply = askLine(port, line, static_cast<int>(std::min<long long>(left, 2000))))
            return reply;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

} // namespace quorvane::test
