// The records of the listed tunnels: kept across a listing, moved whole by a rename, dropped with the tunnel.
#include "service/tunnel_records.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(TunnelRecords, ARenameMovesEveryPieceAndARemoveOrAListingWithoutItDropsThem) {
    TunnelRecords records;
    records.relist({"Alpha", "Beta", "Gamma"});
    TunnelRecord& alpha = records.at("Alpha");
    alpha.disconnectedByUser = true;
    alpha.openOnConnect = true;
    alpha.askingUser = true;
    alpha.firstServer = WaitingTunnel{"Alpha", "ssh.example.org", 2222};
    records.at("Beta").askingUser = true;
    records.at("Gamma").disconnectedByUser = true;

    records.rename("Alpha", "Delta");
    EXPECT_EQ(records.names(), (std::vector<std::string>{"Delta", "Beta", "Gamma"})) << "the place in the list kept";
    EXPECT_FALSE(records.has("Alpha"));
    EXPECT_EQ(records.find("Alpha"), nullptr) << "nothing left under the old name";
    const TunnelRecord* delta = records.find("Delta");
    ASSERT_NE(delta, nullptr);
    EXPECT_TRUE(delta->disconnectedByUser && delta->openOnConnect && delta->askingUser);
    ASSERT_TRUE(delta->firstServer);
    EXPECT_EQ(delta->firstServer->tunnel, "Delta");
    EXPECT_EQ(delta->firstServer->host, "ssh.example.org");

    records.remove("Beta");
    EXPECT_FALSE(records.has("Beta"));
    EXPECT_EQ(records.find("Beta"), nullptr);
    records.add("Beta");
    EXPECT_FALSE(records.at("Beta").askingUser) << "a new tunnel of that name starts clean";

    // A listing keeps what is still listed and forgets the rest.
    records.relist({"Delta", "Epsilon"});
    EXPECT_NE(records.find("Delta"), nullptr);
    EXPECT_TRUE(records.find("Delta")->disconnectedByUser);
    EXPECT_EQ(records.find("Gamma"), nullptr);
    EXPECT_EQ(records.names(), (std::vector<std::string>{"Delta", "Epsilon"}));
}

} // namespace
} // namespace quorvane
