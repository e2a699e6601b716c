// The command line: what is accepted, what is refused, and requests that survive the trip between starts.
#include "cli/start_command.h"

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
