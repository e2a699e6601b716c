// The name index against the monitor's rule: which tunnel pictures a process snapshot sets.
#include "process/process_name_index.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

ProcessNameIndex indexOf(std::vector<std::string> names) {
    std::vector<ProcessEntry> snapshot;
    ProcessId id = 100;
    for (auto& name : names)
        snapshot.push_back({std::move(name), id++});
    return ProcessNameIndex(snapshot);
}

// The monitor's own rule, entry by entry, as the reference.
int referencePicture(const std::vector<std::string>& snapshot, const std::string& tunnel, int current) {
    const std::string key = foldAsciiCase(tunnel + "SSH.exe");
    int picture = current;
    for (const std::string& name : snapshot) {
        if (foldAsciiCase(name) == key)
            return 1;
        picture = 0;
    }
    return picture;
}

TEST(ProcessNameIndexTest, AsciiLettersMatchInAnyCaseOtherCharactersExactly) {
    const auto index = indexOf({"OFFICESSH.EXE", "homessh.exe", "CittàSSH.exe", "Mix-1_SSH.exe"});
    EXPECT_EQ(index.pictureFor("Office", 0), 1);
    EXPECT_EQ(index.pictureFor("office", 0), 1);
    EXPECT_EQ(index.pictureFor("HOME", 0), 1);
    EXPECT_EQ(index.pictureFor("mix-1_", 0), 1);
    EXPECT_TRUE(index.contains("officessh.exe"));
    EXPECT_TRUE(index.contains("HomeSSH.exe"));

    // Letters outside ASCII are compared byte for byte: à and À are different names.
    EXPECT_EQ(index.pictureFor("Città", 0), 1);
    EXPECT_EQ(index.pictureFor("CITTÀ", 1), 0);
    EXPECT_EQ(foldAsciiCase("CITTÀ Ü"), "cittÀ Ü");

    // Whole names only.
    EXPECT_EQ(index.pictureFor("Offic", 1), 0);
    EXPECT_EQ(index.pictureFor("", 1), 0);
    EXPECT_FALSE(index.contains("OfficeSSH.exe.bak"));
    EXPECT_FALSE(index.contains("XOfficeSSH.exe"));
}

TEST(ProcessNameIndexTest, AnEmptySnapshotKeepsEveryPicture) {
    const ProcessNameIndex none;
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.pictureFor("Office", 1), 1);
    EXPECT_EQ(none.pictureFor("Office", 0), 0);
    EXPECT_FALSE(none.contains("OfficeSSH.exe"));

    // One entry, even a nameless one, is a snapshot: unmatched tunnels turn to 0.
    const auto nameless = indexOf({""});
    EXPECT_FALSE(nameless.empty());
    EXPECT_EQ(nameless.pictureFor("Office", 1), 0);
}

TEST(ProcessNameIndexTest, AgreesWithTheEntryByEntryRule) {
    const std::vector<std::vector<std::string>> snapshots = {
        {},
        {"init", "bash"},
        {"OfficeSSH.exe", "officessh.exe", "OFFICESSH.EXE"},
        {"bash", "HomeSSH.exe", "sshd", "CittàSSH.exe", "ssh.exe", "SSH.exe"},
        {std::string(300, 'L') + "SSH.exe", "a b SSH.exe"},
    };
    const std::vector<std::string> tunnels = {
        "Office", "OFFICE", "Home", "home", "Città", "CITTÀ", "", "ssh", std::string(300, 'l'), "a b ", "a b"};
    for (const auto& snapshot : snapshots) {
        const auto index = indexOf(snapshot);
        for (const auto& tunnel : tunnels) {
            for (const int current : {0, 1}) {
                EXPECT_EQ(index.pictureFor(tunnel, current), referencePicture(snapshot, tunnel, current))
                    << "tunnel '" << tunnel << "' with " << snapshot.size() << " processes";
            }
        }
    }
}

} // namespace
} // namespace quorvane
