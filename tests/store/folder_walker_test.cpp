// Tests of the folder walker and the POSIX attribute words it relies on, on real trees.
#include "store/directory_search.h"
#include "store/folder_walker.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

TEST(FolderWalker, SortsWithoutRegardToCase) {
    TempDir tmp;
    for (const char* name : {"c", "B", "a"})
        tmp.makeFolder(name);
    TExpandedFolder walker;
    walker.SetFolder(tmp.path());
    EXPECT_EQ(walker.GetFolderNames(), (Names{"a", "B", "c"}));
}

TEST(FolderWalker, PathSpellingDoesNotChangeTheLists) {
    TempDir tmp;
    tmp.write("caff\u00E8/Office/tunnell.tun", "");
    const std::string folder = tmp.path() + pathSeparator() + "caff\u00E8";

    TExpandedFolder plain;
    plain.SetFolder(folder);
    // Multibyte characters stay as they are (and are not taken for blanks); only ASCII letters change.
    EXPECT_EQ(plain.RootFolder(), upper(folder));
    EXPECT_EQ(plain.GetFolderNames(), (Names{"Office"}));
    EXPECT_EQ(plain.GetFilePaths(),
              (Names{upper(folder) + pathSeparator() + "OFFICE" + pathSeparator() + "tunnell.tun"}));

    TExpandedFolder padded;
    padded.SetFolder(" \t" + folder + pathSeparator() + "\r\n");
    EXPECT_EQ(padded.GetFolderNames(), plain.GetFolderNames());
    EXPECT_EQ(padded.GetFilePaths(), plain.GetFilePaths());
}

TEST(FolderWalker, WalksAgainOnlyForANewFolderOrAChangedDepth) {
    TempDir tmp;
    tmp.makeFolder("tunnells/Office");
    const std::string folder = tmp.file("tunnells");
    int calls = 0;
    TExpandedFolder walker([&calls] { ++calls; });

    walker.SetMaxDepth(0); // no folder yet: nothing to walk
    walker.SetFolder(tmp.file("absent"));
    EXPECT_TRUE(walker.GetFolderNames().empty());
    EXPECT_EQ(calls, 0);

    walker.SetFolder(folder);
    // Before each entry (".", "..", "Office"; then "." and ".." inside it) and before the descent.
    const int perWalk = calls;
    EXPECT_EQ(perWalk, 6);

    walker.SetFolder("  " + upper(folder) + " ");
    walker.SetFolder(" \t ");
    walker.SetMaxDepth(255);
    EXPECT_EQ(calls, perWalk);
    EXPECT_EQ(walker.GetFolderNames(), (Names{"Office"}));

    // The program's own call: a second walk with the same result, the limit staying at 255.
    walker.SetMaxDepth(0);
    EXPECT_EQ(calls, 2 * perWalk);
    EXPECT_EQ(walker.MaxDepth(), TExpandedFolder::UnlimitedDepth);
    EXPECT_EQ(walker.GetFolderNames(), (Names{"Office"}));

    walker.SetMaxDepth(200);
    EXPECT_EQ(walker.MaxDepth(), 200);
    EXPECT_EQ(calls, 3 * perWalk);
    walker.SetMaxDepth(127);
    EXPECT_EQ(walker.MaxDepth(), TExpandedFolder::UnlimitedDepth);
    walker.SetMaxDepth(128);
    EXPECT_EQ(walker.MaxDepth(), 128);
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

TEST(LeftoverFolders, NamesTheFoldersWhereASaveLeftItsTemporaryFile) {
    test::TempDir tmp;
    tmp.write("Alpha/.tunnell.tun.quorvane-999999-1.tmp", "half");
    tmp.write("beta/.notes.tmp", "the user's own");
    tmp.write("beta/tunnell.tun", "");
    TExpandedFolder walker;
    walker.SetFolder(tmp.path());
    const LeftoverFolders leftovers(walker.GetFilePaths());
    EXPECT_TRUE(leftovers.holds("Alpha"));
    EXPECT_TRUE(leftovers.holds("alpha")) << "the walker spells folders in upper case";
    EXPECT_FALSE(leftovers.holds("beta"));
}

} // namespace
} // namespace quorvane
