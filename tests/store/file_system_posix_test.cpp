// Tests of the file-system services: case-blind names, copies, listings, atomic replacement.
#include "store/file_system.h"

#include "support/temp_dir.h"
#include "support/test_processes.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvane;
using quorvane::test::TempDir;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Every entry of a folder, hidden ones included, to spot temporary files left behind.
std::size_t entryCount(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

} // namespace

TEST(FileSystemResolve, FindsAFolderCopiedFromWindowsInAnyCaseAndPrefersTheExactSpelling) {
    TempDir dir;
    dir.write("Tunnells/Office/Tunnell.tun", "x");
    const std::string root = dir.path();
    EXPECT_EQ(fs::resolve(root + "/tunnells/Office/tunnell.tun"), root + "/Tunnells/Office/Tunnell.tun");
    EXPECT_EQ(fs::resolve(root + "//TUNNELLS/office/TUNNELL.TUN"), root + "/Tunnells/Office/Tunnell.tun");
    EXPECT_EQ(fs::resolve(root + "/tunnells/"), root + "/Tunnells/") << "a trailing separator stays";
    // What does not exist keeps the spelling given, and so does everything below it.
    EXPECT_EQ(fs::resolve(root + "/tunnells/Home/tunnell.tun"), root + "/Tunnells/Home/tunnell.tun");
    EXPECT_EQ(fs::resolve(root + "/tunnells/Office/../office"), root + "/Tunnells/Office/../Office");
    EXPECT_EQ(fs::resolve("/"), "/");

    EXPECT_TRUE(fs::fileExists(root + "/tunnells/office/tunnell.tun"));
    EXPECT_TRUE(fs::folderExists(root + "//tunnells//OFFICE"));
    EXPECT_FALSE(fs::fileExists(root + "/tunnells/office"));
    std::string bytes;
    ASSERT_TRUE(fs::readFileBytes(root + "/tunnells/office/tunnell.tun", bytes));
    EXPECT_EQ(bytes, "x");

    // With both spellings there, the exact one wins.
    dir.write("Name/a", "upper");
    dir.write("name/a", "lower");
    ASSERT_TRUE(fs::readFileBytes(dir.file("name/a"), bytes));
    EXPECT_EQ(bytes, "lower");
    ASSERT_TRUE(fs::readFileBytes(dir.file("Name/a"), bytes));
    EXPECT_EQ(bytes, "upper");
    // With neither spelling given, the choice is fixed rather than left to the directory's order.
    EXPECT_EQ(fs::resolve(dir.file("NAME/a")), dir.file("Name/a"));
}

TEST(FileSystemFolders, CreateAndRemove) {
    TempDir dir;
    dir.makeFolder("tunnells");
    EXPECT_TRUE(fs::createFolder(dir.file("Tunnells")));        // exists in another case
    EXPECT_TRUE(fs::createFolder(dir.file("Tunnells/Office"))); // made inside the existing one
    EXPECT_TRUE(fs::folderExists(dir.file("tunnells/Office")));
    EXPECT_FALSE(fs::createFolder(dir.file("missing/Office"))); // one level only
    dir.write("file", "");
    EXPECT_FALSE(fs::createFolder(dir.file("file")));

    dir.write("tunnells/Office/OfficeSSH.exe", "");
    EXPECT_FALSE(fs::removeFolder(dir.file("TUNNELLS/office"))) << "not empty";
    EXPECT_FALSE(fs::deleteFile(dir.file("tunnells/Office"))) << "a folder is no file";
    EXPECT_TRUE(fs::deleteFile(dir.file("Tunnells/Office/officessh.exe")));
    EXPECT_FALSE(fs::deleteFile(dir.file("Tunnells/Office/officessh.exe")));
    EXPECT_TRUE(fs::removeFolder(dir.file("TUNNELLS/office/")));
    EXPECT_FALSE(fs::folderExists(dir.file("tunnells/Office")));
    EXPECT_FALSE(fs::removeFolder(dir.file("file")));
}

