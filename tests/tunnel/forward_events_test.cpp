// What the reader makes of plink 0.78's real -v lines about forwards, including the program's own check's.
#include "tunnel/forward_events.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorvane {
namespace {

struct WordsRow {
    const char* name;
    std::string output;
    ForwardEvents expected;
};

std::string text(const std::optional<std::string>& value) {
    return value ? *value : "-";
}
std::string text(const std::optional<int>& value) {
    return value ? std::to_string(*value) : "-";
}

// A row's events: one field set, the others absent.
ForwardEvents only(std::optional<std::string> ForwardEvents::*field, std::string value) {
    ForwardEvents e;
    e.*field = std::move(value);
    return e;
}
ForwardEvents probeAt(int port) {
    ForwardEvents e;
    e.probePort = port;
    return e;
}

// Every field side by side, so a failure shows what was read where.
std::string described(const ForwardEvents& e) {
    return "forwardingRefused=" + text(e.forwardingRefused) + " localPortInUse=" + text(e.localPortInUse) +
           " probePort=" + text(e.probePort) + " serviceRefused=" + text(e.serviceRefused) +
           " serviceReached=" + text(e.serviceReached);
}

constexpr const char* kCheckOpens = "Opening connection to 255.255.255.255:1 for forwarding from 127.0.0.1:60952\n";
constexpr const char* kCheckRefused = "Forwarded connection refused by remote: Connect failed [open failed]\n";
constexpr const char* kServiceOpens = "Opening connection to 127.0.0.1:9401 for forwarding from 127.0.0.1:38322\n";
constexpr const char* kServiceRefused = "Forwarded connection refused by remote: Connect failed [Connection refused]\n";
constexpr const char* kProhibited = "Forwarded connection refused by remote: Administratively prohibited [open failed]";
constexpr const char* kRemoteRefused = "Remote port forwarding from 127.0.0.1:2299 refused";

const WordsRow kRows[] = {
    {"UsersForward", "Local port 9501 forwarding to 127.0.0.1:2299\n", {}},
    {"CheckForward", "Local port 127.0.0.1:36659 forwarding to 255.255.255.255:1\n", probeAt(36659)},
    {"CheckRefusalIsNoService", std::string(kCheckOpens) + kCheckRefused, {}},
    {"ServiceRefused", std::string(kServiceOpens) + kServiceRefused,
     only(&ForwardEvents::serviceRefused, "127.0.0.1:9401")},
    {"ServiceRefusedCrLf",
     "Opening connection to 127.0.0.1:9401 for forwarding from 127.0.0.1:38322\r\n"
     "Forwarded connection refused by remote: Connect failed [Connection refused]\r\n",
     only(&ForwardEvents::serviceRefused, "127.0.0.1:9401")},
    {"Prohibited", std::string(kProhibited) + "\n", only(&ForwardEvents::forwardingRefused, kProhibited)},
    {"RemoteForwardRefused", std::string(kRemoteRefused) + "\n",
     only(&ForwardEvents::forwardingRefused, kRemoteRefused)},
    {"LocalPortInUse", "Local port 9310 forwarding to 127.0.0.1:22 failed: Address already in use\n",
     only(&ForwardEvents::localPortInUse, "9310")},
    {"OpeningAfterOpening",
     std::string(kServiceOpens) + "Opening connection to 127.0.0.1:9402 for forwarding from 127.0.0.1:38324\n",
     only(&ForwardEvents::serviceReached, "127.0.0.1:9401")},
    // A user's connection and a check opened together, as plink 0.78 logs them against OpenSSH 9.2: the
    // check's refusal comes first, the service's second.
    {"ServiceRefusedWhileACheckWaits", std::string(kServiceOpens) + kCheckOpens + kCheckRefused + kServiceRefused,
     only(&ForwardEvents::serviceRefused, "127.0.0.1:9401")},
};

void PrintTo(const WordsRow& row, std::ostream* out) {
    *out << row.name;
}

class ForwardWords : public ::testing::TestWithParam<WordsRow> {};

TEST_P(ForwardWords, ReadAsTheirEvents) {
    ForwardEventReader reader;
    EXPECT_EQ(described(reader.feed(GetParam().output)), described(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Plink078, ForwardWords, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ForwardWords, LineCutInTwoWaitsForItsEnd) {
    ForwardEventReader reader;
    EXPECT_FALSE(reader.feed("Local port 127.0.0.1:366").any());
    EXPECT_EQ(described(reader.feed("59 forwarding to 255.255.255.255:1\n")), described(probeAt(36659)));
}

} // namespace
} // namespace quorvane
