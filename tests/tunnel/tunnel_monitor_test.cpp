// Tunnel states from sequences of observations and events, and the restart backoff, on a fake clock.
#include "tunnel/tunnel_monitor.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

using std::chrono::seconds;

class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return start + elapsed; }
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    seconds elapsed{0};
};

enum class Step { Start, Stop, Gone, Running, Listening, Taken, ListeningAndTaken };

struct Moment {
    int at; // seconds
    Step step;
    std::string output;
    TunnelStatus status;
    FailureKind kind = FailureKind::None;
    std::string detail = {};
};

struct Sequence {
    const char* name;
    std::vector<Moment> moments;
};

constexpr auto NotConnected = TunnelStatus::NotConnected;
constexpr auto Connecting = TunnelStatus::Connecting;
constexpr auto Connected = TunnelStatus::Connected;
constexpr auto Failed = TunnelStatus::Failed;
const std::string kRefused = "FATAL ERROR: Connection refused\n";
const std::string kPortTaken = "Local port 8080 forwarding to 127.0.0.1:80 failed: Address already in use\n";

const Sequence kSequences[] = {
    {"ConnectsThenServerGoes",
     {{0, Step::Start, "", Connecting},
      {0, Step::Running, "", Connecting},
      {3, Step::Listening, "", Connected},
      {6, Step::Gone, "FATAL ERROR: Remote side unexpectedly closed network connection\n", Failed,
       FailureKind::ClientEnded, "Remote side unexpectedly closed network connection"},
      {9, Step::Gone, kRefused, Failed, FailureKind::ClientEnded,
       "Remote side unexpectedly closed network connection"}}},
    {"RefusedAtStart",
     {{0, Step::Start, "", Connecting},
      {3, Step::Gone, kRefused, Failed, FailureKind::ConnectionRefused, "Connection refused"}}},
    {"NotListedYetJustAfterStart",
     {{0, Step::Start, "", Connecting},
      {1, Step::Gone, "", Connecting},
      {4, Step::Gone, "", Failed, FailureKind::ClientEnded}}},
    {"NeverStarted", {{0, Step::Gone, kRefused, NotConnected}, {3, Step::Gone, kRefused, NotConnected}}},
    {"LeftRunningByAnEarlierRun",
     {{0, Step::Running, "", Connecting},
      {3, Step::Listening, "", Connected},
      {6, Step::Gone, "", Failed, FailureKind::ClientEnded}}},
    {"PortTakenBySomeoneElse",
     {{0, Step::Start, "", Connecting},
      {3, Step::Taken, "", Failed, FailureKind::LocalPortInUse, "8080"},
      {6, Step::Gone, kRefused, Failed, FailureKind::LocalPortInUse, "8080"}}},
    // An ending client's listening socket can outlive it for a moment and look like someone else's.
    {"EndingClientsSocketIsNotAPortInUse",
     {{0, Step::Start, "", Connecting},
      {3, Step::Listening, "", Connected},
      {6, Step::Taken, "", Connected},
      {9, Step::Gone, "", Failed, FailureKind::ClientEnded}}},
    {"PortTakenFromAConnectedTunnelOnTheSecondLook",
     {{0, Step::Start, "", Connecting},
      {3, Step::Listening, "", Connected},
      {6, Step::Taken, "", Connected},
      {9, Step::Taken, "", Failed, FailureKind::LocalPortInUse, "8080"}}},
    {"OneFamilyTakenTheOtherOurs", {{0, Step::Start, "", Connecting}, {3, Step::ListeningAndTaken, "", Connected}}},
    {"StoppedByTheUser",
     {{0, Step::Start, "", Connecting},
      {3, Step::Listening, "", Connected},
      {4, Step::Stop, "", NotConnected},
      {6, Step::Gone, kRefused, NotConnected}}},
    {"FailedUntilStartedAgain",
     {{0, Step::Start, "", Connecting},
      {3, Step::Gone, kRefused, Failed, FailureKind::ConnectionRefused, "Connection refused"},
      {6, Step::Gone, "", Failed, FailureKind::ConnectionRefused, "Connection refused"},
      {7, Step::Start, "", Connecting},
      {9, Step::Listening, "", Connected}}},
    {"StartedElsewhereWhileFailed",
     {{0, Step::Start, "", Connecting},
      {3, Step::Gone, kRefused, Failed, FailureKind::ConnectionRefused, "Connection refused"},
      {6, Step::Running, "", Connecting},
      {9, Step::Listening, "", Connected}}},
    {"StuckStartShowsWhatTheClientSaid",
     {{0, Step::Start, "", Connecting},
      {3, Step::Running, kPortTaken, Connecting},
      {12, Step::Running, kPortTaken, Connecting, FailureKind::LocalPortInUse, "8080"},
      {15, Step::Gone, kRefused, Failed, FailureKind::ConnectionRefused, "Connection refused"}}},
};

