// Systems without Windows dial-up networking: the component says so and calls nothing.
#include "ras/ras_connection.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(RasConnection, ThisSystemHasNoDialUpLibrary) {
    TRasConnection system(systemRasApi());
    EXPECT_FALSE(system.RasAvailable());
    EXPECT_EQ(system.StateText(), "RASAPI32.DLL Not Available");
    EXPECT_EQ(system.LastResult(), 1157);
}

} // namespace
} // namespace quorvane
