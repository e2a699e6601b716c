// The program's command line against a real sshd: commands carried out by themselves, then handed to
// a running instance.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "store/tunnel_definition.h"
#include "support/ssh_server.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane::test {
namespace {

namespace stdfs = std::filesystem;

class CommandLine : public ::testing::Test {
protected:
    // A portable folder of its own with the program, the client and one tunnel to the test server.
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        server = std::make_unique<SshServer>();
        stdfs::copy_file(QUORVANE_PROGRAM, portable.file("quorvane"));
        stdfs::copy_file(plinkPath(), portable.file("plink.exe"));
        portable.makeFolder("tunnells/Cli");
        stdfs::copy_file(plinkPath(), portable.file("tunnells/Cli/CliSSH.exe"));
        localPort = freeLoopbackPort();
        SaveDefinition(portable.withSeparator(), "Cli",
                       {"127.0.0.1", std::to_string(server->port()), server->user(), server->password(),
                        std::to_string(localPort), "127.0.0.1", std::to_string(server->port()), false});
        // The instance socket goes into a runtime folder of this test alone.
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    }
    void TearDown() override {
        if (server)
            run({"--disconnect", "Cli"});
        unsetenv("XDG_RUNTIME_DIR");
    }

    int run(std::vector<std::string> args, int timeoutMs = 30000) {
        args.insert(args.begin(), portable.file("quorvane"));
        output.clear();
        return runProgram(args, "", &output, timeoutMs);
    }

    std::unique_ptr<SshServer> server;
    TempDir portable;
    TempDir runtime;
    int localPort = 0;
    std::string output;
};

TEST_F(CommandLine, WorksByItselfAndThroughTheRunningInstance) {
    EXPECT_EQ(run({"--connect", "Cli"}), 0) << output;
    EXPECT_EQ(output, "Cli\tconnected\n") << "no command line box on the terminal";
    EXPECT_EQ(run({"--status"}), 0);
    EXPECT_EQ(output, "Cli\tconnected\n") << "nothing but the status on the output";
    EXPECT_EQ(run({"--disconnect", "Nope"}), 1);
    EXPECT_NE(output.find("Nope"), std::string::npos);
    EXPECT_EQ(run({"--connect"}), 2);
    EXPECT_EQ(run({"--frobnicate"}), 2);

    // Started hidden, the program takes the commands of later starts, and a plain start just shows it.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ChildProcess instance({portable.file("quorvane"), "--hidden"}, "/dev/null");
    unsetenv("QT_QPA_PLATFORM");
    bool listening = false;
    for (int i = 0; i < 100 && !listening; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const auto& entry : stdfs::directory_iterator(runtime.path()))
            listening = listening || entry.path().filename().string().rfind("quorvane-", 0) == 0;
    }
    ASSERT_TRUE(listening) << "the instance socket never appeared";
    EXPECT_EQ(run({}, 5000), 0) << "a second plain start hands over and ends";
    EXPECT_EQ(run({"--status"}), 0);
    EXPECT_EQ(output, "Cli\tconnected\n");
    // The status asked for with a command shows its effect.
    EXPECT_EQ(run({"--disconnect", "Cli", "--status"}), 0);
    EXPECT_EQ(output, "Cli\tnot connected\n") << "the running instance disconnected it";
    EXPECT_TRUE(instance.running());
}

} // namespace
} // namespace quorvane::test