class TunnelSequenceTest : public ::testing::TestWithParam<Sequence> {};

TEST_P(TunnelSequenceTest, ObservationsGiveStatuses) {
    FakeClock clock;
    TunnelMonitor monitor(clock);
    std::chrono::steady_clock::time_point began{}; // never started: no beginning known
    TunnelStatus previous = NotConnected;
    for (const Moment& moment : GetParam().moments) {
        SCOPED_TRACE(testing::Message() << "at " << moment.at << " s");
        clock.elapsed = seconds(moment.at);
        TunnelObservation seen;
        seen.localPort = 8080;
        seen.clientRunning = moment.step >= Step::Running;
        seen.forwardListening = moment.step == Step::Listening || moment.step == Step::ListeningAndTaken;
        seen.portTakenByOther = moment.step == Step::Taken || moment.step == Step::ListeningAndTaken;
        if (moment.step == Step::Start)
            monitor.started("Office", 8080);
        else if (moment.step == Step::Stop)
            monitor.stopped("Office");
        else
            monitor.observe("Office", seen, [&] { return moment.output; });
        const TunnelHealth& health = monitor.health("Office");
        EXPECT_EQ(health.status, moment.status);
        EXPECT_EQ(health.failure.kind, moment.kind);
        EXPECT_EQ(health.failure.detail, moment.detail);
        if (moment.status != previous || moment.step == Step::Start)
            began = clock.now();
        EXPECT_EQ(health.since, began);
        previous = moment.status;
    }
    monitor.forget("Office");
    EXPECT_EQ(monitor.health("Office"), TunnelHealth{});
}

