// The dial-up component against the real (absent) library and a fake one answering in the Windows layouts.
#include "fake_ras_api.h"
#include "ras/ras_connection.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::FakeRasApi;

const std::string kNotAvailable = "RASAPI32.DLL Not Available";

TEST(RasConnection, WithoutTheLibraryEveryOperationAnswersNotAvailable) {
    FakeRasApi fake;
    fake.available = false;
    fake.connections = {{1, "Ufficio"}};
    TRasConnection ras(fake);
    EXPECT_EQ(ras.ReadEntryNames(), 1157u);
    EXPECT_TRUE(ras.EntryNames().empty());
    EXPECT_EQ(ras.RefreshConnections(), 1157u);
    EXPECT_FALSE(ras.ConnectionsChanged());
    EXPECT_EQ(ras.PollStatus(1, 0), kNotAvailable);
    EXPECT_EQ(ras.StateCode(), 601);
    EXPECT_EQ(ras.LastResult(), 1157);
    EXPECT_EQ(ras.ErrorText(601), kNotAvailable);
    EXPECT_EQ(fake.libraryCalls, 0) << "nothing may call into a library that is not there";
}

TEST(RasConnection, EachSystemLevelGivesTheLibraryItsStructureVersion) {
    const std::pair<OsVersion, int> systems[] = {
        {{false, 4, 90}, 0}, {{true, 4, 0}, 1}, {{true, 5, 0}, 2}, {{true, 10, 0}, 2}, {{true, 5, 1}, 3}};
    for (const auto& [os, level] : systems) {
        FakeRasApi fake;
        fake.os = os;
        fake.entries = {{"a", 1, "p"}, {"b", 1, "p"}};
        fake.connections = {{7, "a"}};
        fake.statuses[7] = {};
        TRasConnection ras(fake);
        ASSERT_EQ(ras.ApiLevel(), level) << os.major << "." << os.minor;
        ras.ReadEntryNames();
        ras.RefreshConnections();
        ras.PollStatus(7, 0);
        const std::size_t entrySize = raslayout::kRasEntryName.sizeByLevel[level];
        EXPECT_EQ(fake.entrySizes, std::vector<std::size_t>(2, entrySize));
        EXPECT_EQ(fake.connSizes, std::vector<std::size_t>{raslayout::kRasConn.sizeByLevel[level]});
        EXPECT_EQ(fake.statusSizes, std::vector<std::size_t>{raslayout::kRasConnStatus.sizeByLevel[level]});
        EXPECT_FALSE(fake.dirtyBuffer);
        // Flags and phonebook exist only from level 2 on.
        EXPECT_EQ(ras.Entries()[0].phonebook, level >= 2 ? "p" : "");
        EXPECT_EQ(ras.Entries()[0].flags, level >= 2 ? 1 : 0);
    }
}

TEST(RasConnection, EntryNamesAreSortedWithoutCaseAndEmptyNamesSkipped) {
    FakeRasApi fake;
    fake.entries = {{"zeta", 0, ""}, {"Beta", 0, ""}, {"", 0, ""}, {"alpha", 0, ""}, {"Gamma", 0, ""}};
    TRasConnection ras(fake);
    EXPECT_EQ(ras.ReadEntryNames(), 0u);
    EXPECT_EQ(ras.EntryNames(), (std::vector<std::string>{"alpha", "Beta", "Gamma", "zeta"}));
    EXPECT_EQ(fake.phonebooks.front(), std::nullopt) << "empty path: the system's phonebook";

    ras.SetPhoneBookPath("  C:\\rete.pbk\t");
    fake.enumEntriesResult = 621;
    EXPECT_EQ(ras.ReadEntryNames(), 621u);
    EXPECT_EQ(fake.phonebooks.back(), "C:\\rete.pbk");
    EXPECT_TRUE(ras.EntryNames().empty()) << "a failed read leaves no stale names";
    EXPECT_EQ(ras.LastResult(), 621);
}

