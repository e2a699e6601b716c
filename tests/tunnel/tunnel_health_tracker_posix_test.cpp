// A fresh client log is readable by the user alone (POSIX modes).
#include "tunnel/tunnel_health_tracker.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

class NoSockets : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>&) override { return {}; }
};

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

} // namespace
} // namespace quorvane
