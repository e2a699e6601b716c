// INI writes refused by POSIX permissions leave the original alone.
#include "store/ini_file.h"

#include "store/file_system.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvane;
using quorvane::test::TempDir;

TEST(IniFileWrite, AFailedWriteLeavesTheOriginalAlone) {
    TempDir dir;
    dir.write("plain", "not a folder");
    EXPECT_FALSE(IniFile(dir.file("plain/t.ini")).writeString("A", "k", "v"));
    EXPECT_FALSE(IniFile(dir.file("missing/t.ini")).writeString("A", "k", "v"));
    EXPECT_FALSE(fs::folderExists(dir.file("missing")));
    EXPECT_EQ(dir.read("plain"), "not a folder");

    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    dir.write("locked/t.ini", "[A]\r\nk=old\r\n");
    ASSERT_EQ(::chmod(dir.file("locked").c_str(), 0555), 0);
    EXPECT_FALSE(IniFile(dir.file("locked/t.ini")).writeString("A", "k", "new"));
    EXPECT_EQ(dir.read("locked/t.ini"), "[A]\r\nk=old\r\n");
    EXPECT_EQ(fs::listOrdinaryFiles(dir.file("locked")), std::vector<std::string>{"t.ini"});

    // A file that is there but cannot be read must not be rewritten from nothing.
    dir.write("secret.ini", "[A]\r\nk=old\r\n");
    ASSERT_EQ(::chmod(dir.file("secret.ini").c_str(), 0200), 0);
    EXPECT_FALSE(IniFile(dir.file("secret.ini")).writeString("A", "j", "new"));
    ASSERT_EQ(::chmod(dir.file("secret.ini").c_str(), 0600), 0);
    EXPECT_EQ(dir.read("secret.ini"), "[A]\r\nk=old\r\n");
}
