// Probe sockets on Windows: Winsock non-blocking connects, looked at with select() and a zero timeout.
#include "tunnel/probe_sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <unordered_map>

namespace quorvane {

namespace {

constexpr int kMaxFirstBytes = 64;

// address:port as a socket address; false when address is no IP literal or port is out of range.
bool toSocketAddress(const std::string& address, int port, sockaddr_storage& target, int& size) {
    if (port < 1 || port > 65535)
        return false;
    // An IP literal is plain ASCII; anything else is no literal, whatever its encoding.
    std::wstring wide;
    for (const unsigned char c : address) {
        if (c == 0 || c >= 0x80)
            return false;
        wide.push_back(static_cast<wchar_t>(c));
    }
    target = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
    if (::InetPtonW(AF_INET, wide.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<u_short>(port));
        size = sizeof *v4;
        return true;
    }
    if (::InetPtonW(AF_INET6, wide.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<u_short>(port));
        size = sizeof *v6;
        return true;
    }
    return false;
}

// What a Winsock error says about the far end.
ProbeSockets::State stateOfError(int error) {
    if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEALREADY || error == WSAEINTR)
        return ProbeSockets::State::Pending;
    // Only a far end that was reached can reset or abort the connection.
    if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN)
        return ProbeSockets::State::Answered;
    return ProbeSockets::State::Refused; // refused, unreachable, timed out: the connection was never made
}

// A TCP socket that child processes do not inherit, or INVALID_SOCKET.
SOCKET newSocket(int family) {
    SOCKET s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) { // Windows 7 before SP1 does not know the flag
        s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
        if (s != INVALID_SOCKET)
            ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
    return s;
}

// One look at a socket still pending, without waiting.
ProbeSockets::State settle(SOCKET s, std::string& bytes) {
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &readable);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval now{0, 0};
    if (::select(0, &readable, &writable, &failed, &now) <= 0)
        return ProbeSockets::State::Pending;
    if (FD_ISSET(s, &failed)) { // a failed connect shows here (so would urgent data, with no error)
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error != 0)
            return stateOfError(error);
    }
    if (!FD_ISSET(s, &readable))
        return ProbeSockets::State::Pending; // connected, nothing heard yet
    char buffer[kMaxFirstBytes];
    const int got = ::recv(s, buffer, kMaxFirstBytes, 0);
    if (got == SOCKET_ERROR)
        return stateOfError(::WSAGetLastError());
    bytes.assign(buffer, static_cast<std::size_t>(got)); // none: the far end closed
    return ProbeSockets::State::Answered;
}

class WinsockProbeSockets : public ProbeSockets {
public:
    WinsockProbeSockets() {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }

    ~WinsockProbeSockets() override {
        for (const auto& [handle, probe] : m_probes)
            ::closesocket(static_cast<SOCKET>(handle));
        if (m_started)
            ::WSACleanup();
    }

    Handle open(const std::string& address, int port) override {
        sockaddr_storage target;
        int size = 0;
        if (!m_started || !toSocketAddress(address, port, target, size))
            return kNoHandle;
        const SOCKET s = newSocket(target.ss_family);
        if (s == INVALID_SOCKET)
            return kNoHandle;
        u_long nonBlocking = 1;
        if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
            ::closesocket(s);
            return kNoHandle;
        }
        Probe probe;
        if (::connect(s, reinterpret_cast<const sockaddr*>(&target), size) != 0 &&
            ::WSAGetLastError() != WSAEWOULDBLOCK)
            probe.state = State::Refused; // local routes can fail at once
        const auto handle = static_cast<Handle>(s);
        m_probes[handle] = probe;
        return handle;
    }

    State look(Handle handle, std::string* firstBytes) override {
        const auto found = m_probes.find(handle);
        if (found == m_probes.end())
            return State::Refused;
        Probe& probe = found->second;
        if (probe.state == State::Pending)
            probe.state = settle(static_cast<SOCKET>(handle), probe.bytes);
        if (probe.state == State::Answered && firstBytes)
            *firstBytes = probe.bytes;
        return probe.state;
    }

    void close(Handle handle) override {
        // Only our own sockets: a stale handle must not close someone else's.
        if (m_probes.erase(handle) != 0)
            ::closesocket(static_cast<SOCKET>(handle));
    }

    int freeLoopbackPort() override {
        if (!m_started)
            return 0;
        const SOCKET s = newSocket(AF_INET);
        if (s == INVALID_SOCKET)
            return 0;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        const bool ok = ::bind(s, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        ::closesocket(s);
        return ok ? ntohs(address.sin_port) : 0;
    }

private:
    struct Probe {
        State state = State::Pending;
        std::string bytes; // the first bytes heard, once Answered
    };
    bool m_started = false;
    std::unordered_map<Handle, Probe> m_probes;
};

} // namespace

std::unique_ptr<ProbeSockets> createSystemProbeSockets() {
    return std::make_unique<WinsockProbeSockets>();
}

bool isIpLiteral(const std::string& address) {
    sockaddr_storage target;
    int size = 0;
    return toSocketAddress(address, 1, target, size);
}

} // namespace quorvane
