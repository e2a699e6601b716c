// The start watch against real files and processes: what tells a pass to list every process, and what does not.
#include "process/client_start_watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

#include "store/file_system.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

extern char** environ;

namespace quorvane {
namespace {

void run(const std::string& program) {
    std::string seconds = "0";
    char* argv[] = {const_cast<char*>(program.c_str()), seconds.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    waitpid(pid, &status, 0);
}

TEST(ClientStartWatch, TellsOfAClientCopyStartedOrAFolderChangedAndOfNothingElse) {
    test::TempDir work;
    work.makeFolder("tunnells/Office");
    test::copySleeper(work.file("tunnells/Office/OfficeSSH.exe"));
    work.write("tunnells/Office/Tunnell.tun", "[SSH Server]\n");
    const std::string tunnels = fs::canonicalPath(work.file("tunnells"));
    const std::vector<std::string> names{"Office"};
    const std::unique_ptr<ClientStartWatch> watch = createSystemClientStartWatch();

    watch->follow(tunnels, names);
    EXPECT_TRUE(watch->mayHaveStarted()) << "nothing is known before the first listing";
    EXPECT_FALSE(watch->mayHaveStarted());

    const std::vector<std::pair<const char*, std::function<void()>>> steps{
        {"definition read", [&] { std::ifstream(work.file("tunnells/Office/Tunnell.tun")).get(); }},
        {"log written", [&] { work.write("tunnells/Office/client.log", "x"); }},
    };
    for (const auto& [what, step] : steps) {
        step();
        EXPECT_FALSE(watch->mayHaveStarted()) << what;
    }

    run(work.file("tunnells/Office/OfficeSSH.exe"));
    EXPECT_TRUE(watch->mayHaveStarted()) << "the client copy started";
    EXPECT_FALSE(watch->mayHaveStarted()) << "told once";

    work.makeFolder("tunnells/Home");
    watch->follow(tunnels, names);
    EXPECT_TRUE(watch->mayHaveStarted()) << "a folder came";
    watch->follow(tunnels, {"Office", "Home"});
    EXPECT_TRUE(watch->mayHaveStarted()) << "other folders are watched: nothing is known of them yet";
    EXPECT_FALSE(watch->mayHaveStarted());

    std::filesystem::rename(work.file("tunnells/Office"), work.file("tunnells/Moved"));
    EXPECT_TRUE(watch->mayHaveStarted());
    watch->follow(tunnels, {"Moved", "Home"});
    EXPECT_TRUE(watch->mayHaveStarted());
    run(work.file("tunnells/Moved/OfficeSSH.exe"));
    EXPECT_TRUE(watch->mayHaveStarted()) << "watched again under its new name";
}

} // namespace
} // namespace quorvane
