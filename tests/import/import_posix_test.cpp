// The configuration in hostile places: a pipe, a loop of links; a link to a real file is followed.
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

} // namespace
} // namespace quorvane
