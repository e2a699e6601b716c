// The POSIX attribute words and links in the folder walker's trees.
#include "store/directory_search.h"
#include "store/folder_walker.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using test::TempDir;

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void makeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

TEST(FolderWalkerAttributes, OnlyPlainFoldersCountAsFolders) {
    for (std::uint32_t word : {16u, 17u, 20u})
        EXPECT_TRUE(TExpandedFolder::IsFolderEntry(word)) << word;
    for (std::uint32_t word : {0u, 18u, 21u, 48u, 0x410u, attr::Invalid})
        EXPECT_FALSE(TExpandedFolder::IsFolderEntry(word)) << word;

    TempDir tmp;
    tmp.makeFolder("ro");
    makeReadOnly(tmp.file("ro"));
    tmp.makeFolder(".hidden");
    tmp.write("locked.txt", "x");
    makeReadOnly(tmp.file("locked.txt"));
    fs::create_directory_symlink(tmp.file("ro"), tmp.file("linkdir"));
    fs::create_symlink(tmp.file("nowhere"), tmp.file("dangling"));

    EXPECT_EQ(attributeWord(tmp.file("ro")), 17u);
    EXPECT_EQ(attributeWord(tmp.file(".hidden/")), 18u);
    EXPECT_EQ(attributeWord(tmp.file("locked.txt")), attr::Archive | attr::ReadOnly);
    // A trailing separator must not make the link read as the folder it leads to.
    EXPECT_EQ(attributeWord(tmp.file("linkdir/")), attr::ReparsePoint | attr::Directory);
    EXPECT_EQ(attributeWord(tmp.file("dangling")), attr::ReparsePoint);
    EXPECT_EQ(attributeWord(tmp.file("nowhere")), attr::Invalid);
}

TEST(FolderWalker, ListsEveryFolderNameAndFilePathOfTheTree) {
    TempDir tmp;
    tmp.makeFolder("B");
    tmp.makeFolder("A/Z");
    tmp.write("A/Z/Note.txt", "n");
    tmp.write("sub/Z/readme.md", "r");
    tmp.write("x/a.txt", "");
    tmp.write("x /b.txt", ""); // trimming this folder's path would walk its sibling "x" instead

    // The temporary path is lower case: the upper-cased RootFolder does not exist on this file system,
    // so the walk only finds anything if it reads with the caller's spelling.
    TExpandedFolder walker;
    walker.SetFolder(tmp.path());
    const std::string root = upper(tmp.path());
    EXPECT_EQ(walker.RootFolder(), root);
    EXPECT_EQ(walker.GetFolderNames(), (Names{"A", "B", "sub", "x", "x ", "Z", "Z"}));
    EXPECT_EQ(walker.GetFilePaths(),
              (Names{root + "/A/Z/Note.txt", root + "/SUB/Z/readme.md", root + "/X /b.txt", root + "/X/a.txt"}));

    walker.SetEnterSubfolders(false); // walks again, naming its own folders only
    EXPECT_EQ(walker.GetFolderNames(), (Names{"A", "B", "sub", "x", "x "}));
    EXPECT_TRUE(walker.GetFilePaths().empty());
}

TEST(FolderWalker, SortsAccentedNamesInTheLocaleCollation) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    TempDir accented;
    accented.makeFolder("\u00C0b");
    accented.makeFolder("\u00E0a");
    TExpandedFolder second;
    second.SetFolder(accented.path());
    const Names names = second.GetFolderNames();
    std::setlocale(LC_ALL, saved.c_str());
    // Folded only in ASCII, "À" (U+00C0) would sort before "à" (U+00E0) whatever follows.
    EXPECT_EQ(names, (Names{"\u00E0a", "\u00C0b"}));
}

TEST(FolderWalker, ListsLinksHiddenFoldersAndDottedNamesAsFilesWithoutEnteringThem) {
    TempDir tmp;
    tmp.makeFolder("real/inner");
    tmp.makeFolder(".hidden/secret");
    tmp.makeFolder("ro/deep");
    makeReadOnly(tmp.file("ro"));
    tmp.write("trailing./lost.txt", "");
    fs::create_directory_symlink(tmp.file("real"), tmp.file("link"));
    fs::create_directory_symlink(tmp.path(), tmp.file("real/loop")); // would recurse forever if followed

    TExpandedFolder walker;
    walker.SetFolder(tmp.path());
    const std::string root = upper(tmp.path());
    EXPECT_EQ(walker.GetFolderNames(), (Names{"deep", "inner", "real", "ro"}));
    EXPECT_EQ(walker.GetFilePaths(), (Names{root + "/.hidden", root + "/link", root + "/REAL/loop"}));
}

} // namespace
} // namespace quorvane