INSTANTIATE_TEST_SUITE_P(Monitor, TunnelSequenceTest, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

class BackoffTest : public ::testing::Test {
protected:
    // The client ends with output at the current time; returns the wait until its restart, if any.
    std::optional<seconds> endWith(const std::string& output) {
        monitor.observe("Office", {}, [&] { return output; });
        const auto due = monitor.restartDue("Office");
        if (!due)
            return std::nullopt;
        return std::chrono::duration_cast<seconds>(*due - clock.now());
    }
    void pass(int secondsLater, const TunnelObservation& seen) {
        clock.elapsed += seconds(secondsLater);
        monitor.observe("Office", seen, [] { return std::string(); });
    }

    FakeClock clock;
    TunnelMonitor monitor{clock};
    const TunnelObservation connected{true, true, false, 8080};
};

// A connect that does not come through in time is given up, its client to be stopped and tried again as after any
// drop; a client the program found running (no start of its own) has no such limit.
TEST_F(BackoffTest, AConnectIsGivenUpAtItsLimitAndRestartsLikeADrop) {
    const TunnelObservation stuck{true, false, false, 8080};
    const auto output = [] { return std::string("Connecting to 192.0.2.1 port 22\n"); };
    monitor.started("Office", 8080, seconds(20));
    clock.elapsed += seconds(19);
    monitor.observe("Office", stuck, output);
    EXPECT_EQ(monitor.health("Office").status, Connecting);
    clock.elapsed += seconds(1);
    monitor.observe("Office", stuck, output);
    EXPECT_EQ(monitor.health("Office").status, TunnelStatus::Failed);
    EXPECT_EQ(monitor.health("Office").failure.kind, FailureKind::ConnectTimedOut);
    EXPECT_EQ(monitor.health("Office").failure.stage, ConnectStage::Reaching);
    ASSERT_TRUE(monitor.restartDue("Office"));
    EXPECT_EQ(*monitor.restartDue("Office") - clock.now(), seconds(1));

    // No limit: waits as long as it takes; a client found running has none either.
    monitor.started("Office", 8080, seconds(0));
    clock.elapsed += seconds(600);
    monitor.observe("Office", stuck, output);
    EXPECT_EQ(monitor.health("Office").status, Connecting);
    monitor.observe("Found", stuck, output);
    clock.elapsed += seconds(600);
    monitor.observe("Found", stuck, output);
    EXPECT_EQ(monitor.health("Found").status, Connecting);
}

// A restart that could not be tried waits again without the wait growing; a login closed before the server's
// greeting is tried again within a few seconds, a few times, before the usual backoff.
TEST_F(BackoffTest, APostponedRestartKeepsItsWaitAndAnEarlyCloseIsTriedSoon) {
    monitor.started("Office", 8080);
    pass(3, connected);
    clock.elapsed += seconds(3);
    ASSERT_EQ(endWith(kRefused), seconds(1));
    for (int i = 0; i < 5; ++i) {
        clock.elapsed += seconds(1);
        monitor.postpone("Office");
        EXPECT_EQ(*monitor.restartDue("Office") - clock.now(), seconds(1)) << "postponed " << i + 1;
    }
    EXPECT_EQ(monitor.health("Office").retries, 0);

    const std::string early = "Connecting to 127.0.0.1 port 22\nConnected to 127.0.0.1\n"
                              "FATAL ERROR: Remote side unexpectedly closed network connection\n";
    std::vector<long> waits;
    for (int i = 0; i < 7; ++i) {
        monitor.restarting("Office");
        const std::optional<seconds> wait = endWith(early);
        ASSERT_TRUE(wait);
        waits.push_back(static_cast<long>(wait->count()));
    }
    for (int i = 0; i < TunnelMonitor::kSoonTriesAfterClosedEarly - 1; ++i)
        EXPECT_LE(waits[static_cast<std::size_t>(i)], 3) << "try " << i + 1 << " comes soon";
    EXPECT_GE(waits.back(), 2) << "then the backoff";
}

TEST_F(BackoffTest, DoublesUpToAMinuteResetsAfterAMinuteConnectedAndNeverRetriesARefusedLogin) {
    monitor.started("Office", 8080);
    pass(3, connected);
    std::vector<int> waits;
    for (int i = 0; i < 8; ++i) {
        clock.elapsed += seconds(3);
        waits.push_back(static_cast<int>(endWith(kRefused).value_or(seconds(-1)).count()));
        clock.elapsed += seconds(waits.back());
        monitor.restarting("Office");
        EXPECT_EQ(monitor.health("Office").status, Connecting);
        EXPECT_EQ(monitor.restartDue("Office"), std::nullopt);
    }
    EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 16, 32, 60, 60}));
    EXPECT_EQ(monitor.health("Office").retries, 8);

    pass(3, connected);
    pass(59, connected);
    EXPECT_EQ(endWith("FATAL ERROR: Remote side unexpectedly closed network connection\n"), seconds(60))
        << "59 s connected is not long enough";
    monitor.restarting("Office");
    pass(3, connected);
    pass(60, connected);
    EXPECT_EQ(monitor.health("Office").retries, 0);
    EXPECT_EQ(endWith(""), seconds(1));

    monitor.restarting("Office");
    EXPECT_EQ(endWith("FATAL ERROR: Configured password was not accepted\n"), std::nullopt);
    monitor.restarting("Office");
    EXPECT_EQ(endWith("FATAL ERROR: Cannot confirm a host key in batch mode\n"), std::nullopt);
    monitor.restarting("Office");
    pass(3, {true, false, true, 8080});
    EXPECT_EQ(monitor.restartDue("Office"), std::nullopt) << "its client still runs";

    monitor.stopped("Office");
    EXPECT_EQ(monitor.health("Office").retries, 0);
    EXPECT_EQ(monitor.restartDue("Office"), std::nullopt);
}

} // namespace
} // namespace quorvane
