// libFuzzer target: quoting and splitting round trips, and the client's command line for arbitrary definitions.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "process/command_line.h"

using namespace quorvane;

namespace {

using Arguments = std::vector<std::string>;

// In TunnelDefinition's member order: the definition is built from fields consumed in this order.
constexpr ConnectField kFields[] = {ConnectField::IpServer,     ConnectField::PortaServer, ConnectField::Username,
                                    ConnectField::Password,     ConnectField::PortaLocale, ConnectField::IpServizio,
                                    ConnectField::PortaServizio};
constexpr FieldFault kFaults[] = {FieldFault::LeadingDash, FieldFault::NotAPort, FieldFault::Unpassable,
                                  FieldFault::NotSet};

void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "command_line_fuzz: violated: %s\n", property);
        std::abort();
    }
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Leading zeros are allowed: "a whole number 1-65535" says nothing about how many digits spell it.
bool isPort(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    return !text.empty() && text.size() <= 5 && std::stoul(std::string(text)) <= 65535;
}

// What the client gets: the number without blanks or leading zeros (a zero could read as octal).
std::string plainPort(std::string_view text) {
    text = trimmed(text);
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    return std::string(text);
}

const std::string& fieldText(const TunnelDefinition& d, ConnectField field) {
    switch (field) {
    case ConnectField::IpServer:
        return d.IpServer;
    case ConnectField::PortaServer:
        return d.PortaServer;
    case ConnectField::Username:
        return d.Username;
    case ConnectField::Password:
        return d.Password;
    case ConnectField::PortaLocale:
        return d.PortaLocale;
    case ConnectField::IpServizio:
        return d.IpServizio;
    case ConnectField::PortaServizio:
        return d.PortaServizio;
    case ConnectField::FileChiave:
        return d.FileChiave;
    case ConnectField::HostKey:
        return d.HostKey;
    case ConnectField::Prima:
        return d.Prima;
    case ConnectField::Dopo:
        return d.Dopo;
    case ConnectField::Inoltri:
        break; // the fuzzer makes no extra forwards
    }
    std::abort();
}

bool faultHolds(const TunnelDefinition& d, ConnectField field, FieldFault fault) {
    const std::string& text = fieldText(d, field);
    switch (fault) {
    case FieldFault::Unpassable:
        return text.find('\0') != std::string::npos;
    case FieldFault::NotAPort:
        if (field == ConnectField::PortaServer)
            return !trimmed(text).empty() && !isPort(text);
        return (field == ConnectField::PortaLocale || field == ConnectField::PortaServizio) && !isPort(text);
    case FieldFault::NotSet:
        // A port that is none because it still says what a new tunnel should have there.
        return faultHolds(d, field, FieldFault::NotAPort) &&
               ((field == ConnectField::PortaLocale && text == "Numero Porta Locale") ||
                (field == ConnectField::PortaServizio && text == "Numero Porta su IP Intranet del servizio"));
    case FieldFault::LeadingDash:
        return (field == ConnectField::Username || field == ConnectField::IpServer) && trimmed(text).starts_with('-');
    }
    std::abort();
}

Arguments expectedArguments(const TunnelDefinition& d, const Arguments& passwordArguments) {
    Arguments expected{"-ssh", "-batch", "-N"};
    const std::string serverPort = plainPort(d.PortaServer);
    if (!serverPort.empty() && serverPort != "22")
        expected.insert(expected.end(), {"-P", serverPort});
    expected.insert(expected.end(), {"-l", d.Username});
    if (!d.Password.empty())
        expected.insert(expected.end(), passwordArguments.begin(), passwordArguments.end());
    const std::string forwarding = plainPort(d.PortaLocale) + ':' + d.IpServizio + ':' + plainPort(d.PortaServizio);
    expected.insert(expected.end(), {"-L", forwarding, d.IpServer});
    return expected;
}

void checkRoundTrips(Arguments texts) {
    // No command line can carry a NUL.
    std::string joined;
    for (std::string& text : texts) {
        std::erase(text, '\0');
        require(splitWindowsCommandLine(quoteWindowsArgument(text)) == Arguments{text}, "split(quote(x)) == {x}");
        if (!joined.empty())
            joined += ' ';
        joined += quoteWindowsArgument(text);
    }
    require(splitWindowsCommandLine(joined) == texts, "quoted arguments joined by spaces split back in order");
}

void checkConnectLine(const TunnelDefinition& d, std::string passwordFile) {
    std::erase(passwordFile, '\0');
    const auto problem = checkConnectFields(d);
    if (problem) {
        require(faultHolds(d, problem->field, problem->fault), "a refusal names a fault its field really has");
        return;
    }
    for (const ConnectField field : kFields)
        for (const FieldFault fault : kFaults)
            require(!faultHolds(d, field, fault), "an accepted definition has no field fault");

    const std::string line = buildConnectCommandLine(d, passwordFile);
    require(splitWindowsCommandLine(line) == expectedArguments(d, {"-pwfile", passwordFile}),
            "the connect line splits into exactly the expected arguments");
    require(splitWindowsCommandLine(displayConnectCommandLine(d)) == expectedArguments(d, {"-pw", "********"}),
            "the display line splits into the expected arguments with the masked password");
    if (!d.Password.empty()) {
        // The line does not depend on the password's text, so the password cannot be on it.
        TunnelDefinition other = d;
        other.Password = d.Password == "x" ? "y" : "x";
        require(buildConnectCommandLine(other, passwordFile) == line, "the connect line leaves the password out");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    Arguments texts(std::size(kFields));
    for (std::string& text : texts)
        text = provider.ConsumeRandomLengthString();
    const std::string passwordFile = provider.ConsumeRemainingBytesAsString();
    const TunnelDefinition d{texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6], false};

    texts.push_back(passwordFile);
    checkRoundTrips(texts);
    checkConnectLine(d, passwordFile);
    return 0;
}
