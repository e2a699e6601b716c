// Path forms at the POSIX root, and the executable's folder as POSIX names it.
#include "store/paths.h"

#include "store/file_system.h"
#include "store/program_folders.h"
#include "store/working_dir.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

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

// Whichever tunnels folder is chosen ends readable by its owner alone: one made by the program, and one
// of ours left listable by an unpacking or a build with the usual umask.
TEST(ProgramFoldersRule, TheChosenTunnelsFolderIsPrivate) {
    struct Row {
        bool portable;
        bool existing; // made beforehand with mode 0755
    };
    for (const Row row : {Row{true, true}, Row{false, true}, Row{false, false}}) {
        const test::TempDir exe;
        const test::TempDir home;
        const std::string data = row.portable ? exe.withSeparator() : home.file("quorvane/");
        if (row.existing) {
            std::filesystem::create_directories(data + "tunnells");
            ::chmod((data + "tunnells").c_str(), 0755);
        }
        EXPECT_EQ(prepareProgramFolders(exe.withSeparator(), home.file("quorvane/")).data, data);
        struct stat info {};
        ASSERT_EQ(::stat((data + "tunnells").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << "portable " << row.portable << ", existing " << row.existing;
    }
}
