// The client's command line: how it is built from a definition and how the client splits it.
#include "process/command_line.h"

#include <gtest/gtest.h>

#include <optional>

namespace quorvane {
namespace {

using Arguments = std::vector<std::string>;

TunnelDefinition office(const std::string& serverPort) {
    return {"10.0.0.1", serverPort, "tunnel", "s3cret", "9001", "127.0.0.1", "8089", false};
}

TEST(BuildConnectCommandLineTest, NamesTheServerPortOnlyWhenItIsNot22AndThePasswordOnlyAsAFile) {
    const std::string plain = "-ssh -batch -N -l tunnel -pwfile /dev/fd/3 -L 9001:127.0.0.1:8089 10.0.0.1";
    EXPECT_EQ(buildConnectCommandLine(office("22"), "/dev/fd/3"), plain);
    EXPECT_EQ(buildConnectCommandLine(office(""), "/dev/fd/3"), plain);
    EXPECT_EQ(buildConnectCommandLine(office(" 2222 "), "/dev/fd/3"),
              "-ssh -batch -N -P 2222 -l tunnel -pwfile /dev/fd/3 -L 9001:127.0.0.1:8089 10.0.0.1");
    EXPECT_EQ(displayConnectCommandLine(office("2222")),
              "-ssh -batch -N -P 2222 -l tunnel -pw ******** -L 9001:127.0.0.1:8089 10.0.0.1");

    // No password, no password file: the client asks nothing it could not be told.
    TunnelDefinition keyOnly = office("22");
    keyOnly.Password.clear();
    EXPECT_EQ(buildConnectCommandLine(keyOnly, "/dev/fd/3"),
              "-ssh -batch -N -l tunnel -L 9001:127.0.0.1:8089 10.0.0.1");
    EXPECT_EQ(displayConnectCommandLine(keyOnly), "-ssh -batch -N -l tunnel -L 9001:127.0.0.1:8089 10.0.0.1");
    // A key file, and the other two kinds of forward; a SOCKS proxy needs no service.
    TunnelDefinition kinds = office("22");
    kinds.FileChiave = "keys/id ed.ppk";
    kinds.Direzione = kForwardRemote;
    EXPECT_EQ(buildConnectCommandLine(kinds, "/dev/fd/3"),
              "-ssh -batch -N -l tunnel -i \"keys/id ed.ppk\" -pwfile /dev/fd/3 -R 9001:127.0.0.1:8089 10.0.0.1");
    kinds.Direzione = kForwardDynamic;
    kinds.IpServizio.clear();
    kinds.PortaServizio = "Numero Porta su IP Intranet del servizio";
    EXPECT_EQ(checkConnectFields(kinds), std::nullopt);
    EXPECT_EQ(buildConnectCommandLine(kinds, "/dev/fd/3"),
              "-ssh -batch -N -l tunnel -i \"keys/id ed.ppk\" -pwfile /dev/fd/3 -D 9001 10.0.0.1");

    // Extra forwards follow the main one, each its own option; what cannot be stored is refused.
    TunnelDefinition several = office("22");
    several.Inoltri = {{kForwardLocal, "9002", "db.lan", "5432"}, {kForwardDynamic, "1080", "", ""}};
    EXPECT_EQ(parseExtraForwards(formatExtraForwards(several.Inoltri)), several.Inoltri);
    EXPECT_EQ(checkConnectFields(several), std::nullopt);
    EXPECT_EQ(buildConnectCommandLine(several, "/dev/fd/3"),
              "-ssh -batch -N -l tunnel -pwfile /dev/fd/3 -L 9001:127.0.0.1:8089 -L 9002:db.lan:5432 -D 1080 10.0.0.1");
    several.Inoltri.push_back({kForwardRemote, "9003", "a,b", "22"});
    EXPECT_EQ(checkConnectFields(several),
              (FieldProblem{ConnectField::Inoltri, FieldFault::Unpassable, "R,9003,a,b,22"}));
    several.Inoltri.back() = {kForwardRemote, "9003", "host", "ssh"};
    EXPECT_EQ(checkConnectFields(several),
              (FieldProblem{ConnectField::Inoltri, FieldFault::NotAPort, "R,9003,host,ssh"}));
    // Stored, a control character at an end would be dropped, and a list past 2047 characters cut.
    several.Inoltri.back() = {kForwardRemote, "9003", "host", "22\r"};
    EXPECT_EQ(checkConnectFields(several),
              (FieldProblem{ConnectField::Inoltri, FieldFault::Unpassable, "R,9003,host,22\r"}));
    several.Inoltri.assign(120, ExtraForward{kForwardLocal, "9002", "database.example.org", "5432"});
    EXPECT_EQ(checkConnectFields(several), (FieldProblem{ConnectField::Inoltri, FieldFault::Unpassable}));

    // A trusted host key goes to the client, which then accepts that key alone.
    TunnelDefinition trusted = office("22");
    trusted.HostKey = "SHA256:3xm+nVEf/abc";
    EXPECT_EQ(
        buildConnectCommandLine(trusted, "/dev/fd/3"),
        "-ssh -batch -N -hostkey SHA256:3xm+nVEf/abc -l tunnel -pwfile /dev/fd/3 -L 9001:127.0.0.1:8089 10.0.0.1");
    EXPECT_EQ(buildConnectCommandLine(office("22"), "C:\\Users\\Jo Ann\\pw.tmp"),
              "-ssh -batch -N -l tunnel -pwfile \"C:\\Users\\Jo Ann\\pw.tmp\" -L 9001:127.0.0.1:8089 10.0.0.1");
}

// One hostile value in one field: either refused for that field, or handed to the client whole.
struct HostileCase {
    std::string TunnelDefinition::*field;
    std::string value;
    std::optional<FieldProblem> refused;
};

class HostileFieldTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileFieldTest, ReachesTheClientAsOneArgumentOrIsRefused) {
    TunnelDefinition definition = office("2222");
    definition.*GetParam().field = GetParam().value;
    EXPECT_EQ(checkConnectFields(definition), GetParam().refused);
    if (GetParam().refused)
        return;
    const std::string password = " password's \"file\"\\";
    Arguments expected{"-ssh", "-batch", "-N", "-P", "2222", "-l", definition.Username};
    if (!definition.Password.empty())
        expected.insert(expected.end(), {"-pwfile", password});
    expected.insert(expected.end(), {"-L", "9001:" + definition.IpServizio + ":8089", definition.IpServer});
    const std::string line = buildConnectCommandLine(definition, password);
    EXPECT_EQ(splitWindowsCommandLine(line), expected) << line;
    if (!definition.Password.empty()) {
        EXPECT_EQ(line.find(definition.Password), std::string::npos) << "password on the command line: " << line;
    }
}

using D = TunnelDefinition;
const std::string kInjection = "x -proxycmd \"touch pwned\" 0.0.0.0";

INSTANTIATE_TEST_SUITE_P(
    Table, HostileFieldTest,
    ::testing::Values(
        // Options planted in a value stay inside it
        HostileCase{&D::Username, "bob -proxycmd \"touch ~/pwned\"", {}}, HostileCase{&D::Password, kInjection, {}},
        HostileCase{&D::IpServer, kInjection, {}}, HostileCase{&D::IpServizio, kInjection, {}},
        HostileCase{&D::Password, "open sesame 1", {}}, HostileCase{&D::Password, "S3cret 127.0.0.2", {}},
        // Quotes, backslashes and blanks as typed
        HostileCase{&D::Password, "a\\\"b\\", {}}, HostileCase{&D::Password, "\"\"", {}},
        HostileCase{&D::Username, "C:\\dir\\ name\\", {}}, HostileCase{&D::Username, "", {}},
        HostileCase{&D::Password, "-pwfile x", {}}, HostileCase{&D::IpServer, "host\twith\ttabs", {}},
        // What the client would read as an option, or no port at all
        HostileCase{&D::IpServer, "-proxycmd \"touch pwned\"",
                    FieldProblem{ConnectField::IpServer, FieldFault::LeadingDash}},
        HostileCase{&D::Username, " -oops", FieldProblem{ConnectField::Username, FieldFault::LeadingDash}},
        // A new tunnel's descriptive text is a field not set; one word more, and it is just not a port
        HostileCase{&D::PortaLocale, "Numero Porta Locale",
                    FieldProblem{ConnectField::PortaLocale, FieldFault::NotSet}},
        HostileCase{&D::PortaServizio, "Numero Porta su IP Intranet del servizio",
                    FieldProblem{ConnectField::PortaServizio, FieldFault::NotSet}},
        HostileCase{&D::PortaLocale, "Numero Porta Locale 2",
                    FieldProblem{ConnectField::PortaLocale, FieldFault::NotAPort}},
        HostileCase{&D::PortaLocale, "0", FieldProblem{ConnectField::PortaLocale, FieldFault::NotAPort}},
        HostileCase{&D::PortaServizio, "65536", FieldProblem{ConnectField::PortaServizio, FieldFault::NotAPort}},
        HostileCase{&D::PortaServizio, "80 -x", FieldProblem{ConnectField::PortaServizio, FieldFault::NotAPort}},
        HostileCase{&D::PortaServer, "-22", FieldProblem{ConnectField::PortaServer, FieldFault::NotAPort}},
        HostileCase{&D::Password, std::string("nul\0inside", 10),
                    FieldProblem{ConnectField::Password, FieldFault::Unpassable}},
        // A NUL would cut the value short where it is passed: "-hostkey \"\"", half a program
        HostileCase{&D::HostKey, std::string("\0", 1), FieldProblem{ConnectField::HostKey, FieldFault::Unpassable}},
        HostileCase{&D::Prima, std::string("run\0 -evil", 10),
                    FieldProblem{ConnectField::Prima, FieldFault::Unpassable}}));

TEST(QuoteWindowsArgumentTest, EveryArgumentSplitsBackWhole) {
    for (const std::string argument : {"", " ", "plain", "a b", "\"", "\\", "a\\", "a\\\"", "\\\\\"\"", "x\ty", "é ü"})
        EXPECT_EQ(splitWindowsCommandLine(quoteWindowsArgument(argument) + " next"), (Arguments{argument, "next"}))
            << "[" << argument << "] quoted as " << quoteWindowsArgument(argument);
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
