// Connects that never complete, and servers that go away and come back, as the running program meets them.
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "app/application.h"
#include "app/main_window.h"
#include "desktop/dialog_service.h"
#include "store/tunnel_definition.h"
#include "support/iptables_rule.h"
#include "support/scripted_dialogs.h"
#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"
#include "tunnel/client_log.h"

namespace quorvane::test {
namespace {

using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point from) {
    return std::chrono::duration<double>(Steady::now() - from).count();
}

// A server that takes connections and then says nothing, or only its greeting: a connect to it never completes.
class StallingServer {
public:
    explicit StallingServer(bool greets) : m_greets(greets) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(m_listener, 16) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("cannot listen");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~StallingServer() {
        m_stop = true;
        shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        close(m_listener);
        for (int fd : m_connections)
            close(fd);
    }
    StallingServer(const StallingServer&) = delete;
    StallingServer& operator=(const StallingServer&) = delete;
    int port() const { return m_port; }

private:
    void serve() {
        while (!m_stop) {
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            if (m_greets) {
                constexpr char kGreeting[] = "SSH-2.0-OpenSSH_9.2\r\n";
                [[maybe_unused]] const ssize_t sent = send(fd, kGreeting, sizeof kGreeting - 1, MSG_NOSIGNAL);
            }
            m_connections.push_back(fd); // held open, never answered
        }
    }
    bool m_greets;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<int> m_connections;
};

// The program with its timers running over a portable folder of its own; each tunnel on its own local port.
class RecoveryE2e : public ::testing::Test {
protected:
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        work.makeFolder("tunnells");
        std::filesystem::copy_file(plinkPath(), work.file("plink.exe"));
        AppOptions options;
        options.workingDir = work.withSeparator();
        app = std::make_unique<QuorvaneApp>(std::move(options));
        app->start();
    }
    void TearDown() override {
        app.reset();
        for (const std::string& name : made)
            EXPECT_EQ(stopProcessesNamed(name + "SSH.exe"), 0) << "a client outlived the test";
    }

    // A tunnel to 127.0.0.1:serverPort, reconnecting, with the given limit on a connect.
    std::string makeTunnel(const std::string& name, int serverPort, const std::string& user,
                           const std::string& password, int connectSeconds = kDefaultConnectSeconds) {
        dialogs.answerInput(QString::fromStdString(name));
        app->main().Aggiungi1Click();
        TunnelDefinition d;
        d.IpServer = "127.0.0.1";
        d.PortaServer = std::to_string(serverPort);
        d.Username = user;
        d.Password = password;
        d.PortaLocale = std::to_string(freeLoopbackPort());
        d.IpServizio = "127.0.0.1";
        d.PortaServizio = std::to_string(service.port());
        d.Riconnessione = true;
        d.Sonda = 3;
        d.AttesaConnessione = connectSeconds;
        SaveDefinition(work.withSeparator(), name, d);
        made.push_back(name);
        return d.PortaLocale;
    }

    // Lets the program's timers run, looking every 100 ms, until done holds (true) or timeoutMs pass (false).
    bool watch(int timeoutMs, const std::function<bool()>& done, const std::function<void()>& each = {}) {
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            QTest::qWait(100);
            if (each)
                each();
            if (done())
                return true;
            if (Steady::now() >= deadline)
                return false;
        }
    }

    TunnelHealth health(const std::string& name) const { return app->service().health(name); }
    bool connected(const std::string& name) const { return health(name).status == TunnelStatus::Connected; }

    TempDir work;
    TcpService service;
    ScriptedDialogs dialogs;
    std::unique_ptr<QuorvaneApp> app;
    std::vector<std::string> made;
};

struct StallRow {
    const char* name;
    enum { Silent, Greets, Vanishes } server;
    ConnectStage stage;
    bool triedAgain; // restarted while the server still stalls: its greeting says it is there
};

void PrintTo(const StallRow& row, std::ostream* out) {
    *out << row.name;
}

class StalledConnect : public RecoveryE2e, public ::testing::WithParamInterface<StallRow> {};

