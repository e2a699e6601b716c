// Faults a connected tunnel meets, from a frozen server to a taken port, as the running program tells them.
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "app/application.h"
#include "app/main_window.h"
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

constexpr int kSonda = 3; // seconds between the program's checks of a server
// A check sent at most one period after the fault, its 3 s wait, one more period of tick phase, 1 s slack.
constexpr int kNotAnsweringMs = (2 * kSonda + 3 + 1) * 1000;
constexpr int kPassMs = 3000;     // the program's periodic pass
constexpr int kSettleMs = 15000;  // from connect to the first state that settles it
constexpr int kRecoverMs = 10000; // from the fault's end to bytes through the forward again
constexpr int kClientGoneMs = 2000;

// Processes stopped (SIGSTOP) for as long as the object lives.
class Frozen {
public:
    explicit Frozen(std::vector<pid_t> pids) : m_pids(std::move(pids)) {
        for (pid_t pid : m_pids)
            kill(pid, SIGSTOP);
    }
    ~Frozen() {
        for (pid_t pid : m_pids)
            kill(pid, SIGCONT);
    }
    Frozen(const Frozen&) = delete;
    Frozen& operator=(const Frozen&) = delete;

private:
    std::vector<pid_t> m_pids;
};

// Another program listening on a loopback port: 127.0.0.1, and ::1 as well when asked.
class PortHolder {
public:
    PortHolder(int port, bool alsoIpv6) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(port));
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        hold(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
        if (alsoIpv6) {
            sockaddr_in6 v6{};
            v6.sin6_family = AF_INET6;
            v6.sin6_port = v4.sin_port;
            v6.sin6_addr = in6addr_loopback;
            hold(reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
        }
    }
    ~PortHolder() {
        for (int fd : m_fds)
            close(fd);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool holding() const { return m_holding; }

private:
    void hold(const sockaddr* address, socklen_t size) {
        // Close-on-exec: the clients started later must not hold it too.
        const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_holding = m_holding && fd >= 0 && bind(fd, address, size) == 0 && listen(fd, 1) == 0;
        if (fd >= 0)
            m_fds.push_back(fd);
    }
    std::vector<int> m_fds;
    bool m_holding = true;
};

enum class Fault {
    None,
    FreezeSession,     // the connection's sshd processes stopped; the listener still takes new connections
    DropServerPackets, // everything the server's port sends is dropped on the way in: a silent network
    ServiceRefuses,    // the forward's target refuses connections (reset), and one is made through the forward
};

enum class Then {
    WorksAgain,    // once the fault is undone (a frozen session may stay so), bytes pass through the forward
    StaysDown,     // no client left, and the reason stays: never connected or restarted again
    WarningClears, // the service back, a connection through the forward clears the warning
    StaysUp,       // bytes pass, and it is still connected a while later
};

struct FaultCase {
    const char* name;
    const char* serverConfig; // sshd_config lines of the row's own
    const char* account;      // an account of the row's own ("": the test account)
    const char* shell;        // that account's login shell
    int direction;            // kForwardLocal or kForwardRemote
    bool portHeld;            // another program listens on the tunnel's port before it connects
    Fault fault;
    TunnelStatus status; // what the fault leads to, and why
    FailureKind kind;
    const char* words; // in the reason (or the warning); %L the tunnel's port, %S the service's
    Then then;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

// Riconnessione is on in every row: where the tunnel must come back, and where it must not.
const FaultCase kCases[] = {
    // The session's processes frozen: its server no longer answers, though new sessions are served.
    {"Frozen", "", "", "", kForwardLocal, false, Fault::FreezeSession, TunnelStatus::Failed,
     FailureKind::ServerNotAnswering, "", Then::WorksAgain},
    {"Silent", "", "", "", kForwardLocal, false, Fault::DropServerPackets, TunnelStatus::Failed,
     FailureKind::ServerNotAnswering, "", Then::WorksAgain},
    // Logged in, but every forward refused; the program's own check is the first connection through.
    {"NoFwd", "AllowTcpForwarding no", "", "", kForwardLocal, false, Fault::None, TunnelStatus::Failed,
     FailureKind::ForwardingRefused, "Administratively prohibited", Then::StaysDown},
    // A remote forward binds both loopback addresses on the server: the port is held on both.
    {"RemTaken", "", "", "", kForwardRemote, true, Fault::None, TunnelStatus::Failed, FailureKind::ForwardingRefused,
     "Remote port forwarding from %L refused", Then::StaysDown},
    {"SvcDown", "", "", "", kForwardLocal, false, Fault::ServiceRefuses, TunnelStatus::Connected, FailureKind::None,
     "127.0.0.1:%S", Then::WarningClears},
    // Accounts made for tunnels alone: the client asks for no shell and no terminal.
    {"NoLogin", "", "quorvanenolog", "/usr/sbin/nologin", kForwardLocal, false, Fault::None, TunnelStatus::Connected,
     FailureKind::None, "", Then::StaysUp},
    {"NoTty", "Match User quorvanenotty\n    PermitTTY no", "quorvanenotty", "/bin/sh", kForwardLocal, false,
     Fault::None, TunnelStatus::Connected, FailureKind::None, "", Then::StaysUp},
    {"FalseCmd", "Match User quorvanefalse\n    ForceCommand /bin/false", "quorvanefalse", "/bin/sh", kForwardLocal,
     false, Fault::None, TunnelStatus::Connected, FailureKind::None, "", Then::StaysUp},
    // Held on 127.0.0.1 only: the client cannot listen there, though ::1 would be free.
    {"PortUsed", "", "", "", kForwardLocal, true, Fault::None, TunnelStatus::Failed, FailureKind::LocalPortInUse, "%L",
     Then::StaysDown},
};

struct Sample {
    Steady::time_point at;
    TunnelHealth health;
};

std::string describe(const TunnelHealth& health) {
    return "status " + std::to_string(static_cast<int>(health.status)) + ", kind " +
           std::to_string(static_cast<int>(health.failure.kind)) + ", detail \"" + health.failure.detail +
           "\", warning \"" + (health.warning ? health.warning->service : "") + "\"";
}

double secondsBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

class FaultE2e : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        const FaultCase& c = GetParam();
        if (c.fault == Fault::DropServerPackets || c.fault == Fault::ServiceRefuses) {
            if (const std::string gap = iptablesGap(); !gap.empty()) {
                if (prerequisitesRequired())
                    FAIL() << gap;
                GTEST_SKIP() << gap;
            }
        }
        try {
            server = std::make_unique<SshServer>(c.serverConfig);
            if (*c.account)
                server->addAccount(c.account, c.shell);
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
        work.makeFolder("tunnells");
        std::filesystem::copy_file(plinkPath(), work.file("plink.exe"));
        AppOptions options;
        options.workingDir = work.withSeparator();
        app = std::make_unique<QuorvaneApp>(std::move(options));
        app->start(); // the main window's timers run from now on, as in the program
    }

    // Prefixed: clients are found by name, and other tests and benchmarks run beside this one.
    static std::string tunnel() { return std::string("Ft") + GetParam().name; }

    void TearDown() override {
        app.reset();
        // Clients are detached from this process: nothing else would ever stop them.
        if (server) {
            EXPECT_EQ(stopProcessesNamed(tunnel() + "SSH.exe"), 0) << "a client outlived the test";
        }
    }

    // Lets the program's own timers run (its 1 s tick, its 3 s pass) and looks at the tunnel every 100 ms,
    // until done holds (true) or timeoutMs have passed (false; true when there is no done).
    bool watch(int timeoutMs, const std::function<bool(const TunnelHealth&)>& done = {}) {
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            QTest::qWait(100);
            samples.push_back({Steady::now(), app->service().health(tunnel())});
            if (done && done(samples.back().health))
                return true;
            if (Steady::now() >= deadline)
                return !done;
        }
    }

    // Bytes through the forward, tried while the program runs, until they pass or timeoutMs have passed.
    bool answersWithin(int port, int timeoutMs) {
        return watch(timeoutMs, [port](const TunnelHealth&) { return askLine(port, "ping", 300) == "echo:ping"; });
    }

    // Every sample from index from on holds.
    bool allFrom(std::size_t from, const std::function<bool(const TunnelHealth&)>& holds) const {
        for (std::size_t i = from; i < samples.size(); ++i) {
            if (!holds(samples[i].health)) {
                ADD_FAILURE() << "sample " << i << " " << secondsBetween(samples[from].at, samples[i].at)
                              << " s on: " << describe(samples[i].health);
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<SshServer> server;
    TempDir work;
    ScriptedDialogs dialogs;
    std::unique_ptr<QuorvaneApp> app;
    std::vector<Sample> samples;
};

TEST_P(FaultE2e, TheStateSaysWhatHappened) {
    const FaultCase& c = GetParam();
    const std::string name = tunnel();
    TcpService service;
    const int port = freeLoopbackPort(); // the tunnel's own: here, or on the server for a remote forward
    std::optional<PortHolder> holder;
    if (c.portHeld) {
        holder.emplace(port, c.direction == kForwardRemote);
        ASSERT_TRUE(holder->holding()) << "cannot hold port " << port;
    }
    TMain& main = app->main();
    dialogs.answerInput(QString::fromStdString(name));
    main.Aggiungi1Click();
    TunnelDefinition d;
    d.IpServer = "127.0.0.1";
    d.PortaServer = std::to_string(server->port());
    d.Username = *c.account ? c.account : server->user();
    d.Password = server->password();
    d.PortaLocale = std::to_string(port);
    d.IpServizio = "127.0.0.1";
    d.PortaServizio = std::to_string(service.port());
    d.Riconnessione = true;
    d.Direzione = c.direction;
    d.Sonda = kSonda;
    SaveDefinition(work.withSeparator(), name, d);

    std::string words = c.words;
    for (const auto& [mark, value] : {std::pair{"%L", d.PortaLocale}, std::pair{"%S", d.PortaServizio}}) {
        if (const auto at = words.find(mark); at != std::string::npos)
            words.replace(at, 2, value);
    }
    const auto seen = [&](const TunnelHealth& h) {
        const std::string text =
            c.fault == Fault::ServiceRefuses ? (h.warning ? h.warning->service : "") : h.failure.detail;
        return h.status == c.status && h.failure.kind == c.kind && text.find(words) != std::string::npos;
    };
    const auto connected = [](const TunnelHealth& h) { return h.status == TunnelStatus::Connected; };

    ASSERT_TRUE(main.connectTunnel(name)) << "no row for " << name;
    const std::string client = name + "SSH.exe";
    auto faultAt = Steady::now();
    std::vector<pid_t> faulted; // the client that met the fault
    std::optional<Frozen> frozen;
    std::optional<IptablesRule> rule;
    int withinMs = kSettleMs;
    std::size_t connectedAt = 0;
    if (c.fault != Fault::None) {
        ASSERT_TRUE(watch(kSettleMs, connected)) << describe(samples.back().health) << "\n" << server->log();
        connectedAt = samples.size() - 1;
        faulted = processesNamed(client);
        faultAt = Steady::now();
        withinMs = kNotAnsweringMs;
        if (c.fault == Fault::FreezeSession) {
            const std::vector<pid_t> sessions = server->sessionProcesses();
            ASSERT_FALSE(sessions.empty()) << "no session of the tunnel's client";
            frozen.emplace(sessions);
        } else if (c.fault == Fault::DropServerPackets) {
            rule.emplace(std::vector<std::string>{"-i", "lo", "-p", "tcp", "--sport", d.PortaServer, "-j", "DROP"});
        } else {
            rule.emplace(std::vector<std::string>{"-i", "lo", "-p", "tcp", "--dport", d.PortaServizio, "-j", "REJECT",
                                                  "--reject-with", "tcp-reset"});
            EXPECT_EQ(askLine(port, "refused", 2000), std::nullopt) << "the service answered through the rule";
            withinMs = kPassMs + 2000;
        }
    }
    ASSERT_TRUE(watch(withinMs, seen)) << "within " << withinMs << " ms: " << describe(samples.back().health) << "\n"
                                       << readTail(app->health().clientLog(name), 4000);
    const std::size_t reason = samples.size() - 1;
    const auto seenAt = samples.back().at;
    std::printf("[  timing  ] %s: seen %.1f s after the %s\n", c.name, secondsBetween(faultAt, seenAt),
                c.fault == Fault::None ? "connect" : "fault");

    switch (c.then) {
    case Then::WorksAgain: {
        // Stopped, not left to come back by itself when the fault goes: the restart is a client of its own.
        EXPECT_TRUE(watch(kClientGoneMs, [&](const TunnelHealth&) {
            const std::vector<pid_t> running = processesNamed(client);
            return std::none_of(faulted.begin(), faulted.end(), [&](pid_t pid) {
                return std::find(running.begin(), running.end(), pid) != running.end();
            });
        })) << "the client that lost its server still runs";
        rule.reset();
        const auto undoneAt = Steady::now();
        EXPECT_TRUE(answersWithin(port, kRecoverMs)) << describe(samples.back().health) << "\n" << server->log();
        std::printf("[  timing  ] %s: bytes pass %.1f s after the fault was undone\n", c.name,
                    secondsBetween(undoneAt, samples.back().at));
        break;
    }
    case Then::StaysDown:
        EXPECT_TRUE(watch(kClientGoneMs, [&](const TunnelHealth&) { return processesNamed(client).empty(); }))
            << "the client still runs " << kClientGoneMs << " ms after the reason was known";
        // Long enough for a restart after the first backoff, and a pass to show it.
        watch(1000 + kPassMs);
        EXPECT_TRUE(allFrom(reason, seen)) << "not kept down once the reason was known";
        EXPECT_TRUE(processesNamed(client).empty());
        break;
    case Then::WarningClears:
        rule.reset();
        EXPECT_EQ(askLineWithRetry(port, "back", 2000).value_or("(none)"), "echo:back");
        // Cleared at a pass after a later connection of the client's shows that this one went through.
        EXPECT_TRUE(watch(kPassMs + 1000 * kSonda + 2000, [](const TunnelHealth& h) { return !h.warning; }))
            << describe(samples.back().health);
        EXPECT_TRUE(allFrom(connectedAt, connected));
        break;
    case Then::StaysUp:
        EXPECT_TRUE(answersWithin(port, 5000)) << server->log();
        watch(3000);
        EXPECT_TRUE(allFrom(reason, connected));
        break;
    }
    frozen.reset();
    main.disconnectTunnel(name);
    EXPECT_TRUE(waitUntilNoneNamed(client, 3000));
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultE2e, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvane::test
