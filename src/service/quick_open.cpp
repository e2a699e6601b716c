// Reading an "Apri" value: an address or a program, refused where it could be misread or reach a local file.
#include "service/quick_open.h"

#include <algorithm>
#include <cctype>

#include "process/command_line.h"

namespace quorvane {

namespace {

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The scheme of an address ("http" of "http://..."), empty when text does not start with one. One letter
// before ':' is a drive, not a scheme.
std::string schemeOf(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return {};
    std::string scheme;
    for (const char c : text.substr(0, colon)) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return {};
        scheme += lower(c);
    }
    return scheme;
}

} // namespace

QuickOpen planQuickOpen(std::string_view value, int port) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.empty() && blank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && blank(value.back()))
        value.remove_suffix(1);
    QuickOpen open;
    if (value.empty())
        return open;
    const auto refuse = [&](QuickOpenProblem problem) {
        return QuickOpen{QuickOpenKind::Refused, std::string(value), problem};
    };
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return refuse(QuickOpenProblem::ControlCharacter);
    if (value.front() == '-')
        return refuse(QuickOpenProblem::LeadingDash);
    std::string target(value);
    if (target.find(kQuickOpenPort) != std::string::npos) {
        if (port <= 0 || port > 65535)
            return refuse(QuickOpenProblem::NoPort);
        const std::string number = std::to_string(port);
        for (std::size_t at = target.find(kQuickOpenPort); at != std::string::npos;
             at = target.find(kQuickOpenPort, at + number.size()))
            target.replace(at, kQuickOpenPort.size(), number);
    }
    if (const std::string scheme = schemeOf(target); !scheme.empty()) {
        // Only the browser's own kinds: any other scheme hands the text to whatever program claims it.
        if (scheme != "http" && scheme != "https")
            return refuse(QuickOpenProblem::SchemeNotAllowed);
        const std::string_view rest = std::string_view(target).substr(scheme.size() + 1);
        if (!rest.starts_with("//") || rest.size() == 2 || rest[2] == '/' || rest.find(' ') != std::string_view::npos)
            return refuse(QuickOpenProblem::BadAddress);
        return {QuickOpenKind::Url, target, QuickOpenProblem::None};
    }
    const std::vector<std::string> words = splitWindowsCommandLine(target);
    if (words.empty())
        return open;
    if (words.front().empty() || words.front().front() == '-')
        return refuse(QuickOpenProblem::LeadingDash);
    return {QuickOpenKind::Program, target, QuickOpenProblem::None};
}

} // namespace quorvane