TEST(RasConnection, ConnectionListChangesOnlyWhenARecordDiffers) {
    FakeRasApi fake;
    fake.connections = {{0x1234, "Ufficio"}};
    TRasConnection ras(fake);
    ras.RefreshConnections();
    EXPECT_TRUE(ras.ConnectionsChanged());
    EXPECT_EQ(ras.Connections().Handle(0), 0x1234u);
    EXPECT_EQ(ras.Connections().EntryName(0), "Ufficio");
    ras.RefreshConnections();
    EXPECT_FALSE(ras.ConnectionsChanged()) << "same connection twice";

    fake.connections = {{0x5678, "Ufficio"}};
    ras.RefreshConnections();
    EXPECT_TRUE(ras.ConnectionsChanged()) << "a new handle under the same name";
    EXPECT_EQ(ras.Connections().Handle(0), 0x5678u);

    fake.connections.clear();
    ras.RefreshConnections();
    EXPECT_TRUE(ras.ConnectionsChanged()) << "the last connection ended";
    EXPECT_EQ(ras.Connections().Count(), 0);
    ras.RefreshConnections();
    EXPECT_FALSE(ras.ConnectionsChanged());

    EXPECT_EQ(ras.Connections().Handle(-1), 0u);
    EXPECT_EQ(ras.Connections().EntryName(3), "");
    EXPECT_EQ(ras.Connections().Item(0), RasConnRecord{});
}

TEST(RasConnection, RecordsAreReadAtTheLevelsStrideAndCappedAtEight) {
    for (const OsVersion os : {OsVersion{false, 4, 90}, OsVersion{true, 4, 0}, OsVersion{true, 6, 2}}) {
        FakeRasApi fake;
        fake.os = os;
        for (RasHandle h = 1; h <= 10; ++h)
            fake.connections.push_back({h * 16, "conn" + std::to_string(h)});
        TRasConnection ras(fake);
        EXPECT_EQ(ras.RefreshConnections(), 0u) << "ten connections, whether or not they fit the first buffer";
        ASSERT_EQ(ras.Connections().Count(), 8);
        EXPECT_EQ(ras.Connections().Handle(7), 128u);
        EXPECT_EQ(ras.Connections().EntryName(7), "conn8");
        const RasConnRecord last = ras.Connections().Item(7);
        const std::size_t levelSize = raslayout::kRasConn.sizeByLevel[ras.ApiLevel()];
        EXPECT_TRUE(std::all_of(last.begin() + levelSize, last.end(), [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(RasConnection, PollStatusTurnsStatesAndErrorsIntoTexts) {
    FakeRasApi fake;
    fake.errorStrings = {{601, "The port handle is invalid."}, {678, "There is no answer."}};
    fake.systemMessages = {{700, "System says 700"}};
    TRasConnection ras(fake);
    std::vector<std::pair<int, std::string>> notified;
    ras.OnStateChanged = [&](TRasConnection& r) { notified.emplace_back(r.StateSource(), r.StateText()); };

    EXPECT_EQ(ras.PollStatus(0, 0), "The port handle is invalid.");
    EXPECT_EQ(ras.StateCode(), 601);
    EXPECT_EQ(ras.LastResult(), 601);
    EXPECT_TRUE(fake.polled.empty()) << "handle 0 is never asked about";
    EXPECT_EQ(notified, (std::vector<std::pair<int, std::string>>{{1, "The port handle is invalid."}}));

    const auto poll = [&](FakeRasApi::Status status) {
        fake.statuses[9] = status;
        return ras.PollStatus(9, 0);
    };
    EXPECT_EQ(poll({0, 8192, 0}), "Connected/Online");
    EXPECT_EQ(ras.LastResult(), 0);
    EXPECT_EQ(poll({0, 7, 0}), "Unknown State (7)");
    EXPECT_EQ(poll({0, 700, 0}), "System says 700") << "no library text: the system's message";
    EXPECT_EQ(poll({0, 2, 678}), "There is no answer.");
    EXPECT_EQ(ras.StateCode(), 2);
    EXPECT_EQ(ras.LastResult(), 678);
    EXPECT_EQ(poll({0, 2, 600}), "Connecting/Dialling") << "errors up to 600 do not count";

    EXPECT_EQ(poll({6, 3, 0}), "Disconnected");
    EXPECT_EQ(ras.StateCode(), 601) << "a failed call reports no state";
    EXPECT_EQ(poll({8, 3, 0}), "Not enough memory");
    EXPECT_EQ(poll({600, 3, 0}), "Device Connecting/Dialling");
    EXPECT_EQ(poll({5, 3, 0}), "Unknown State (601)");
    EXPECT_EQ(notified.size(), 10u);
    EXPECT_EQ(ras.ErrorText(-1), "");
}

} // namespace
} // namespace quorvane
