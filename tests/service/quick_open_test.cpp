// What an "Apri" value becomes: an address or a program with the port filled in, or a refusal that says why.
#include "service/quick_open.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(QuickOpenTest, TellsAddressesFromProgramsAndRefusesWhatCouldBeMisread) {
    using K = QuickOpenKind;
    using P = QuickOpenProblem;
    const struct {
        const char* value;
        int port;
        QuickOpen expected;
    } rows[] = {
        {"", 8080, {}},
        {"  \t ", 8080, {}},
        {"http://127.0.0.1:{porta}/", 8080, {K::Url, "http://127.0.0.1:8080/"}},
        {" HTTPS://localhost:{porta}/a?b={porta} ", 443, {K::Url, "HTTPS://localhost:443/a?b=443"}},
        {"http://intranet.example/", 0, {K::Url, "http://intranet.example/"}}, // no port asked, none needed
        {"\"C:\\Program Files\\Viewer\\viewer.exe\" --port {porta}",
         5900,
         {K::Program, "\"C:\\Program Files\\Viewer\\viewer.exe\" --port 5900"}},
        {"C:\\tools\\db.exe -p {porta}", 5432, {K::Program, "C:\\tools\\db.exe -p 5432"}}, // a drive, no scheme
        {"./viewer {porta}", 1, {K::Program, "./viewer 1"}},
        {"file:///etc/passwd", 8080, {K::Refused, "file:///etc/passwd", P::SchemeNotAllowed}},
        {"javascript:alert(1)", 8080, {K::Refused, "javascript:alert(1)", P::SchemeNotAllowed}},
        {"ms-settings:network", 8080, {K::Refused, "ms-settings:network", P::SchemeNotAllowed}},
        {"http://", 8080, {K::Refused, "http://", P::BadAddress}},
        {"http:///path", 8080, {K::Refused, "http:///path", P::BadAddress}},
        {"http://a b/", 8080, {K::Refused, "http://a b/", P::BadAddress}},
        {"-e cmd", 8080, {K::Refused, "-e cmd", P::LeadingDash}},
        {"\"-e\" cmd", 8080, {K::Refused, "\"-e\" cmd", P::LeadingDash}},
        {"http://x/\nrm", 8080, {K::Refused, "http://x/\nrm", P::ControlCharacter}},
        {"viewer\x7f", 8080, {K::Refused, "viewer\x7f", P::ControlCharacter}},
        {"http://127.0.0.1:{porta}/", 0, {K::Refused, "http://127.0.0.1:{porta}/", P::NoPort}},
        {"http://127.0.0.1:{porta}/", 70000, {K::Refused, "http://127.0.0.1:{porta}/", P::NoPort}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(planQuickOpen(row.value, row.port), row.expected) << row.value;
}

} // namespace
} // namespace quorvane
