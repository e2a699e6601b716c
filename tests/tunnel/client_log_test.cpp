// The client's reasons read from its real output, and its log file read and trimmed from the end.
#include "tunnel/client_log.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

struct OutputCase {
    const char* name;
    std::string output;
    FailureKind kind;
    std::string detail;
    std::optional<HostKeyOffer> offer;
    std::string hop{};
};

// The start of a tunnel's client behind a jump host, with -v on both clients.
const std::string kJumpStart = "Starting local proxy command: plink -ssh -batch -v -P 2222 -nc 10.0.0.7:22 gw\n"
                               "Connected to 10.0.0.7\n"
                               "proxy: Looking up host \"gw\" for SSH connection\n"
                               "proxy: Connecting to 192.0.2.1 port 2222\n";
const std::string kJumpEnd = "Remote side unexpectedly closed network connection\n"
                             "FATAL ERROR: Remote side unexpectedly closed network connection\n";

const HostKeyOffer kFirstKey{"127.0.0.1", "41093", "ssh-ed25519", "SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o"};
const HostKeyOffer kSecondKey{"127.0.0.1", "41093", "ssh-ed25519",
                              "SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k"};

const OutputCase kOutputs[] = {
    {"UnknownKeyBatch",
     "The host key is not cached for this server:\n"
     "  127.0.0.1 (port 41093)\n"
     "You have no guarantee that the server is the computer you\n"
     "think it is.\n"
     "The server's ssh-ed25519 key fingerprint is:\n"
     "  ssh-ed25519 255 SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o\n"
     "Connection abandoned.\n"
     "FATAL ERROR: Cannot confirm a host key in batch mode\n",
     FailureKind::HostKeyUnknown, "Cannot confirm a host key in batch mode", kFirstKey},
    {"UnknownKeyPrompt",
     "The host key is not cached for this server:\n"
     "  127.0.0.1 (port 41093)\n"
     "You have no guarantee that the server is the computer you\n"
     "think it is.\n"
     "The server's ssh-ed25519 key fingerprint is:\n"
     "  ssh-ed25519 255 SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o\n"
     "If you trust this host, enter \"y\" to add the key to Plink's\n"
     "cache and carry on connecting.\n"
     "If you want to carry on connecting just once, without adding\n"
     "the key to the cache, enter \"n\".\n"
     "If you do not trust this host, press Return to abandon the\n"
     "connection.\n"
     "Store key in cache? (y/n, Return cancels connection, i for more info) Connection abandoned.\n",
     FailureKind::HostKeyUnknown, "Connection abandoned.", kFirstKey},
    {"ChangedKeyBatch",
     "WARNING - POTENTIAL SECURITY BREACH!\n"
     "The host key does not match the one Plink has cached for\n"
     "this server:\n"
     "  127.0.0.1 (port 41093)\n"
     "This means that either the server administrator has changed\n"
     "the host key, or you have actually connected to another\n"
     "computer pretending to be the server.\n"
     "The new ssh-ed25519 key fingerprint is:\n"
     "  ssh-ed25519 255 SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k\n"
     "Connection abandoned.\n"
     "FATAL ERROR: Cannot confirm a host key in batch mode\n",
     FailureKind::HostKeyChanged, "Cannot confirm a host key in batch mode", kSecondKey},
    {"ChangedKeyPrompt",
     "WARNING - POTENTIAL SECURITY BREACH!\n"
     "The host key does not match the one Plink has cached for\n"
     "this server:\n"
     "  127.0.0.1 (port 41093)\n"
     "This means that either the server administrator has changed\n"
     "the host key, or you have actually connected to another\n"
     "computer pretending to be the server.\n"
     "The new ssh-ed25519 key fingerprint is:\n"
     "  ssh-ed25519 255 SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k\n"
     "If you were expecting this change and trust the new key,\n"
     "enter \"y\" to update Plink's cache and carry on connecting.\n"
     "If you want to carry on connecting but without updating the\n"
     "cache, enter \"n\".\n"
     "If you want to abandon the connection completely, press\n"
     "Return to cancel. Pressing Return is the ONLY guaranteed\n"
     "safe choice.\n"
     "Update cached key? (y/n, Return cancels connection, i for more info) Connection abandoned.\n",
     FailureKind::HostKeyChanged, "Connection abandoned.", kSecondKey},
    {"ConfiguredKeyMismatch", "FATAL ERROR: Host key not in manually configured list\n", FailureKind::HostKeyChanged,
     "Host key not in manually configured list", std::nullopt},
    {"ConfiguredKeyMismatchVerbose",
     "Looking up host \"127.0.0.1\" for SSH connection\n"
     "Connecting to 127.0.0.1 port 41093\n"
     "Connected to 127.0.0.1\n"
     "We claim version: SSH-2.0-PuTTY_Release_0.78\n"
     "Remote version: SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u10\n"
     "Using SSH protocol version 2\n"
     "Enabling strict key exchange semantics\n"
     "Doing NTRU Prime / Curve25519 hybrid key exchange, using hash SHA-512 (unaccelerated)\n"
     "Host key fingerprint is:\n"
     "ssh-ed25519 255 SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o\n"
     "Host key not in manually configured list\n"
     "FATAL ERROR: Host key not in manually configured list\n",
     FailureKind::HostKeyChanged, "Host key not in manually configured list", kFirstKey},
    {"WrongPasswordBatch",
     "Keyboard-interactive authentication prompts from server:\r\n"
     "End of keyboard-interactive prompts from server\r\n"
     "Access denied\r\n"
     "Keyboard-interactive authentication prompts from server:\r\n"
     "FATAL ERROR: Configured password was not accepted\n",
     FailureKind::AccessDenied, "Configured password was not accepted", std::nullopt},
    {"WrongPasswordInteractive",
     "Using username \"quorvanetest\".\r\n"
     "-- Keyboard-interactive authentication prompts from server: ------------------\r\n"
     "-- End of keyboard-interactive prompts from server ---------------------------\r\n"
     "Access denied\r\n"
     "-- Keyboard-interactive authentication prompts from server: ------------------\r\n"
     "FATAL ERROR: Configured password was not accepted\n",
     FailureKind::AccessDenied, "Configured password was not accepted", std::nullopt},
    {"NoPasswordMethod", "FATAL ERROR: No supported authentication methods available (server sent: publickey)\n",
     FailureKind::AccessDenied, "No supported authentication methods available (server sent: publickey)", std::nullopt},
    {"NothingListening", "FATAL ERROR: Connection refused\n", FailureKind::ConnectionRefused, "Connection refused",
     std::nullopt},
    {"UnknownName", "Unable to open connection:\nName or service not known", FailureKind::NameNotKnown,
     "Name or service not known", std::nullopt},
    {"ServerWentAway",
     "Using username \"quorvanetest\".\r\n"
     "Keyboard-interactive authentication prompts from server:\r\n"
     "End of keyboard-interactive prompts from server\r\n"
     "FATAL ERROR: Remote side unexpectedly closed network connection\n",
     FailureKind::ClientEnded, "Remote side unexpectedly closed network connection", std::nullopt},
    {"LocalPortTakenVerbose",
     "Using username \"quorvanetest\".\r\n"
     "Attempting keyboard-interactive authentication\n"
     "Keyboard-interactive authentication prompts from server:\r\n"
     "End of keyboard-interactive prompts from server\r\n"
     "Access granted\n"
     "Local port 34397 forwarding to 127.0.0.1:41093 failed: Address already in use\n",
     FailureKind::LocalPortInUse, "34397", std::nullopt},
    {"Connected",
     "Using username \"quorvanetest\".\r\n"
     "Keyboard-interactive authentication prompts from server:\r\n"
     "End of keyboard-interactive prompts from server\r\n",
     FailureKind::None, "", std::nullopt},
    {"Silent", "", FailureKind::None, "", std::nullopt},
    {"JumpHostKeyUnknown",
     kJumpStart +
         "proxy: The host key is not cached for this server:\n"
         "proxy:   192.0.2.1 (port 2222)\n"
         "proxy: The server's ssh-ed25519 key fingerprint is:\n"
         "proxy:   ssh-ed25519 255 SHA256:fStMZNHb+Jck5kklXNk7bV48/BZVZe//9JDpq3WY9pQ\n"
         "proxy: Connection abandoned.\n"
         "proxy: FATAL ERROR: Cannot confirm a host key in batch mode\n" +
         kJumpEnd,
     FailureKind::HostKeyUnknown, "Cannot confirm a host key in batch mode",
     HostKeyOffer{"192.0.2.1", "2222", "ssh-ed25519", "SHA256:fStMZNHb+Jck5kklXNk7bV48/BZVZe//9JDpq3WY9pQ"},
     "192.0.2.1"},
    {"JumpAccessDenied",
     kJumpStart + "proxy: Access denied\nproxy: FATAL ERROR: Configured password was not accepted\n" + kJumpEnd,
     FailureKind::AccessDenied, "Configured password was not accepted", std::nullopt, "192.0.2.1"},
    {"JumpRefusesTheServer",
     kJumpStart + "proxy: FATAL ERROR: Server refused to open main channel: Connect failed [Connection refused]\n" +
         kJumpEnd,
     FailureKind::ConnectionRefused, "Server refused to open main channel: Connect failed [Connection refused]",
     std::nullopt, "192.0.2.1"},
    // The jump host let the client through after a refused method: the server's own refusal is the reason.
    {"ServerDeniesBehindAJumpHost",
     kJumpStart + "proxy: Access denied\nproxy: Access granted\nAccess denied\n"
                  "FATAL ERROR: Configured password was not accepted\n",
     FailureKind::AccessDenied, "Configured password was not accepted", std::nullopt},
};

class ClientOutputTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ClientOutputTest, GivesTheReasonInTheClientsWords) {
    const ClientFailure failure = parseClientOutput(GetParam().output);
    EXPECT_EQ(failure.kind, GetParam().kind);
    EXPECT_EQ(failure.detail, GetParam().detail);
    EXPECT_EQ(failure.hostKey, GetParam().offer);
    EXPECT_EQ(failure.hop, GetParam().hop);

    // What came before the tail, however long, neither hides the reason nor adds one.
    const std::string earlier = "FATAL ERROR: Connection refused\n" + std::string(40000, 'x') + "\n";
    EXPECT_EQ(parseClientOutput(earlier + GetParam().output), failure);
}

INSTANTIATE_TEST_SUITE_P(Plink078, ClientOutputTest, ::testing::ValuesIn(kOutputs),
                         [](const auto& info) { return std::string(info.param.name); });

// How far a connect got, from plink 0.78's -v lines as this machine's server and stalling servers drew them; and a
// server that closes a connection before its greeting (too many logins at once) told from one that ended a session.
TEST(ConnectStage, IsTheLastStepTheClientWroteAndAnEarlyCloseIsToldApart) {
    const std::string start = "Looking up host \"127.0.0.1\" for SSH connection\nConnecting to 127.0.0.1 port 2299\n";
    const std::string connected = start + "Connected to 127.0.0.1\nWe claim version: SSH-2.0-PuTTY_Release_0.78\n";
    const std::string greeted = connected + "Remote version: SSH-2.0-OpenSSH_9.2p1\nUsing SSH protocol version 2\n";
    const std::string keyed = greeted + "Initialised AES-256 SDCTR (AES-NI accelerated) outbound encryption\n"
                                        "Initialised AES-256 SDCTR (AES-NI accelerated) inbound encryption\n"
                                        "Using username \"u\".\n";
    const std::string granted = keyed + "Access granted\nLocal port 9111 forwarding to 127.0.0.1:22\n";
    const std::string closed = "FATAL ERROR: Remote side unexpectedly closed network connection\n";
    const struct {
        const char* name;
        std::string output;
        ConnectStage stage;
        std::string hop;
        FailureKind ended; // the reason, had the client ended with closed after it
    } rows[] = {
        {"Nothing", "", ConnectStage::Unknown, "", FailureKind::ClientEnded},
        {"Reaching", start, ConnectStage::Reaching, "", FailureKind::ClientEnded},
        {"Greeting", connected, ConnectStage::Greeting, "", FailureKind::ClosedEarly},
        {"KeyExchange", greeted, ConnectStage::KeyExchange, "", FailureKind::ClientEnded},
        {"Login", keyed, ConnectStage::Login, "", FailureKind::ClientEnded},
        {"Forwarding", granted, ConnectStage::Forwarding, "", FailureKind::ClientEnded},
        // An earlier connect in the same log, through to the end, does not count for the last one.
        {"SecondTry", granted + closed + start, ConnectStage::Reaching, "", FailureKind::ClientEnded},
        // Behind a jump host the stall is that host's while it has not let the client through.
        {"HopGreeting", kJumpStart + "proxy: Connected to 192.0.2.1\n", ConnectStage::Greeting, "192.0.2.1",
         FailureKind::ClientEnded},
        {"HopThrough", kJumpStart + "proxy: Access granted\n", ConnectStage::Greeting, "", FailureKind::ClientEnded},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string hop;
        EXPECT_EQ(connectStageOf(row.output, &hop), row.stage);
        EXPECT_EQ(hop, row.hop);
        if (row.hop.empty()) {
            EXPECT_EQ(parseClientOutput(row.output + closed).kind, row.ended);
        }
    }
    EXPECT_EQ(parseClientOutput(connected + "FATAL ERROR: Connection reset by peer\n").kind, FailureKind::ClosedEarly);
}

} // namespace
} // namespace quorvane
