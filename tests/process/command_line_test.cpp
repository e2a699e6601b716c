// The client's command line: how it is built from a definition and how the client splits it.
#include "process/command_line.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Arguments = std::vector<std::string>;

TunnelDefinition office(const std::string& serverPort) {
    return {"10.0.0.1", serverPort, "tunnel", "s3cret", "9001", "127.0.0.1", "8089", false};
}

TEST(BuildConnectCommandLineTest, NamesTheServerPortOnlyWhenItIsNot22) {
    const std::string plain = "-ssh -l tunnel -pw s3cret -L 9001:127.0.0.1:8089 10.0.0.1";
    EXPECT_EQ(buildConnectCommandLine(office("22")), plain);
    EXPECT_EQ(buildConnectCommandLine(office("")), plain);
    EXPECT_EQ(buildConnectCommandLine(office("  ")), plain);
    EXPECT_EQ(buildConnectCommandLine(office("2222")),
              "-ssh -P 2222 -l tunnel -pw s3cret -L 9001:127.0.0.1:8089 10.0.0.1");
    EXPECT_EQ(buildConnectCommandLine(office(" 2222 ")),
              "-ssh -P 2222 -l tunnel -pw s3cret -L 9001:127.0.0.1:8089 10.0.0.1");

    // A missing definition leaves only the fixed pieces.
    EXPECT_EQ(buildConnectCommandLine(TunnelDefinition{}), "-ssh -l  -pw  -L :: ");
}

TEST(BuildConnectCommandLineTest, ValuesAreNotQuotedSoBlanksSplitThem) {
    TunnelDefinition definition = office("2222");
    definition.Password = "two words";
    EXPECT_EQ(splitWindowsCommandLine(buildConnectCommandLine(definition)),
              (Arguments{"-ssh", "-P", "2222", "-l", "tunnel", "-pw", "two", "words", "-L", "9001:127.0.0.1:8089",
                         "10.0.0.1"}));
    definition.Password = "quo\"ted";
    // An unpaired quote groups the rest of the line.
    EXPECT_EQ(splitWindowsCommandLine(buildConnectCommandLine(definition)),
              (Arguments{"-ssh", "-P", "2222", "-l", "tunnel", "-pw", "quoted -L 9001:127.0.0.1:8089 10.0.0.1"}));
}

struct SplitCase {
    const char* line;
    Arguments expected;
};

class SplitWindowsCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitWindowsCommandLineTest, SplitsLikeTheCRuntime) {
    EXPECT_EQ(splitWindowsCommandLine(GetParam().line), GetParam().expected) << "line: [" << GetParam().line << "]";
}

INSTANTIATE_TEST_SUITE_P(Table, SplitWindowsCommandLineTest,
                         ::testing::Values(
                             // White space
                             SplitCase{"", {}}, SplitCase{" \t  ", {}}, SplitCase{"a b\tc", {"a", "b", "c"}},
                             SplitCase{"  a   b  ", {"a", "b"}}, SplitCase{"a\nb\rc", {"a\nb\rc"}},
                             // Quotes group and may open and close inside an argument
                             SplitCase{"\"a b\" c", {"a b", "c"}}, SplitCase{"a\"b c\"d e", {"ab cd", "e"}},
                             SplitCase{"\"a\tb\"", {"a\tb"}}, SplitCase{"\"\"", {""}},
                             SplitCase{"a \"\" b", {"a", "", "b"}}, SplitCase{"a\"\"b", {"ab"}},
                             SplitCase{"\"unclosed  run", {"unclosed  run"}},
                             // Doubled quotes inside quotes are one literal quote
                             SplitCase{"\"a\"\"b\"", {"a\"b"}}, SplitCase{"\"\"\"", {"\""}},
                             SplitCase{"\"\"\"\"", {"\""}}, SplitCase{"\"a\"\"\" b", {"a\"", "b"}},
                             // Backslashes are literal unless a quote follows them
                             SplitCase{"C:\\tunnells\\Office\\", {"C:\\tunnells\\Office\\"}},
                             SplitCase{"a\\\\b", {"a\\\\b"}}, SplitCase{"a\\\"b", {"a\"b"}}, SplitCase{"\\\"", {"\""}},
                             SplitCase{"a\\\\\"b c\"", {"a\\b c"}}, SplitCase{"a\\\\\\\"b", {"a\\\"b"}},
                             SplitCase{"\"a\\\\\" b", {"a\\", "b"}},
                             SplitCase{"\"C:\\Program Files\\\" next", {"C:\\Program Files\" next"}},
                             SplitCase{"\\\\\\\\\"x y\"", {"\\\\x y"}}));

} // namespace
} // namespace quorvane
