// A fresh client log is readable by the user alone (POSIX modes); a followed log is held open once, and let go.
#include "tunnel/tunnel_health_tracker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

class NoSockets : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>&) override { return {}; }
};

int descriptorsOpenOn(const std::string& file) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += std::filesystem::read_symlink(entry.path(), error) == file ? 1 : 0;
    }
    return count;
}

TEST(TunnelHealthTracker, AFreshClientLogIsForTheUserAlone) {
    test::TempDir work;
    work.write("tunnells/C/client.log", "earlier words");
    NoSockets sockets;
    SystemClock clock;
    TunnelHealthTracker tracker(work.withSeparator(), sockets, clock);
    std::string problem;
    EXPECT_EQ(std::filesystem::status(tracker.freshClientLog("C", problem)).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(TunnelHealthTracker, HoldsARunningClientsLogOpenOnceAndLetsItGoWhenStopped) {
    test::TempDir work;
    work.write("tunnells/A/client.log", "");
    const std::string tunnels = std::filesystem::canonical(work.file("tunnells")).string();
    const std::string log = tunnels + "/A/client.log";
    NoSockets sockets;
    SystemClock clock;
    TunnelHealthTracker tracker(work.withSeparator(), sockets, clock);
    tracker.started("A", {{9001}, false});
    const TunnelClients clients(tunnels, {{10, tunnels + "/A/ASSH.exe"}}, '/', false);
    for (int pass = 0; pass < 3; ++pass) {
        tracker.pass(clients, {"A"}, [](const std::string&) { return ClientSetup{}; });
        tracker.readClientWords();
    }
    EXPECT_EQ(descriptorsOpenOn(log), 1);
    tracker.stopped("A");
    EXPECT_EQ(descriptorsOpenOn(log), 0) << "the folder may be removed next";
}

} // namespace
} // namespace quorvane
