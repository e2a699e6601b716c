// The real program as the running instance: a flood of connections to its socket, a start that finds it silent.
#include <QLockFile>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/instance_channel.h"
#include "process/descriptor_limit.h"
#include "support/ssh_server.h"
#include "support/temp_dir.h"

namespace quorvane::test {
namespace {

namespace stdfs = std::filesystem;

class Instance : public ::testing::Test {
protected:
    // A portable folder without tunnels, its socket and lock in a runtime folder of this test alone.
    void SetUp() override {
        stdfs::copy_file(QUORVANE_PROGRAM, portable.file("quorvane"));
        portable.makeFolder("tunnells");
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        socketPath = instanceName(portable.withSeparator()).toStdString();
    }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

    int run(std::vector<std::string> args, int timeoutMs = 30000) {
        args.insert(args.begin(), portable.file("quorvane"));
        return runProgram(args, "", &output, timeoutMs);
    }
    int connectToSocket() const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
        const int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval patience{1, 0}; // a server that stops accepting would block a connect for good
        setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        if (connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return peer;
        close(peer);
        return -1;
    }
    // Answered through the socket: a start that finds no instance would answer --status by itself.
    bool answersWithin(int ms) {
        for (int waited = 0; waited < ms; waited += 200) {
            const int peer = connectToSocket();
            close(peer);
            if (peer >= 0 && run({"--status"}) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    static long residentKb(pid_t pid) {
        long pages = 0;
        std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> pages;
        return pages * sysconf(_SC_PAGESIZE) / 1024;
    }

    TempDir portable;
    TempDir runtime;
    std::string socketPath;
    std::string output;
};

TEST_F(Instance, AFloodOfConnectionsLeavesTheSameInstanceAnsweringAndItsMemoryAsItWas) {
    rlimit own{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &own), 0);
    if (own.rlim_max < 2100)
        GTEST_SKIP() << "the test itself needs 2,100 descriptors";
    // Started with a desktop session's soft limit, which 1,064 connections used to exhaust.
    const rlimit session{1024, own.rlim_max};
    setrlimit(RLIMIT_NOFILE, &session);
    ChildProcess instance({portable.file("quorvane"), "--hidden"});
    raiseDescriptorLimit();
    ASSERT_TRUE(answersWithin(20000)) << output;
    const long before = residentKb(instance.pid());

    // As started, then with its descriptors cut to what it holds and 8 more: an accept fails, and Qt closes
    // the server and deletes its socket.
    for (const bool starved : {false, true}) {
        if (starved) {
            const auto held =
                std::distance(stdfs::directory_iterator("/proc/" + std::to_string(instance.pid()) + "/fd"),
                              stdfs::directory_iterator());
            const rlimit cut{static_cast<rlim_t>(held + 8), own.rlim_max};
            ASSERT_EQ(prlimit(instance.pid(), RLIMIT_NOFILE, &cut, nullptr), 0);
        }
        std::vector<int> peers;
        for (int i = 0; i < 2000; ++i)
            peers.push_back(connectToSocket());
        if (!starved) { // the bound is full of idle peers: a start is told so, not left waiting
            EXPECT_EQ(run({"--status"}), 1);
            EXPECT_NE(output.find("closed the connection without answering"), std::string::npos) << output;
        }
        for (const int peer : peers)
            close(peer);
        EXPECT_TRUE(answersWithin(10000)) << (starved ? "starved: " : "") << output;
        EXPECT_EQ(run({}, 10000), 0) << "a plain start hands over rather than opening a second program";
    }
    EXPECT_TRUE(instance.running());
    EXPECT_LT(residentKb(instance.pid()) - before, 5 * 1024) << "kB before: " << before;
}

TEST_F(Instance, AStartRefusesBesideALiveInstanceThatDoesNotAnswerAndReplacesOneThatEnded) {
    {
        QLockFile lock(instanceLockPath(portable.withSeparator())); // as a live instance whose socket is gone
        ASSERT_TRUE(lock.tryLock(0));
        const std::string said = "already running (process " + std::to_string(getpid()) + ") but does not answer";
        for (const std::vector<std::string>& args : {std::vector<std::string>{"--status"}, {}}) {
            EXPECT_EQ(run(args), 1);
            EXPECT_NE(output.find(said), std::string::npos) << output;
        }
    }
    { // A killed instance's lock naming a process id the system has since given to another program.
        ChildProcess stranger({"/bin/sleep", "60"});
        std::ofstream(instanceLockPath(portable.withSeparator()).toStdString())
            << stranger.pid() << "\nsleep\n"
            << QSysInfo::machineHostName().toStdString() << "\n";
        EXPECT_EQ(run({"--status"}), 0) << output;
    }
    // Killed, an instance leaves its socket and lock behind; the next start takes both over.
    auto crashed = std::make_unique<ChildProcess>(std::vector<std::string>{portable.file("quorvane"), "--hidden"});
    ASSERT_TRUE(answersWithin(20000)) << output;
    kill(crashed->pid(), SIGKILL);
    crashed.reset();
    ASSERT_TRUE(stdfs::exists(socketPath));
    ChildProcess next({portable.file("quorvane"), "--hidden"});
    EXPECT_TRUE(answersWithin(20000)) << output;
    EXPECT_TRUE(next.running());
}

} // namespace
} // namespace quorvane::test
