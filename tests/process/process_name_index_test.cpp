// The name index against the monitor's rule: which tunnel pictures a process snapshot sets.
#include "process/process_name_index.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

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

TEST(ProcessNameIndexTest, AgreesWithTheEntryByEntryRule) {
    const std::vector<std::vector<std::string>> snapshots = {
        {},
        {""},
        {"init", "bash", "OfficeSSH.exe.bak", "XHomeSSH.exe"},
        {"OfficeSSH.exe", "officessh.exe", "OFFICESSH.EXE"},
        {"bash", "HomeSSH.exe", "sshd", "CittàSSH.exe", "ssh.exe", "Mix-1_SSH.exe"},
        {std::string(300, 'L') + "SSH.exe", "a b SSH.exe"},
    };
    const std::vector<std::string> tunnels = {
        "Office", "OFFICE", "Offic", "Home", "home", "Città", "CITTÀ", "", "ssh", "MIX-1_", std::string(300, 'l'),
        "a b ",   "a b"};
    for (const auto& snapshot : snapshots) {
        std::vector<ProcessEntry> entries;
        for (const auto& name : snapshot)
            entries.push_back({name, 100});
        const ProcessNameIndex index(entries);
        EXPECT_EQ(index.empty(), snapshot.empty());
        for (const auto& tunnel : tunnels) {
            for (const int current : {0, 1}) {
                EXPECT_EQ(index.pictureFor(tunnel, current), referencePicture(snapshot, tunnel, current))
                    << "tunnel '" << tunnel << "' with " << snapshot.size() << " processes";
            }
            EXPECT_EQ(index.contains(tunnel + "SSH.exe"), referencePicture(snapshot, tunnel, 0) == 1);
        }
    }
}

TEST(ProcessNameIndexTest, OnlyAsciiLettersAreFolded) {
    EXPECT_EQ(foldAsciiCase("OfficeSSH.EXE"), "officessh.exe");
    // À stays À: a tunnel "Città" is not run by a process "CITTÀSSH.EXE".
    EXPECT_EQ(foldAsciiCase("CITTÀ Ü-[Z]"), "cittÀ Ü-[z]");
    ProcessNameIndex index;
    index.add("CITTÀSSH.EXE");
    EXPECT_EQ(index.pictureFor("Città", 1), 0);
    EXPECT_EQ(index.pictureFor("cittÀ", 0), 1);
}

} // namespace
} // namespace quorvane
