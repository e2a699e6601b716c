// The command line: what is accepted, what is refused, and requests that survive the trip between starts.
#include "cli/start_command.h"
#include "service/tunnel_words.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Kind = StartCommand::Kind;

TEST(StartCommandLine, AcceptsTheOptionsAndRefusesWhatIsNotOne) {
    const auto parsed =
        parseStartCommand({"--hidden", "--connect", "Casa mia", "--disconnect=-odd", "--connect=Office", "--status"});
    ASSERT_TRUE(parsed.command) << parsed.error;
    EXPECT_TRUE(parsed.command->hidden && parsed.command->status && parsed.command->runsCommands());
    EXPECT_EQ(parsed.command->actions,
              (std::vector<StartCommand::Action>{
                  {Kind::Connect, "Casa mia"}, {Kind::Disconnect, "-odd"}, {Kind::Connect, "Office"}}));
    EXPECT_FALSE(parseStartCommand({"--hidden"}).command->runsCommands());

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--connect"}, {"--connect", "--status"}, {"--connect="}, {"--disconnect=a\nb"}, {"-x"}, {"Office"}}) {
        const auto refused = parseStartCommand(bad);
        EXPECT_FALSE(refused.command) << bad[0];
        EXPECT_FALSE(refused.error.empty()) << bad[0];
    }
}

TEST(StartCommandLine, RequestsAndRepliesComeBackWholeAndCutOnesAreRefused) {
    StartCommand command;
    command.hidden = true;
    command.status = true;
    command.actions = {{Kind::Connect, "a b\tc"}, {Kind::Disconnect, "é=end"}};
    const std::string request = encodeRequest(command);
    EXPECT_EQ(decodeRequest(request), command);
    EXPECT_EQ(decodeRequest(request.substr(0, request.size() - 4)), std::nullopt) << "no end line";
    EXPECT_EQ(decodeRequest("quorvane-request 1\nrm -rf\nend\n"), std::nullopt);
    EXPECT_EQ(decodeRequest("hello\nend\n"), std::nullopt);

    int exitCode = -1;
    std::string output;
    ASSERT_TRUE(decodeReply(encodeReply(1, "x\ty\n"), exitCode, output));
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(output, "x\ty\n");
    EXPECT_FALSE(decodeReply("ok\n", exitCode, output));
    EXPECT_FALSE(decodeReply("", exitCode, output));
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// --status carries what the window's state says, in English: the hop that failed, a refusing service, the next try.
TEST(StatusLine, TellsTheHopTheServiceWarningAndTheNextTry) {
    TunnelHealth hop;
    hop.status = TunnelStatus::Failed;
    hop.failure = {FailureKind::AccessDenied, "Configured password was not accepted", std::nullopt, "10.0.0.1"};
    TunnelHealth warned;
    warned.status = TunnelStatus::Connected;
    warned.warning = ServiceWarning{"127.0.0.1:5432", std::chrono::system_clock::now()};
    TunnelHealth waiting;
    waiting.status = TunnelStatus::Failed;
    waiting.failure.kind = FailureKind::ServerNotAnswering;
    waiting.retryIn = 12;
    TunnelHealth stalled;
    stalled.status = TunnelStatus::Failed;
    stalled.failure.kind = FailureKind::ConnectTimedOut;
    stalled.failure.stage = ConnectStage::KeyExchange;
    const struct {
        TunnelHealth health;
        std::string line;
    } rows[] = {
        {hop, "Db\tfailed: jump host 10.0.0.1: access denied"},
        {warned,
         "Db\tconnected (service 127.0.0.1:5432 refuses connections since " + clockTime(warned.warning->at) + ")"},
        {waiting, "Db\tfailed: server not answering; next try in 12 s"},
        {stalled, "Db\tfailed: SSH connection not completed (the key exchange never ends)"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(statusLine("Db", row.health), row.line);
}

} // namespace
} // namespace quorvane