TEST(FileSystemCopy, ReplacesTargetsKeepsModesAndSparesRunningPrograms) {
    TempDir dir;
    dir.write("plink.exe", "client");
    ASSERT_EQ(::chmod(dir.file("plink.exe").c_str(), 0751), 0);
    dir.makeFolder("Tunnells/Office");
    ASSERT_TRUE(fs::copyFile(dir.file("PLINK.EXE"), dir.file("tunnells/Office/OfficeSSH.exe")));
    EXPECT_EQ(dir.read("Tunnells/Office/OfficeSSH.exe"), "client");
    EXPECT_EQ(modeOf(dir.file("Tunnells/Office/OfficeSSH.exe")), 0751u);

    dir.write("other", "newer");
    ASSERT_TRUE(fs::copyFile(dir.file("other"), dir.file("Tunnells/Office/OfficeSSH.exe")));
    EXPECT_EQ(dir.read("Tunnells/Office/OfficeSSH.exe"), "newer");

    // Writing into a running executable fails on Linux; replacing it must not.
    quorvane::test::NamedProcess running(dir.file("Tunnells/Office"), "BusySSH.exe");
    ASSERT_TRUE(running.running());
    EXPECT_TRUE(fs::copyFile(dir.file("plink.exe"), dir.file("Tunnells/Office/BusySSH.exe")));
    EXPECT_EQ(dir.read("Tunnells/Office/BusySSH.exe"), "client");

    EXPECT_FALSE(fs::copyFile(dir.file("absent"), dir.file("x")));
    EXPECT_FALSE(fs::copyFile(dir.file("plink.exe"), dir.file("Tunnells/Office"))) << "target is a folder";
    EXPECT_FALSE(fs::copyFile(dir.file("plink.exe"), dir.file("missing/x")));
    EXPECT_EQ(entryCount(dir.file("Tunnells/Office")), 2u);
}

