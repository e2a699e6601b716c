// Starting clients for real: what the started program receives, and the texts of failures.
#include "process/client_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "process/command_line.h"
#include "support/temp_dir.h"

#ifndef QUORVANE_ARGV_RECORDER
#error "QUORVANE_ARGV_RECORDER must name the recording test client"
#endif

namespace quorvane {
namespace {

using Record = std::multimap<std::string, std::string>;
using Arguments = std::vector<std::string>;

class PathOverride {
public:
    explicit PathOverride(const std::string& path) {
        if (const char* old = std::getenv("PATH"))
            m_old = old;
        setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() { setenv("PATH", m_old.c_str(), 1); }

private:
    std::string m_old;
};

bool noChildLeft() {
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class ClientLauncherTest : public ::testing::Test {
protected:
    std::string installRecorder(const std::string& relative) {
        const std::filesystem::path target = dir.file(relative);
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(QUORVANE_ARGV_RECORDER, target);
        return target.string();
    }

    // Waits for the started program's record in folder; empty when none came.
    Record waitForRecord(const std::string& folder) {
        const std::string file = folder + "/record.txt";
        for (int i = 0; i < 1000 && !std::filesystem::exists(file); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Record record;
        std::istringstream text(dir.read(std::filesystem::relative(file, dir.path()).string()));
        for (std::string line; std::getline(text, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos)
                record.emplace(line.substr(0, equals), line.substr(equals + 1));
        }
        return record;
    }

    static Arguments arguments(const Record& record) {
        Arguments values;
        for (auto [it, end] = record.equal_range("arg"); it != end; ++it)
            values.push_back(it->second);
        return values;
    }

    static std::string value(const Record& record, const std::string& key) {
        const auto it = record.find(key);
        return it == record.end() ? "<missing>" : it->second;
    }

    test::TempDir dir;
    std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
};

TEST_F(ClientLauncherTest, HiddenClientStartsDetachedInItsFolderWithSplitArguments) {
    const std::string folder = dir.file("tunnells/Office Home");
    const std::string exe = installRecorder("tunnells/Office Home/OfficeSSH.exe");

    // What this program ignores or blocks must not be passed on to the client.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &ignore, &previous);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, &oldMask);

    const std::string secretFile = launcher->secretFile();
    const auto error = launcher->launch(
        {exe, "-ssh -l \"my user\" -pwfile " + secretFile + "  -L 1:h:2 srv", folder, false, "a\"b c"});

    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGTERM, &previous, nullptr);
    ASSERT_FALSE(error.has_value()) << *error;
    EXPECT_TRUE(noChildLeft()) << "the launch left a child of ours behind";

    const Record record = waitForRecord(folder);
    EXPECT_EQ(arguments(record),
              (Arguments{exe, "-ssh", "-l", "my user", "-pwfile", secretFile, "-L", "1:h:2", "srv"}));
    // The secret is read from an inherited pipe, never from the command line.
    EXPECT_EQ(value(record, "pwfile"), "a\"b c");
    EXPECT_EQ(value(record, "cwd"), std::filesystem::canonical(folder).string());
    EXPECT_NE(value(record, "ppid"), std::to_string(getpid()));
    EXPECT_EQ(value(record, "fd0"), "/dev/null");
    EXPECT_EQ(value(record, "fd1"), "/dev/null");
    EXPECT_EQ(value(record, "fd2"), "/dev/null");
    EXPECT_EQ(value(record, "sigterm"), "default");
    EXPECT_EQ(value(record, "sigusr1"), "open");
}

// What the client does with its -proxycmd value before "sh -c" gets it: "\\" and "%" escapes undone.
std::string asTheClientReadsIt(const std::string& command) {
    std::string read;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const bool escape =
            (command[i] == '\\' || command[i] == '%') && i + 1 < command.size() && command[i + 1] == command[i];
        read += command[i];
        i += escape ? 1 : 0;
    }
    return read;
}

// The jump host's client is started by the tunnel's through the shell: every field must arrive whole, and
// its password through the descriptor it inherits.
TEST_F(ClientLauncherTest, AJumpHostsClientGetsEveryFieldWholeThroughTheShellAndItsOwnPassword) {
    const std::string folder = dir.file("hop");
    JumpClient jump;
    jump.program = installRecorder("hop/plink.exe");
    jump.definition.IpServer = "gw host";
    jump.definition.PortaServer = "2222";
    jump.definition.Username = "o'brien \"q\" $(touch x) `id` \\n %host %% ;|&";
    jump.definition.Password = "hop secret";
    jump.definition.HostKey = "SHA256:abc";
    jump.keyFile = dir.file("it's a key.ppk");
    jump.passwordFile = launcher->hopSecretFile();
    TunnelDefinition definition{"127.0.0.1", "", "u", "p", "8080", "s", "80", false};
    ClientExtras extras;
    extras.jump = &jump;

    const std::vector<std::string> line = splitWindowsCommandLine(buildConnectCommandLine(definition, "f", extras));
    // The client would reach a local address directly: it is named so that it does not.
    EXPECT_EQ(line.back(), "::ffff:127.0.0.1");
    const auto proxy = std::find(line.begin(), line.end(), "-proxycmd");
    ASSERT_NE(proxy, line.end());
    const std::string command = asTheClientReadsIt(*(proxy + 1));

    ASSERT_FALSE(
        launcher->launch({"/bin/sh", "-c " + quoteWindowsArgument(command), folder, false, "", {}, "hop secret"}));
    const Record record = waitForRecord(folder);
    EXPECT_EQ(arguments(record), (Arguments{jump.program, "-ssh", "-batch", "-P", "2222", "-hostkey", "SHA256:abc",
                                            "-l", jump.definition.Username, "-i", jump.keyFile, "-pwfile", "/dev/fd/4",
                                            "-nc", "127.0.0.1:22", "gw host"}));
    EXPECT_EQ(value(record, "pwfile"), "hop secret");
    EXPECT_FALSE(std::filesystem::exists(dir.file("hop/x")));
}

TEST_F(ClientLauncherTest, FailureToStartGivesTheSystemsText) {
    dir.makeFolder("Office");
    EXPECT_EQ(launcher->launch({dir.file("Office/OfficeSSH.exe"), "-ssh", dir.file("Office"), false, {}}),
              "No such file or directory");

    const std::string exe = installRecorder("Office/OfficeSSH.exe");
    EXPECT_EQ(launcher->launch({exe, "-ssh", dir.file("Gone"), false, {}}), "No such file or directory");

    dir.write("Office/NotAProgram.exe", "text");
    EXPECT_EQ(launcher->launch({dir.file("Office/NotAProgram.exe"), "", dir.file("Office"), false, {}}),
              "Permission denied");
    EXPECT_TRUE(noChildLeft());
    EXPECT_FALSE(std::filesystem::exists(dir.file("Office/record.txt")));
}

TEST_F(ClientLauncherTest, VisibleClientRunsInsideATerminalWindow) {
    const std::string folder = dir.file("Office");
    const std::string exe = installRecorder("Office/OfficeSSH.exe");
    const std::string terminal = installRecorder("bin/x-terminal-emulator");
    const std::string xterm = installRecorder("fallback/xterm");
    dir.makeFolder("empty");

    {
        // The fake terminal records what it was asked to run.
        PathOverride path(dir.file("empty") + ":" + dir.file("fallback") + ":" + dir.file("bin"));
        ASSERT_EQ(launcher->launch({exe, "-l \"a b\" srv", folder, true, {}}), std::nullopt);
        // The terminal runs the client through a shell that keeps the window open once it ends; the
        // client's own arguments pass through untouched as the shell's positional parameters.
        const auto withHold = [](const std::string& term, Arguments client) {
            Arguments all{term, "-e", "/bin/sh", "-c"};
            all.push_back(""); // the script, compared separately
            all.push_back("quorvane");
            all.insert(all.end(), client.begin(), client.end());
            return all;
        };
        Arguments recorded = arguments(waitForRecord(folder));
        ASSERT_GT(recorded.size(), 4u);
        EXPECT_NE(recorded[4].find("\"$@\""), std::string::npos);
        EXPECT_NE(recorded[4].find("read"), std::string::npos);
        recorded[4].clear();
        EXPECT_EQ(recorded, withHold(terminal, {exe, "-l", "a b", "srv"}));
        std::filesystem::remove(dir.file("Office/record.txt"));

        std::filesystem::remove(terminal);
        ASSERT_EQ(launcher->launch({exe, "srv", folder, true, {}}), std::nullopt);
        recorded = arguments(waitForRecord(folder));
        ASSERT_GT(recorded.size(), 4u);
        recorded[4].clear();
        EXPECT_EQ(recorded, withHold(xterm, {exe, "srv"}));
        std::filesystem::remove(dir.file("Office/record.txt"));

        // A window that would only flash an error is not opened for a missing client.
        EXPECT_EQ(launcher->launch({dir.file("Office/MissingSSH.exe"), "srv", folder, true, {}}),
                  "No such file or directory");
    }
    {
        PathOverride path(dir.file("empty"));
        EXPECT_EQ(launcher->launch({exe, "srv", folder, true, {}}),
                  "No terminal emulator found (x-terminal-emulator, xterm)");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("Office/record.txt")));
}

} // namespace
} // namespace quorvane
