// The configuration in hostile places: a pipe, a loop of links; a link to a real file is followed.
#include "import/putty_sessions.h"
#include "import/ssh_config.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

TEST(SshConfigImportPosix, NeverWaitsOnAPipeNorLoopsOnLinks) {
    test::TempDir home;
    home.write("elsewhere/config", "Host linked\n LocalForward 1 h:1\nInclude more\n");
    home.write(".ssh/more", "Include pipe loop1\n");
    ASSERT_EQ(::symlink(home.file("elsewhere/config").c_str(), home.file(".ssh/config").c_str()), 0);
    ASSERT_EQ(::mkfifo(home.file(".ssh/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("loop2", home.file(".ssh/loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", home.file(".ssh/loop2").c_str()), 0);

    const auto found = readSshConfig(home.file(".ssh/config"), home.file(".ssh"), home.path());
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "~/.ssh/pipe");
    EXPECT_EQ(found[0].problem, ImportProblem::Unreadable);
    EXPECT_EQ(found[1].name, "~/.ssh/loop1");
    EXPECT_EQ(found[1].problem, ImportProblem::Unreadable);
    EXPECT_EQ(found[2].name, "linked");
    EXPECT_TRUE(found[2].importable());
}

// PuTTY's own folder: one file a session, named as PuTTY encodes it.
TEST(PuttySessionImportPosix, ReadsTheSessionFilesOfTheHomeFolder) {
    test::TempDir home;
    home.write(".putty/sessions/Lab%20A", "HostName=lab\nPortForwardings=D1080\n");
    home.write(".putty/sessions/Too%20big", std::string(70 * 1024, 'x'));
    const std::vector<PuttySession> sessions = readPuttySessions(home.path());
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].name, "Lab A");
    EXPECT_EQ(sessions[0].values.at("HostName"), "lab");
    EXPECT_EQ(sessions[1].name, "Too big");
    EXPECT_NE(sessions[1].unreadable, "") << "a file larger than a session is not read";
}

} // namespace
} // namespace quorvane
