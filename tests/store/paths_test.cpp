// Tests of the path forms where they are not plain joins, tunnel names and the executable's folder.
#include "store/paths.h"

#include "store/file_system.h"
#include "store/program_folders.h"
#include "store/working_dir.h"
#include "support/temp_dir.h"

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

TEST(TunnelNames, MustBeOneFolderName) {
    for (const char* good : {"Office", "   ", "a.b", "Casa di Mario", "Citt\xC3\xA0", " .x. "})
        EXPECT_TRUE(paths::isValidTunnelName(good)) << good;
    // A name starting or ending with a dot would be skipped by the next folder listing: the tunnel would vanish.
    for (const char* bad :
         {"", ".", "..", "...", "Office.", ".Office", "a/b", "a\\b", "C:x", "tab\there", "new\nline", "del\x7F"})
        EXPECT_FALSE(paths::isValidTunnelName(bad)) << bad;
}

TEST(WorkingDirectory, IsTheFolderOfThisExecutable) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fs::fileExists(folder + "store_tests"));
}

TEST(ProgramFoldersRule, PortableOnlyWithAWritableTunnelsFolderBesideTheExecutable) {
    test::TempDir root;
    const std::string user = root.withSeparator() + "home/data/quorvane/";
    struct Case {
        const char* tunnelsFolder; // made inside the executable's folder, or none
        bool portable;
    };
    for (const Case& c : {Case{"tunnells", true}, Case{"Tunnells", true}, Case{nullptr, false}}) {
        test::TempDir exe;
        if (c.tunnelsFolder)
            exe.makeFolder(c.tunnelsFolder);
        const ProgramFolders folders = chooseProgramFolders(exe.withSeparator(), user);
        EXPECT_EQ(folders.program, exe.withSeparator());
        EXPECT_EQ(folders.data, c.portable ? exe.withSeparator() : user)
            << (c.tunnelsFolder ? c.tunnelsFolder : "none");
    }
    // Nowhere else to go: the executable's folder serves, as before.
    test::TempDir bare;
    EXPECT_EQ(chooseProgramFolders(bare.withSeparator(), "").data, bare.withSeparator());
}
