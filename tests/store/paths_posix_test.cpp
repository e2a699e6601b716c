// Path forms at the POSIX root, and the executable's folder as POSIX names it.
#include "store/paths.h"

#include "store/file_system.h"
#include "store/working_dir.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(PathForms, InstalledAtTheRootOrWithBlankNamesStillMakePlainPaths) {
    EXPECT_EQ(paths::ClientExePath("/", "Office"), "/tunnells/Office/OfficeSSH.exe");
    EXPECT_EQ(paths::ClientWorkingFolder(paths::ClientExePath("/", "Office")), "/tunnells/Office");
    EXPECT_EQ(paths::DefinitionFile("/", "Office"), "//tunnells/Office/tunnell.tun");
    EXPECT_EQ(fs::resolve("//tunnells-not-here/Office/tunnell.tun"), "/tunnells-not-here/Office/tunnell.tun");
    // Names are used as they are: blanks and dots are part of them.
    EXPECT_EQ(paths::ClientExePath("/q/", " a.b "), "/q/tunnells/ a.b / a.b SSH.exe");
}

TEST(WorkingDirectory, IsTheFolderOfThisExecutable) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fs::fileExists(folder + "store_tests"));
}
