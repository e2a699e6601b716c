// The real-server fixture on its own: plink forwarding through the private sshd to the test service.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane::test {
namespace {

std::vector<std::string> plinkForward(const SshServer& server, int localPort, int servicePort) {
    return {plinkPath(), "-ssh",
            "-P",        std::to_string(server.port()),
            "-l",        server.user(),
            "-pw",       server.password(),
            "-L",        std::to_string(localPort) + ":127.0.0.1:" + std::to_string(servicePort),
            "127.0.0.1"};
}

class SshFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        const char* home = std::getenv("HOME");
        homeBefore = home ? home : "";
        try {
            server = std::make_unique<SshServer>();
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
    }

    std::unique_ptr<SshServer> server;
    std::string homeBefore;
};

TEST(TcpServiceTest, AnswersEveryLineOnEveryConnection) {
    TcpService service("svc:");
    EXPECT_EQ(askLine(service.port(), "one"), "svc:one");

    // Two lines in one send, and a second connection open at the same time.
    TcpService echo;
    const int port = echo.port();
    std::optional<std::string> parallel;
    std::thread other([&] { parallel = askLine(port, "other"); });
    EXPECT_EQ(askLine(port, "first"), "echo:first");
    other.join();
    EXPECT_EQ(parallel, "echo:other");

    EXPECT_EQ(askLine(freeLoopbackPort(), "nobody", 300), std::nullopt);
}

TEST(TcpServiceTest, ChildIsGoneAfterDestruction) {
    int port = 0;
    pid_t pid = 0;
    {
        TcpService service;
        port = service.port();
        pid = service.pid();
        ASSERT_TRUE(askLine(port, "x"));
    }
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
    EXPECT_EQ(askLine(port, "x", 300), std::nullopt);
}

TEST_F(SshFixture, PlinkForwardsThroughTheServerUntilStopped) {
    EXPECT_EQ(std::string(std::getenv("HOME")), server->home());
    TcpService service;
    const int localPort = freeLoopbackPort();
    TempDir out;
    ChildProcess plink(plinkForward(*server, localPort, service.port()), out.file("plink.log"));

    // Host key already accepted: a client with no input stays connected and forwards.
    EXPECT_EQ(askLineWithRetry(localPort, "hello"), "echo:hello") << out.read("plink.log") << server->log();
    EXPECT_EQ(askLine(localPort, "again"), "echo:again");
    EXPECT_TRUE(plink.running());

    plink.stop();
    EXPECT_EQ(askLine(localPort, "late", 300), std::nullopt);
}

TEST_F(SshFixture, StoppingTheServerEndsItsSessionsAndRestoresHome) {
    TcpService service;
    const int localPort = freeLoopbackPort();
    ChildProcess plink(plinkForward(*server, localPort, service.port()));
    ASSERT_EQ(askLineWithRetry(localPort, "up"), "echo:up");

    const int sshPort = server->port();
    server.reset();
    // The session went with the server, so the client loses its connection and ends.
    for (int i = 0; i < 300 && plink.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(plink.running());
    EXPECT_EQ(askLine(sshPort, "", 300), std::nullopt);
    const char* home = std::getenv("HOME");
    EXPECT_EQ(home ? home : "", homeBefore);
}

TEST(ProcessesByName, StopEndsEveryProcessOfThatNameOnly) {
    TempDir dir;
    copySleeper(dir.file("FixAlfaSSH.exe"));
    copySleeper(dir.file("FixBetaSSH.exe"));
    ChildProcess a1({dir.file("FixAlfaSSH.exe"), "60"});
    ChildProcess a2({dir.file("FixAlfaSSH.exe"), "60"});
    ChildProcess b({dir.file("FixBetaSSH.exe"), "60"});
    for (int i = 0; i < 200 && processesNamed("FixAlfaSSH.exe").size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    EXPECT_EQ(stopProcessesNamed("FixAlfaSSH.exe"), 2);
    EXPECT_TRUE(waitUntilNoneNamed("FixAlfaSSH.exe", 1000));
    EXPECT_FALSE(a1.running());
    EXPECT_TRUE(b.running());
    EXPECT_EQ(processesNamed("FixBetaSSH.exe").size(), 1u);
}

} // namespace
} // namespace quorvane::test
