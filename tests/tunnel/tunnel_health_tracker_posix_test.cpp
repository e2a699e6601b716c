// A fresh client log is readable by the user alone (POSIX modes); a followed log is held open once, and let go.
#include "tunnel/tunnel_health_tracker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "support/temp_dir.h"
#include "tunnel/file_growth_watch.h"
#include "tunnel/forward_events.h"

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

// Each round asks the watch once, then the follower reads only what it was told of: nothing is missed, a write
// after the question is read at the next round, and a file trimmed or let go is followed on from its new end.
TEST(ClientLogFollower, AWatchedLogIsReadWhenWrittenAndOnlyThen) {
    test::TempDir work;
    const std::string log = work.file("client.log");
    const auto append = [&log](const std::string& text) { std::ofstream(log, std::ios::app) << text; };
    append("0123456789");
    const std::unique_ptr<FileGrowthWatch> growth = createFileGrowthWatch();
    ClientLogFollower follower(log, growth.get());
    const auto round = [&] {
        growth->collect();
        follower.readNew();
        return follower.offset();
    };
    EXPECT_EQ(round(), 10u) << "what it held before it was watched";
    EXPECT_EQ(round(), 10u);
    append("abcde");
    follower.readNew();
    EXPECT_EQ(follower.offset(), 10u) << "not yet told";
    EXPECT_EQ(round(), 15u);
    std::filesystem::resize_file(log, 0);
    append("xyz");
    EXPECT_EQ(round(), 3u);
    ClientLogFollower moved = std::move(follower);
    append("12");
    growth->collect();
    moved.readNew();
    EXPECT_EQ(moved.offset(), 5u);
    moved.release();
    EXPECT_EQ(descriptorsOpenOn(std::filesystem::canonical(log).string()), 0);
    append("3");
    growth->collect();
    moved.readNew();
    EXPECT_EQ(moved.offset(), 6u) << "opened again";

    // Two followers of one file (a second name of it): each is told of a write, and one let go leaves the other.
    std::filesystem::create_hard_link(log, work.file("second.log"));
    auto other = std::make_unique<ClientLogFollower>(work.file("second.log"), growth.get());
    growth->collect();
    other->readNew();
    append("45");
    growth->collect();
    moved.readNew();
    other->readNew();
    EXPECT_EQ(other->offset(), 8u);
    other.reset();
    append("67");
    growth->collect();
    moved.readNew();
    EXPECT_EQ(moved.offset(), 10u);
}

} // namespace
} // namespace quorvane