TEST(FileSystemListing, OnlyVisibleFilesAndLinksSortedWithoutCase) {
    TempDir dir;
    dir.write("b.txt", "");
    dir.write("A.txt", "");
    dir.write("C.txt", "");
    dir.write(".hidden", "");
    dir.makeFolder("folder");
    ASSERT_EQ(::symlink("nowhere", dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.file("dirlink").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(fs::listOrdinaryFiles(dir.path() + "/"),
              (std::vector<std::string>{"A.txt", "b.txt", "C.txt", "dirlink", "link"}));
    EXPECT_TRUE(fs::listOrdinaryFiles(dir.file("absent")).empty());

    // A tunnel folder that is a link to elsewhere lists nothing, so deleting the tunnel spares the files there.
    TempDir tunnels;
    ASSERT_EQ(::symlink(dir.path().c_str(), tunnels.file("Office").c_str()), 0);
    EXPECT_TRUE(fs::listOrdinaryFiles(tunnels.file("office")).empty());
    EXPECT_TRUE(fs::listOrdinaryFiles(tunnels.file("Office/")).empty());
    EXPECT_EQ(fs::listOrdinaryFiles(tunnels.file("Office/folder/..")).size(), 5u) << "only the last component counts";
}

TEST(FileSystemReplace, IsAtomicAndKeepsTheFileItReplaces) {
    TempDir dir;
    dir.write("Tunnell.tun", "old");
    ASSERT_EQ(::chmod(dir.file("Tunnell.tun").c_str(), 0640), 0);
    ASSERT_TRUE(fs::replaceFileContents(dir.file("tunnell.tun"), "new"));
    EXPECT_EQ(dir.read("Tunnell.tun"), "new");
    EXPECT_EQ(modeOf(dir.file("Tunnell.tun")), 0640u);
    EXPECT_EQ(entryCount(dir.path()), 1u);

    // Through a link the file it names changes, and the link stays a link.
    ASSERT_EQ(::symlink("Tunnell.tun", dir.file("alias").c_str()), 0);
    ASSERT_TRUE(fs::replaceFileContents(dir.file("alias"), "via link"));
    EXPECT_EQ(dir.read("Tunnell.tun"), "via link");
    struct stat info {};
    ASSERT_EQ(::lstat(dir.file("alias").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    // A write-protected file is refused as a write into it would be, also for root.
    dir.write("locked.tun", "kept");
    ASSERT_EQ(::chmod(dir.file("locked.tun").c_str(), 0444), 0);
    EXPECT_FALSE(fs::replaceFileContents(dir.file("locked.tun"), "lost"));
    EXPECT_EQ(dir.read("locked.tun"), "kept");

    dir.write("plain", "data");
    EXPECT_FALSE(fs::replaceFileContents(dir.file("plain/x"), "y"));
    EXPECT_FALSE(fs::replaceFileContents(dir.path(), "y")) << "a folder is not replaced";
    EXPECT_EQ(dir.read("plain"), "data");
    EXPECT_EQ(entryCount(dir.path()), 4u);
}

TEST(FileSystemLinks, CopyAndDeleteNeverReachThroughALinkedFolderOrFile) {
    TempDir dir;
    dir.write("plink.exe", "client");
    dir.write("real/OfficeSSH.exe", "old");
    ASSERT_EQ(::symlink("real", dir.file("linked").c_str()), 0);
    ASSERT_EQ(::symlink("OfficeSSH.exe", dir.file("real/alias.exe").c_str()), 0);
    EXPECT_FALSE(fs::copyFile(dir.file("plink.exe"), dir.file("linked/OfficeSSH.exe")));
    EXPECT_FALSE(fs::copyFile(dir.file("plink.exe"), dir.file("real/alias.exe")));
    EXPECT_FALSE(fs::deleteFile(dir.file("linked/OfficeSSH.exe")));
    EXPECT_EQ(dir.read("real/OfficeSSH.exe"), "old");
    EXPECT_TRUE(fs::deleteFile(dir.file("real/alias.exe"))) << "a link itself goes";
    EXPECT_EQ(dir.read("real/OfficeSSH.exe"), "old");
}

// The folder held open answers as the full path does, whatever lies in a file's place; only plain files are read
// the short way, and their bytes are the same.
TEST(FileSystemOpenFolder, ReadsBelowItExactlyAsTheFullPathIs) {
    TempDir dir;
    dir.write("tunnells/Plain/tunnell.tun", "plain");
    dir.write("tunnells/Case/Tunnell.TUN", "other case");
    dir.write("tunnells/Big/tunnell.tun", std::string(200, 'x'));
    dir.write("outside/tunnell.tun", "outside");
    dir.makeFolder("tunnells/FileLink");
    ASSERT_EQ(::symlink(dir.file("outside/tunnell.tun").c_str(), dir.file("tunnells/FileLink/tunnell.tun").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("tunnells/FolderLink").c_str()), 0);
    dir.makeFolder("tunnells/Pipe");
    ASSERT_EQ(::mkfifo(dir.file("tunnells/Pipe/tunnell.tun").c_str(), 0600), 0);
    dir.makeFolder("tunnells/Folder/tunnell.tun");
    dir.makeFolder("tunnells/Missing");
    const fs::OpenFolder tunnels(dir.file("tunnells") + "/");
    for (const char* relative : {"Plain/tunnell.tun", "Case/tunnell.tun", "Big/tunnell.tun", "FileLink/tunnell.tun",
                                 "FolderLink/tunnell.tun", "Pipe/tunnell.tun", "Folder/tunnell.tun",
                                 "Missing/tunnell.tun", "Absent/tunnell.tun", "../outside/tunnell.tun"}) {
        std::string expected = "unread";
        std::string got = "unread";
        const fs::FileStatus full = fs::readFileNoFollow(dir.file("tunnells/") + relative, 100, expected);
        EXPECT_EQ(tunnels.readFileNoFollow(relative, 100, got), full) << relative;
        EXPECT_EQ(got, expected) << relative;
    }
    std::string bytes;
    EXPECT_EQ(tunnels.readFileNoFollow("Case/tunnell.tun", 100, bytes), fs::FileStatus::Ok);
    EXPECT_EQ(bytes, "other case");
}

TEST(FileSystemLeftovers, RemovesOnlyOwnTemporaryFilesOfEndedProcesses) {
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    const auto self = static_cast<unsigned long>(::getpid());
    TempDir dir;
    for (const std::string& name :
         {fs::temporaryNameFor("Tunnell.tun", ended, 1), fs::temporaryNameFor("OfficeSSH.exe", self, 4294967295ul)})
        dir.write(name, "left over");
    // A running process's file may be a save under way; the rest are not ours.
    const std::vector<std::string> kept = {fs::temporaryNameFor("Tunnell.tun", 1, 2),
                                           ".Tunnell.tun.tmp",
                                           "Tunnell.tun.quorvane-7-8.tmp",
                                           ".quorvane-7-8.tmp",
                                           ".x.quorvane-7-8.tmp.bak",
                                           ".x.quorvane-7.tmp",
                                           ".x.quorvane-7-8a.tmp",
                                           ".x.quorvane-99999999999-8.tmp"};
    for (const std::string& name : kept)
        dir.write(name, "user");
    ASSERT_EQ(::symlink("Tunnell.tun", dir.file(fs::temporaryNameFor("link", ended, 1)).c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("linked").c_str()), 0);

    EXPECT_EQ(fs::removeLeftoverTemporaryFiles(dir.file("linked")), 0u) << "a linked folder is left alone";
    EXPECT_EQ(fs::removeLeftoverTemporaryFiles(dir.path()), 2u);
    EXPECT_EQ(entryCount(dir.path()), kept.size() + 2);
    for (const std::string& name : kept)
        EXPECT_EQ(dir.read(name), "user") << name;
}

TEST(FileSystemPath, FindsProgramsOnThePath) {
    EXPECT_FALSE(fs::findOnPath("sh").empty());
    EXPECT_EQ(fs::findOnPath("no-such-program-here"), "");
    EXPECT_EQ(fs::findOnPath("/bin/sh"), "/bin/sh");
}
