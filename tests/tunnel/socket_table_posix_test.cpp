// Listening sockets of this machine, with owners among the given processes, and the connections they accepted,
// against real sockets of the test.
#include "tunnel/socket_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvane {
namespace {

// A loopback TCP socket listening on a free port.
class LoopbackSocket {
public:
    explicit LoopbackSocket(int family) : m_fd(socket(family, SOCK_STREAM, 0)) {
        sockaddr_storage address{};
        socklen_t size = 0;
        if (family == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof *v4;
        } else {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            size = sizeof *v6;
        }
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(m_fd, 1) == 0 &&
               getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        m_port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                         : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    }
    ~LoopbackSocket() { close(m_fd); }
    bool ok() const { return m_ok; }
    int port() const { return m_port; }
    int fd() const { return m_fd; }

private:
    int m_fd;
    bool m_ok = false;
    int m_port = 0;
};

std::vector<ProcessId> ownersOf(const std::vector<ListeningSocket>& sockets, int port) {
    std::vector<ProcessId> owners;
    for (const ListeningSocket& socket : sockets)
        if (socket.port == port)
            owners.push_back(socket.owner);
    return owners;
}

TEST(SocketTableTest, ListsListeningPortsOfBothFamiliesWithOwnersOnlyAmongCandidates) {
    LoopbackSocket v4(AF_INET);
    LoopbackSocket v6(AF_INET6);
    ASSERT_TRUE(v4.ok());
    // A connection waiting to be accepted has a row with the listener's port, in another state.
    const int caller = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(v4.port()));
    ASSERT_EQ(connect(caller, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const auto self = static_cast<ProcessId>(getpid());
    const auto table = createSystemSocketTable();

    const auto mine = table->listening({static_cast<ProcessId>(getppid()), self});
    EXPECT_EQ(ownersOf(mine, v4.port()), std::vector<ProcessId>{self});
    if (v6.ok()) { // a machine without IPv6 has no such socket
        EXPECT_EQ(ownersOf(mine, v6.port()), std::vector<ProcessId>{self});
    }

    const auto others = table->listening({static_cast<ProcessId>(getppid())});
    EXPECT_EQ(ownersOf(others, v4.port()), std::vector<ProcessId>{NoProcessId});
    close(caller);

    // Looks in a row, as the passes take them: a socket opened or closed between two looks is seen by the next.
    EXPECT_EQ(ownersOf(table->listening({self}), v4.port()), std::vector<ProcessId>{self});
    EXPECT_EQ(ownersOf(table->listening({self}), v4.port()), std::vector<ProcessId>{self}) << "known, not read again";
    {
        LoopbackSocket later(AF_INET);
        ASSERT_TRUE(later.ok());
        EXPECT_EQ(ownersOf(table->listening({self}), later.port()), std::vector<ProcessId>{self});
        EXPECT_EQ(ownersOf(table->listening({self}), later.port()), std::vector<ProcessId>{self});
    }
    EXPECT_EQ(ownersOf(table->listening({self}), v4.port()), std::vector<ProcessId>{self}) << "one closed, one held";
}

TEST(SocketTableTest, CountsTheConnectionsEachListeningPortAccepted) {
    LoopbackSocket listener(AF_INET);
    LoopbackSocket idle(AF_INET);
    ASSERT_TRUE(listener.ok() && idle.ok());
    const auto table = createSystemSocketTable();
    EXPECT_EQ(table->connectionsOn({listener.port(), idle.port()}), (std::vector<int>{0, 0}));

    constexpr int kConnections = 3;
    std::vector<int> ends; // each caller's, then the accepted one
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(listener.port()));
    for (int i = 0; i < kConnections; ++i) {
        ends.push_back(socket(AF_INET, SOCK_STREAM, 0));
        ASSERT_EQ(connect(ends.back(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        ends.push_back(accept(listener.fd(), nullptr, nullptr));
        ASSERT_GE(ends.back(), 0);
    }
    // The callers' ends have ports of their own: on loopback each connection counts once.
    EXPECT_EQ(table->connectionsOn({idle.port(), listener.port()}), (std::vector<int>{0, kConnections}));
    close(ends[1]);
    close(ends[0]);
    EXPECT_EQ(table->connectionsOn({listener.port()}), std::vector<int>{kConnections - 1}) << "a closed one is gone";
    for (std::size_t i = 2; i < ends.size(); ++i)
        close(ends[i]);
}

} // namespace
} // namespace quorvane
