// Approvals of a tunnel's programs: one per tunnel and slot, kept as fingerprints, following a rename.
#include "store/program_approvals.h"
#include "store/program_settings.h"
#include "store/sha256.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(Sha256, MatchesTheStandardVectorsAcrossBlockEdges) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(ProgramApprovals, HoldOneCommandPerTunnelAndSlotAndFollowARename) {
    test::TempDir data;
    ProgramApprovals approvals(data.withSeparator());
    EXPECT_TRUE(approvals.approved("Office", ProgramSlot::Before, "")) << "nothing to run";
    EXPECT_FALSE(approvals.approved("Office", ProgramSlot::Before, "vpn.exe up"));

    ASSERT_TRUE(approvals.approve("Office", ProgramSlot::Before, "vpn.exe up"));
    EXPECT_TRUE(approvals.approved("Office", ProgramSlot::Before, "vpn.exe up"));
    EXPECT_TRUE(approvals.approved("OFFICE", ProgramSlot::Before, "vpn.exe up")) << "folder names ignore case";
    EXPECT_FALSE(approvals.approved("Office", ProgramSlot::After, "vpn.exe up")) << "another slot";
    EXPECT_FALSE(approvals.approved("Home", ProgramSlot::Before, "vpn.exe up")) << "another tunnel";
    EXPECT_FALSE(approvals.approved("Office", ProgramSlot::Before, "vpn.exe up ")) << "the exact command only";

    ASSERT_TRUE(approvals.approve("Office", ProgramSlot::Before, "vpn.exe down"));
    EXPECT_FALSE(approvals.approved("Office", ProgramSlot::Before, "vpn.exe up")) << "replaced";

    ASSERT_TRUE(approvals.approve("Ufficio", ProgramSlot::After, "stale.exe")); // left by a tunnel long gone
    ASSERT_TRUE(approvals.carryOver("Office", "Ufficio"));
    EXPECT_TRUE(approvals.approved("Ufficio", ProgramSlot::Before, "vpn.exe down"));
    EXPECT_FALSE(approvals.approved("Ufficio", ProgramSlot::After, "stale.exe"));
    EXPECT_FALSE(approvals.approved("Office", ProgramSlot::Before, "vpn.exe down")) << "the old name keeps none";
    ASSERT_TRUE(approvals.carryOver("Ufficio", "UFFICIO")) << "letter case alone";
    EXPECT_TRUE(approvals.approved("Ufficio", ProgramSlot::Before, "vpn.exe down"));

    const std::string settings = data.read("quorvane.ini");
    EXPECT_EQ(settings.find("vpn"), std::string::npos) << "no command in clear";
    EXPECT_EQ(settings.find("Office"), std::string::npos) << "no tunnel name in clear";
    ASSERT_TRUE(approvals.forget("Ufficio"));
    EXPECT_FALSE(approvals.approved("Ufficio", ProgramSlot::Before, "vpn.exe down")) << "deleted, then made anew";

    // A settings file that cannot be written: the approval holds until the program ends.
    test::TempDir readOnly;
    readOnly.makeFolder("quorvane.ini");
    ProgramApprovals unsaved(readOnly.withSeparator());
    EXPECT_FALSE(unsaved.approve("Office", ProgramSlot::Before, "vpn.exe up"));
    EXPECT_TRUE(unsaved.approved("Office", ProgramSlot::Before, "vpn.exe up"));
}

} // namespace
} // namespace quorvane
