// The wake rule on a pair of hand-driven clocks, and the system's watch at rest.
#include "tunnel/network_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

using std::chrono::seconds;

struct Step {
    seconds wall;  // how far the wall clock moves before the look
    seconds awake; // how far the awake clock moves
    bool slept;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

const Case kCases[] = {
    {"NoJump", {{seconds(1), seconds(1), false}, {seconds(1), seconds(1), false}}},
    {"LateLookWithoutSleep", {{seconds(40), seconds(40), false}}},
    {"SleptThirtySecondsToldOnce", {{seconds(31), seconds(1), true}, {seconds(1), seconds(1), false}}},
    {"SmallDrift", {{seconds(2), seconds(1), false}, {seconds(2), seconds(1), false}}},
    {"WallClockSetBack", {{seconds(-3600), seconds(1), false}, {seconds(1), seconds(1), false}}},
};

TEST(WakeDetector, TellsSleepFromTheClocks) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::chrono::nanoseconds wall = seconds(1'700'000'000);
        std::chrono::nanoseconds awake = seconds(500);
        WakeDetector detector([&] { return wall; }, [&] { return awake; });
        for (const Step& step : c.steps) {
            wall += step.wall;
            awake += step.awake;
            EXPECT_EQ(detector.slept(), step.slept);
        }
    }
}

// The system's watch starts with nothing to tell, and lets go of its notifications cleanly.
TEST(NetworkWatch, FirstLookTellsNothing) {
    auto watch = createSystemNetworkWatch();
    EXPECT_EQ(watch->look(), NetworkWatch::Change::None);
}

} // namespace
} // namespace quorvane
