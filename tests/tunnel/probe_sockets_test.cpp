// Probe sockets against a loopback listener of the test that closes at once, greets, or stays silent.
#include "tunnel/probe_sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// The listener's few socket calls differ only in headers, handle type and close between the platforms.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
namespace {
using SocketId = SOCKET;
const SocketId kNoSocket = INVALID_SOCKET;
void startSockets() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
void closeSocket(SocketId s) {
    ::closesocket(s);
}
long openHandles() {
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return static_cast<long>(count);
}
} // namespace
#else
#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
namespace {
using SocketId = int;
const SocketId kNoSocket = -1;
void startSockets() {}
void closeSocket(SocketId s) {
    ::close(s);
}
long openHandles() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}
} // namespace
#endif

namespace quorvane {
namespace {

using State = ProbeSockets::State;
using namespace std::chrono_literals;

// Whether a handle still names an open socket; the leak check wine can do (its handle count is always 0).
bool namesSocket(ProbeSockets::Handle handle) {
    int type = 0;
    socklen_t size = sizeof type;
    return ::getsockopt(static_cast<SocketId>(handle), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size) == 0;
}

// A TCP listener on a free loopback port of one family that takes one connection.
class Listener {
public:
    explicit Listener(bool v6) {
        startSockets();
        sockaddr_storage address{};
        socklen_t size = 0;
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&address);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            size = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&address);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof *a;
        }
        m_socket = ::socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
        m_ok = m_socket != kNoSocket && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
               ::listen(m_socket, 1) == 0 && ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    ~Listener() {
        dropClient();
        if (m_socket != kNoSocket)
            closeSocket(m_socket);
    }
    bool ok() const { return m_ok; }
    int port() const { return m_port; }
    // Takes the waiting connection; false when none came within 2 s (a blocking accept would hang the suite).
    bool accept() {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(m_socket, &ready);
        timeval wait{2, 0};
        if (::select(static_cast<int>(m_socket) + 1, &ready, nullptr, nullptr, &wait) != 1)
            return false;
        m_client = ::accept(m_socket, nullptr, nullptr);
        return m_client != kNoSocket;
    }
    void send(const std::string& text) { ::send(m_client, text.data(), static_cast<int>(text.size()), 0); }
    void dropClient() {
        if (m_client != kNoSocket)
            closeSocket(m_client);
        m_client = kNoSocket;
    }

private:
    SocketId m_socket = kNoSocket;
    SocketId m_client = kNoSocket;
    bool m_ok = false;
    int m_port = 0;
};

enum class FarEnd { ClosesAtOnce, Greets, StaysSilent, NothingListens };

struct ProbeCase {
    const char* name;
    const char* address;
    FarEnd farEnd;
    State expected;
    std::string firstBytes;
    bool bytesAskedLate = false; // looked at first without asking for them, as the liveness checks look
    bool aborted = false;        // let go with a reset, as the liveness checks let go of theirs
};

const std::string kGreeting = "SSH-2.0-test\r\n";

const ProbeCase kCases[] = {
    {"ClosesAtOnce", "127.0.0.1", FarEnd::ClosesAtOnce, State::Answered, ""},
    {"Greets", "127.0.0.1", FarEnd::Greets, State::Answered, kGreeting},
    {"GreetsOverIpv6", "::1", FarEnd::Greets, State::Answered, kGreeting},
    {"GreetsAskedLate", "127.0.0.1", FarEnd::Greets, State::Answered, kGreeting, true},
    {"ClosesAtOnceAborted", "127.0.0.1", FarEnd::ClosesAtOnce, State::Answered, "", false, true},
    {"StaysSilentAborted", "127.0.0.1", FarEnd::StaysSilent, State::Pending, "", false, true},
    {"StaysSilent", "127.0.0.1", FarEnd::StaysSilent, State::Pending, ""},
    {"NothingListens", "127.0.0.1", FarEnd::NothingListens, State::Refused, ""},
};

class ProbeSocketsTest : public ::testing::TestWithParam<ProbeCase> {
protected:
    std::unique_ptr<ProbeSockets> probes = createSystemProbeSockets();
};

TEST_P(ProbeSocketsTest, TellsHowTheFarEndAnswersAndLeaksNothing) {
    const ProbeCase& row = GetParam();
    const long handlesBefore = openHandles();
    {
        Listener listener(std::string(row.address) == "::1");
        if (!listener.ok())
            GTEST_SKIP() << "no loopback listener for " << row.address;
        const int port = row.farEnd == FarEnd::NothingListens ? probes->freeLoopbackPort() : listener.port();
        ASSERT_NE(port, 0);
        const ProbeSockets::Handle handle = probes->open(row.address, port);
        ASSERT_NE(handle, ProbeSockets::kNoHandle);
        if (row.farEnd != FarEnd::NothingListens) {
            ASSERT_TRUE(listener.accept());
            if (row.farEnd == FarEnd::Greets)
                listener.send(kGreeting);
            if (row.farEnd == FarEnd::ClosesAtOnce)
                listener.dropClient();
        }
        // Windows retries a refused connect for about two seconds before giving up.
        const auto deadline = std::chrono::steady_clock::now() + (row.expected == State::Pending ? 300ms : 5s);
        std::string bytes = "untouched";
        std::string* asked = row.bytesAskedLate ? nullptr : &bytes;
        State state = probes->look(handle, asked);
        while (state == State::Pending && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
            state = probes->look(handle, asked);
        }
        if (row.bytesAskedLate)
            probes->look(handle, &bytes);
        EXPECT_EQ(state, row.expected);
        EXPECT_EQ(bytes, row.expected == State::Answered ? row.firstBytes : "untouched");
        // The outcome stays put: a later look reads nothing more.
        std::string again = "untouched";
        EXPECT_EQ(probes->look(handle, &again), state);
        EXPECT_EQ(again, bytes);
        if (row.aborted)
            probes->abort(handle);
        else
            probes->close(handle);
        EXPECT_FALSE(namesSocket(handle));
    }
    EXPECT_EQ(openHandles(), handlesBefore);
}

INSTANTIATE_TEST_SUITE_P(Loopback, ProbeSocketsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeSocketsAddressTest, OpensIpLiteralsOnlyAndNeverResolvesNames) {
    const auto probes = createSystemProbeSockets();
    for (const char* literal : {"127.0.0.1", "::1", "2001:db8::17", "::ffff:10.0.0.1"})
        EXPECT_TRUE(isIpLiteral(literal)) << literal;
    for (const char* other : {"localhost", "example.com", "", "127.0.0.1 ", "1.2.3", "256.0.0.1", "[::1]"}) {
        EXPECT_FALSE(isIpLiteral(other)) << other;
        EXPECT_EQ(probes->open(other, 22), ProbeSockets::kNoHandle) << other;
    }
    for (int port : {0, 65536})
        EXPECT_EQ(probes->open("127.0.0.1", port), ProbeSockets::kNoHandle) << port;
}

TEST(ProbeSocketsLifetimeTest, HandlesLeftOpenCloseWithTheirProbeSockets) {
    const auto keepsSocketsStarted = createSystemProbeSockets();
    ProbeSockets::Handle left = ProbeSockets::kNoHandle;
    {
        const auto probes = createSystemProbeSockets();
        left = probes->open("127.0.0.1", probes->freeLoopbackPort());
        ASSERT_NE(left, ProbeSockets::kNoHandle);
        EXPECT_TRUE(namesSocket(left));
    }
    EXPECT_FALSE(namesSocket(left));
}

} // namespace
} // namespace quorvane