TEST_P(StalledConnect, FailsNamingTheStageWithinItsLimitAndLeavesNoClient) {
    const StallRow& row = GetParam();
    constexpr int kLimit = 4; // seconds; the default is 20, and the rule is the same
    std::optional<StallingServer> server;
    std::optional<IptablesRule> rule;
    int port = 0;
    if (row.server == StallRow::Vanishes) {
        if (const std::string gap = iptablesGap(); !gap.empty()) {
            if (prerequisitesRequired())
                FAIL() << gap;
            GTEST_SKIP() << gap;
        }
        port = freeLoopbackPort();
        rule.emplace(std::vector<std::string>{"-i", "lo", "-p", "tcp", "--dport", std::to_string(port), "-j", "DROP"});
    } else {
        server.emplace(row.server == StallRow::Greets);
        port = server->port();
    }
    const std::string name = std::string("Rs") + row.name;
    makeTunnel(name, port, "nobody", "nothing", kLimit);
    const auto start = Steady::now();
    ASSERT_TRUE(app->main().connectTunnel(name));
    const std::vector<pid_t> first = processesNamed(name + "SSH.exe");
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(watch((kLimit + 4) * 1000, [&] { return health(name).status == TunnelStatus::Failed; }))
        << "still " << static_cast<int>(health(name).status) << " after " << kLimit + 4 << " s";
    const TunnelHealth failed = health(name);
    std::printf("[  timing  ] %s: failed %.1f s after the connect\n", row.name, secondsSince(start));
    EXPECT_EQ(failed.failure.kind, FailureKind::ConnectTimedOut) << failed.failure.detail;
    EXPECT_EQ(failed.failure.stage, row.stage);
    EXPECT_TRUE(watch(2000, [&] {
        const std::vector<pid_t> now = processesNamed(name + "SSH.exe");
        return std::none_of(first.begin(), first.end(),
                            [&](pid_t pid) { return std::find(now.begin(), now.end(), pid) != now.end(); });
    })) << "the stalled client still runs";
    // Reconnection goes on as after any failure, but only to a server that greets.
    std::set<pid_t> later;
    watch(
        5000, [] { return false; },
        [&] {
            for (pid_t pid : processesNamed(name + "SSH.exe"))
                later.insert(pid);
        });
    EXPECT_EQ(!later.empty(), row.triedAgain) << later.size() << " clients started after the failure";
}

INSTANTIATE_TEST_SUITE_P(Rows, StalledConnect,
                         ::testing::Values(StallRow{"Silent", StallRow::Silent, ConnectStage::Greeting, false},
                                           StallRow{"Greets", StallRow::Greets, ConnectStage::KeyExchange, true},
                                           StallRow{"Vanishes", StallRow::Vanishes, ConnectStage::Reaching, false}),
                         [](const ::testing::TestParamInfo<StallRow>& info) { return std::string(info.param.name); });

// A server stopped for a while and started again: nothing is started while it is away, and the tunnel is back
// within moments of its return, however long it was gone.
class ServerAway : public RecoveryE2e, public ::testing::WithParamInterface<int> {};

TEST_P(ServerAway, TheTunnelIsBackWithinMomentsOfItsReturn) {
    const int awaySeconds = GetParam();
    std::unique_ptr<SshServer> server;
    try {
        server = std::make_unique<SshServer>();
    } catch (const std::exception& error) {
        FAIL() << error.what();
    }
    const std::string name = "RsAway" + std::to_string(awaySeconds);
    const int port = std::stoi(makeTunnel(name, server->port(), server->user(), server->password()));
    ASSERT_TRUE(app->main().connectTunnel(name));
    ASSERT_TRUE(watch(15000, [&] { return connected(name); })) << server->log();
    const std::vector<pid_t> before = processesNamed(name + "SSH.exe");

    server->stop();
    std::set<pid_t> started;
    watch(
        awaySeconds * 1000, [] { return false; },
        [&] {
            for (pid_t pid : processesNamed(name + "SSH.exe")) {
                if (std::find(before.begin(), before.end(), pid) == before.end())
                    started.insert(pid);
            }
        });
    EXPECT_EQ(health(name).status, TunnelStatus::Failed);
    std::printf("[  timing  ] away %d s: %zu client starts while the server was away\n", awaySeconds, started.size());
    EXPECT_LE(started.size(), 1u) << "clients started while the server could not be reached";

    server->startAgain();
    const auto back = Steady::now();
    ASSERT_TRUE(watch(10000, [&] { return connected(name); })) << server->log();
    const double seconds = secondsSince(back);
    std::printf("[  timing  ] away %d s: connected %.1f s after the server listened again\n", awaySeconds, seconds);
    EXPECT_LE(seconds, 3.5);
    EXPECT_EQ(askLineWithRetry(port, "back", 3000).value_or("(none)"), "echo:back");
    app->main().disconnectTunnel(name);
}

INSTANTIATE_TEST_SUITE_P(Seconds, ServerAway, ::testing::Values(20, 40));

// Twenty tunnels to one server with OpenSSH's default limit on logins at once: all come back when it does.
TEST_F(RecoveryE2e, TwentyTunnelsToOneServerAllComeBackWithinTenSeconds) {
    std::unique_ptr<SshServer> server;
    try {
        server = std::make_unique<SshServer>("MaxStartups 10:30:100");
    } catch (const std::exception& error) {
        FAIL() << error.what();
    }
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) {
        names.push_back("RsMany" + std::to_string(i));
        makeTunnel(names.back(), server->port(), server->user(), server->password());
    }
    runCommand([this] { app->service().connectAll(); });
    const auto allConnected = [&] {
        return std::all_of(names.begin(), names.end(), [&](auto& n) { return connected(n); });
    };
    ASSERT_TRUE(watch(60000, allConnected)) << server->log();

    server->stop();
    watch(5000, [] { return false; });
    server->startAgain();
    const auto back = Steady::now();
    const bool allBack = watch(15000, allConnected);
    const double seconds = secondsSince(back);
    std::printf("[  timing  ] twenty tunnels: all connected %.1f s after the server listened again\n", seconds);
    EXPECT_TRUE(allBack);
    EXPECT_LE(seconds, 10.0);
    for (const std::string& name : names)
        app->main().disconnectTunnel(name);
}

} // namespace
} // namespace quorvane::test
