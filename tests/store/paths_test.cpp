// Tests of the path forms where they are not plain joins, tunnel names and the executable's folder.
#include "store/paths.h"

#include "store/file_system.h"
#include "store/program_folders.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(TunnelNames, MustBeOneFolderName) {
    for (const char* good : {"Office", "   ", "a.b", "Casa di Mario", "Citt\xC3\xA0", " .x. "})
        EXPECT_TRUE(paths::isValidTunnelName(good)) << good;
    // A name starting or ending with a dot would be skipped by the next folder listing: the tunnel would vanish.
    for (const char* bad :
         {"", ".", "..", "...", "Office.", ".Office", "a/b", "a\\b", "C:x", "tab\there", "new\nline", "del\x7F"})
        EXPECT_FALSE(paths::isValidTunnelName(bad)) << bad;
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
