// One pass over real tunnel folders: clients matched to sockets, the client's log read for the reason.
#include "tunnel/tunnel_health_tracker.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

class FixedClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return at; }
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

class ScriptedSockets : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        asked = candidates;
        return sockets;
    }
    std::vector<ListeningSocket> sockets;
    std::vector<ProcessId> asked;
};

TEST(TunnelHealthTracker, MatchesSocketsToEachTunnelsOwnClientsAndReadsOnlyThisStartsWords) {
    test::TempDir work;
    for (const char* name : {"A", "B", "C", "D", "E", "F"})
        work.makeFolder(std::string("tunnells/") + name);
    const std::string tunnels = std::filesystem::canonical(work.file("tunnells")).string();
    ScriptedSockets sockets;
    FixedClock clock;
    TunnelHealthTracker tracker(work.withSeparator(), sockets, clock);

    work.write("tunnells/C/client.log", "FATAL ERROR: Connection refused\n"); // an earlier run's
    std::string problem;
    EXPECT_EQ(tracker.freshClientLog("C", problem), tracker.clientLog("C"));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(work.read("tunnells/C/client.log"), "");
    tracker.started("A", {{9001}, false});
    tracker.started("B", {{9002}, false});
    tracker.started("C", {{9003}, false});
    tracker.started("D", {{9004, 9005}, false}); // a second forward not up yet
    tracker.started("E", {{}, false});           // a remote forward only: nothing listens here
    tracker.started("F", {{9006}, false});       // its socket's owner the system does not name

    // A listens through its client; B's port is held on one address by someone else as well.
    const std::vector<OwnProcess> own = {{10, tunnels + "/A/ASSH.exe"},
                                         {20, tunnels + "/B/BSSH.exe"},
                                         {40, tunnels + "/D/DSSH.exe"},
                                         {50, tunnels + "/E/ESSH.exe"},
                                         {60, tunnels + "/F/FSSH.exe"}};
    sockets.sockets = {{9001, 10}, {9002, 20}, {9002, NoProcessId}, {9004, 40}, {9006, NoProcessId, true}};
    const TunnelClients clients(tunnels, own, '/', false);
    clock.at += std::chrono::seconds(5);
    work.write("tunnells/C/client.log", "FATAL ERROR: Connection refused\n"); // this start's, C has ended
    const std::vector<std::string> all = {"A", "B", "C", "D", "E", "F"};
    const std::vector<HealthChange> changes = tracker.pass(clients, all, [](const std::string&) {
        ADD_FAILURE() << "ports of started tunnels are known";
        return ClientSetup{};
    });

    EXPECT_EQ(sockets.asked, (std::vector<ProcessId>{10, 20, 40, 50, 60}));
    EXPECT_EQ(tracker.health("D").status, TunnelStatus::Connecting);
    EXPECT_EQ(tracker.health("E").status, TunnelStatus::Connected);
    EXPECT_EQ(tracker.health("A").status, TunnelStatus::Connected);
    EXPECT_EQ(tracker.health("F").status, TunnelStatus::Connected);
    EXPECT_EQ(tracker.health("B").status, TunnelStatus::Failed);
    EXPECT_EQ(tracker.health("B").failure.kind, FailureKind::LocalPortInUse);
    EXPECT_EQ(tracker.health("B").failure.detail, "9002");
    EXPECT_EQ(tracker.health("C").failure.kind, FailureKind::ConnectionRefused);
    EXPECT_EQ(changes.size(), 5u); // D was connecting from its start
    EXPECT_TRUE(tracker.pass(clients, all, [](const std::string&) { return quorvane::ClientSetup{}; }).empty())
        << "an unchanged state is no change";
}

// A long-lived client's chatter is cut at a pass once the log is past twice the 64 KB kept, whatever it wrote.
TEST(TunnelHealthTracker, CutsARunningClientsLogOnlyWhenItHasGrownPastTwiceWhatIsKept) {
    test::TempDir work;
    work.makeFolder("tunnells/A");
    const std::string tunnels = std::filesystem::canonical(work.file("tunnells")).string();
    ScriptedSockets sockets;
    sockets.sockets = {{9001, 10}};
    FixedClock clock;
    TunnelHealthTracker tracker(work.withSeparator(), sockets, clock);
    tracker.started("A", {{9001}, false});
    const TunnelClients clients(tunnels, {{10, tunnels + "/A/ASSH.exe"}}, '/', false);
    const auto pass = [&] { tracker.pass(clients, {"A"}, [](const std::string&) { return ClientSetup{}; }); };
    const std::string line(99, 'x');
    std::string log;
    while (log.size() <= 128 * 1024)
        log += line + "\n";
    work.write("tunnells/A/client.log", log.substr(0, 100 * 1024));
    pass();
    EXPECT_EQ(work.read("tunnells/A/client.log").size(), 100u * 1024) << "below twice what is kept";
    work.write("tunnells/A/client.log", log);
    pass();
    const std::string kept = work.read("tunnells/A/client.log");
    EXPECT_LE(kept.size(), 64u * 1024);
    EXPECT_GT(kept.size(), 63u * 1024);
    EXPECT_EQ(kept.front(), 'x') << "cut at a line's start";
}

} // namespace
} // namespace quorvane
