// A real interface added and removed is told as a network change (Linux, as root).
#include "tunnel/network_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "support/ssh_server.h"

namespace quorvane {
namespace {

// Polls for up to a second, as the program's once-a-second call would see it.
bool networkChangeWithinASecond(NetworkWatch& watch) {
    for (int i = 0; i < 100; ++i) {
        if (watch.look() == NetworkWatch::Change::Network)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Why the test cannot run here, or "". Adds the interface as a side effect.
std::string addInterface(const std::string& name) {
    if (geteuid() != 0)
        return "not root (adding an interface needs it)";
    if (std::system("ip -V >/dev/null 2>&1") != 0)
        return "no ip command (install iproute2)";
    // Some kernels are built without dummy interfaces; an empty bridge touches nothing either.
    for (const char* type : {"dummy", "bridge"})
        if (std::system(("ip link add " + name + " type " + type + " 2>/dev/null").c_str()) == 0)
            return "";
    return "the kernel makes neither a dummy nor a bridge interface";
}

TEST(NetworkWatch, ToldWhenAnInterfaceComesAndGoes) {
    auto watch = createSystemNetworkWatch();
    EXPECT_EQ(watch->look(), NetworkWatch::Change::None);

    // A name of this process's own, so parallel runs do not collide.
    const std::string name = "qvtest" + std::to_string(getpid());
    if (const std::string gap = addInterface(name); !gap.empty()) {
        if (test::prerequisitesRequired())
            FAIL() << gap;
        GTEST_SKIP() << gap;
    }
    const bool added = networkChangeWithinASecond(*watch);
    const bool removed = std::system(("ip link del " + name).c_str()) == 0 && networkChangeWithinASecond(*watch);
    EXPECT_TRUE(added);
    EXPECT_TRUE(removed);
}

} // namespace
} // namespace quorvane
