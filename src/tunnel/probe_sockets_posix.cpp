// Probe sockets on POSIX systems: non-blocking connects, looked at with poll() and a zero timeout.
#include "tunnel/probe_sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace quorvane {

namespace {

constexpr std::size_t kMaxFirstBytes = 64;

// address:port as a socket address; false when address is no IP literal or port is out of range.
bool toSocketAddress(const std::string& address, int port, sockaddr_storage& target, socklen_t& size) {
    if (port < 1 || port > 65535)
        return false;
    target = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        size = sizeof *v4;
        return true;
    }
    if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        size = sizeof *v6;
        return true;
    }
    return false;
}

// What a socket error says about the far end.
ProbeSockets::State stateOfError(int error) {
    if (error == EINPROGRESS || error == EALREADY || error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return ProbeSockets::State::Pending;
    // Only a far end that was reached can reset or abort the connection.
    if (error == ECONNRESET || error == ECONNABORTED || error == EPIPE)
        return ProbeSockets::State::Answered;
    return ProbeSockets::State::Refused; // refused, unreachable, timed out: the connection was never made
}

// One look at a socket still pending, without waiting. The far end's first bytes are read only when wanted
// (heard set then): a check that only asks whether it answered costs no read.
ProbeSockets::State settle(int fd, bool wantBytes, std::string& bytes, bool& heard) {
    pollfd watch{fd, POLLIN | POLLOUT, 0};
    if (::poll(&watch, 1, 0) <= 0)
        return ProbeSockets::State::Pending;
    if (watch.revents & POLLERR) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0)
            return stateOfError(error);
    }
    if (!(watch.revents & (POLLIN | POLLHUP | POLLERR)))
        return ProbeSockets::State::Pending; // connected, nothing heard yet
    if (!wantBytes)
        return ProbeSockets::State::Answered; // bytes or the far end's close: either is an answer
    char buffer[kMaxFirstBytes];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0)
        return stateOfError(errno);
    bytes.assign(buffer, static_cast<std::size_t>(got)); // none: the far end closed
    heard = true;
    return ProbeSockets::State::Answered;
}

// The first bytes of a socket that answered before they were wanted: still queued, as nothing read them.
void hearLate(int fd, std::string& bytes, bool& heard) {
    char buffer[kMaxFirstBytes];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0)
        bytes.assign(buffer, static_cast<std::size_t>(got));
    heard = true;
}

class PosixProbeSockets : public ProbeSockets {
public:
    ~PosixProbeSockets() override {
        for (const auto& [handle, probe] : m_probes)
            ::close(static_cast<int>(handle));
    }

    Handle open(const std::string& address, int port) override {
        sockaddr_storage target;
        socklen_t size = 0;
        if (!toSocketAddress(address, port, target, size))
            return kNoHandle;
        // Close-on-exec: clients started later must not hold the far end's connection open.
        const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return kNoHandle;
        Probe probe;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), size) != 0 && errno != EINPROGRESS &&
            errno != EINTR)
            probe.state = State::Refused; // loopback and local routes can fail at once
        m_probes[fd] = probe;
        return fd;
    }

    State look(Handle handle, std::string* firstBytes) override {
        const auto found = m_probes.find(handle);
        if (found == m_probes.end())
            return State::Refused;
        Probe& probe = found->second;
        if (probe.state == State::Pending)
            probe.state = settle(static_cast<int>(handle), firstBytes != nullptr, probe.bytes, probe.heard);
        if (probe.state == State::Answered && firstBytes) {
            if (!probe.heard)
                hearLate(static_cast<int>(handle), probe.bytes, probe.heard);
            *firstBytes = probe.bytes;
        }
        return probe.state;
    }

    void close(Handle handle) override {
        // Only our own descriptors: a stale handle must not close someone else's file.
        if (m_probes.erase(handle) != 0)
            ::close(static_cast<int>(handle));
    }

    void abort(Handle handle) override {
        if (m_probes.count(handle) == 0)
            return;
        const linger now{1, 0};
        ::setsockopt(static_cast<int>(handle), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        close(handle);
    }

    int freeLoopbackPort() override {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return 0;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        ::close(fd);
        return ok ? ntohs(address.sin_port) : 0;
    }

private:
    struct Probe {
        State state = State::Pending;
        std::string bytes; // the first bytes heard, once Answered and asked for
        bool heard = false;
    };
    std::unordered_map<Handle, Probe> m_probes;
};

} // namespace

std::unique_ptr<ProbeSockets> createSystemProbeSockets() {
    return std::make_unique<PosixProbeSockets>();
}

bool isIpLiteral(const std::string& address) {
    sockaddr_storage target;
    socklen_t size = 0;
    return toSocketAddress(address, 1, target, size);
}

} // namespace quorvane
