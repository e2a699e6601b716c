// A tunnel whose server only its jump host can reach, with the real client and two real servers.
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "service/tunnel_words.h"
#include "store/tunnel_definition.h"
#include "support/iptables_rule.h"
#include "support/scripted_dialogs.h"
#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane::test {
namespace {

struct JumpCase {
    const char* name;
    bool gateKeyKnown; // the jump host's key is in its definition already
    bool gatePasswordRight;
    TunnelStatus status;
    const char* words; // in the state's words, when it failed
};

void PrintTo(const JumpCase& c, std::ostream* out) {
    *out << c.name;
}

class JumpE2e : public ::testing::TestWithParam<JumpCase> {
protected:
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        if (const std::string gap = iptablesGap(); !gap.empty()) {
            if (prerequisitesRequired())
                FAIL() << gap;
            GTEST_SKIP() << gap;
        }
        try {
            gate = std::make_unique<SshServer>();
            inside = std::make_unique<SshServer>();
            // Only the jump host's sessions (its account) may reach the inner server; this program may not.
            rule = std::make_unique<IptablesRule>(
                std::vector<std::string>{"-p", "tcp", "-d", "127.0.0.1", "--dport", std::to_string(inside->port()),
                                         "-m", "owner", "!", "--uid-owner", gate->user(), "-j", "REJECT",
                                         "--reject-with", "tcp-reset"},
                "OUTPUT");
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
        work.makeFolder("tunnells");
        std::filesystem::copy_file(plinkPath(), work.file("plink.exe"));
        AppOptions options;
        options.workingDir = work.withSeparator();
        app = std::make_unique<QuorvaneApp>(std::move(options));
        app->start();
    }

    void TearDown() override {
        if (app && gate) {
            app->main().disconnectTunnel("JmInside");
            // The jump host's client ends with the tunnel's, which held its only connection.
            EXPECT_TRUE(waitUntilNoneNamed("plink.exe", 5000)) << "the jump host's client outlived its tunnel";
        }
        app.reset();
        if (gate) {
            EXPECT_EQ(stopProcessesNamed("JmInsideSSH.exe"), 0) << "a client outlived the test";
            stopProcessesNamed("plink.exe");
        }
    }

    void add(const std::string& name, const TunnelDefinition& definition) {
        dialogs.answerInput(QString::fromStdString(name));
        app->main().Aggiungi1Click();
        SaveDefinition(work.withSeparator(), name, definition);
    }

    std::unique_ptr<SshServer> gate;
    std::unique_ptr<SshServer> inside;
    std::unique_ptr<IptablesRule> rule;
    TempDir work;
    ScriptedDialogs dialogs;
    std::unique_ptr<QuorvaneApp> app;
};

TEST_P(JumpE2e, TheInnerServerIsReachedThroughTheJumpHostOrTheHopIsNamed) {
    const JumpCase& c = GetParam();
    TcpService service;
    ASSERT_FALSE(askLine(inside->port(), "x", 500).has_value()) << "the inner server is reachable directly";

    TunnelDefinition gateway{"127.0.0.1",  std::to_string(gate->port()),
                             gate->user(), c.gatePasswordRight ? gate->password() : "wrong",
                             "1",          "127.0.0.1",
                             "1",          false};
    if (c.gateKeyKnown)
        gateway.HostKey = gate->hostKeyFingerprint();
    add("JmGate", gateway);
    const int port = freeLoopbackPort();
    TunnelDefinition tunnel{
        "127.0.0.1", std::to_string(inside->port()), inside->user(), inside->password(), std::to_string(port),
        "127.0.0.1", std::to_string(service.port()), false};
    tunnel.HostKey = inside->hostKeyFingerprint();
    tunnel.PassaPer = "JmGate";
    add("JmInside", tunnel);
    dialogs.otherAnswers = true; // the jump host's key, when asked, is trusted

    ASSERT_TRUE(app->main().connectTunnel("JmInside"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    TunnelHealth health;
    while (std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(200);
        health = app->service().health("JmInside");
        if (health.status == c.status && !health.awaitingUser)
            break;
    }
    ASSERT_EQ(health.status, c.status) << statusWords(health, BuiltInMessages());
    if (c.status == TunnelStatus::Connected) {
        EXPECT_EQ(askLineWithRetry(port, "ping"), "echo:ping");
        // Trusted when asked, the key is the jump host's own, not the tunnel's.
        EXPECT_EQ(LoadDefinition(work.withSeparator(), "JmGate").HostKey, gate->hostKeyFingerprint());
        EXPECT_EQ(LoadDefinition(work.withSeparator(), "JmInside").HostKey, inside->hostKeyFingerprint());
        EXPECT_EQ(dialogs.questions.size(), c.gateKeyKnown ? 0 : 1) << dialogs.questions.join("\n").toStdString();
    } else {
        EXPECT_EQ(health.failure.hop, "127.0.0.1");
        EXPECT_NE(statusWords(health, BuiltInMessages()).find(c.words), std::string::npos)
            << statusWords(health, BuiltInMessages());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, JumpE2e,
                         ::testing::Values(JumpCase{"Through", true, true, TunnelStatus::Connected, ""},
                                           JumpCase{"GateKeyAsked", false, true, TunnelStatus::Connected, ""},
                                           JumpCase{"GateRefuses", true, false, TunnelStatus::Failed,
                                                    "host di passaggio 127.0.0.1: accesso negato"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvane::test
