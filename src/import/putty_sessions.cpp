// PuTTY's saved sessions as candidates: names decoded, values read, forwards in PuTTY's stored form.
#include "import/putty_sessions.h"

#include <optional>

namespace quorvane {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string valueOf(const PuttySession& session, const char* key) {
    const auto found = session.values.find(key);
    return found == session.values.end() ? std::string() : found->second;
}

// The entries of a stored list: ',' separates, '\' makes the next character plain; each split at its first
// plain '=' into key and value.
std::vector<std::pair<std::string, std::string>> storedMap(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string key, value;
    bool inValue = false;
    auto finish = [&] {
        if (!key.empty() || inValue)
            entries.emplace_back(key, value);
        key.clear();
        value.clear();
        inValue = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',') {
            finish();
            continue;
        }
        if (c == '=' && !inValue) {
            inValue = true;
            continue;
        }
        if (c == '\\' && i + 1 < text.size())
            c = text[++i];
        (inValue ? value : key) += c;
    }
    finish();
    return entries;
}

bool isLoopback(std::string address) {
    if (address.size() > 1 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    for (char& c : address)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return address == "localhost" || address == "127.0.0.1" || address == "::1";
}

// "L8080" = "host:80", "R2222" = "localhost:22", "D1080" = "" (and "L1080" = "D", as PuTTY holds it inside);
// "4" or "6" before the letter picks an address family, which a tunnel leaves to the client.
std::optional<ExtraForward> forwardOf(std::string key, const std::string& value) {
    if (!key.empty() && (key.front() == '4' || key.front() == '6'))
        key.erase(0, 1);
    if (key.size() < 2)
        return std::nullopt;
    int kind = key.front() == 'L' ? kForwardLocal : key.front() == 'R' ? kForwardRemote : -1;
    if (key.front() == 'D' || (kind == kForwardLocal && value == "D"))
        kind = kForwardDynamic;
    if (kind < 0)
        return std::nullopt;
    std::string port = key.substr(1);
    if (const std::size_t cut = port.rfind(':'); cut != std::string::npos) {
        if (!isLoopback(port.substr(0, cut)))
            return std::nullopt;
        port.erase(0, cut + 1);
    }
    if (kind == kForwardDynamic)
        return ExtraForward{kind, port, {}, {}};
    const std::size_t cut = value.rfind(':');
    if (cut == std::string::npos || cut == 0)
        return std::nullopt;
    std::string host = value.substr(0, cut);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return ExtraForward{kind, port, host, value.substr(cut + 1)};
}

} // namespace

std::string decodePuttySessionName(std::string_view encoded) {
    std::string name;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 &&
            hexValue(encoded[i + 2]) >= 0) {
            name += static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2]));
            i += 2;
        } else {
            name += encoded[i];
        }
    }
    return name;
}

std::map<std::string, std::string> parsePuttySessionFile(std::string_view text) {
    std::map<std::string, std::string> values;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (const std::size_t equals = line.find('='); equals != std::string_view::npos)
            values.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
        start = end + 1;
    }
    return values;
}

ImportCandidate puttySessionCandidate(const PuttySession& session) {
    ImportCandidate candidate;
    candidate.name = session.name;
    candidate.tunnelName = tunnelNameFor(session.name);
    candidate.source = "PuTTY: " + session.name;
    if (!session.unreadable.empty()) {
        candidate.problem = ImportProblem::Unreadable;
        candidate.detail = session.unreadable;
        return candidate;
    }
    TunnelDefinition& definition = candidate.definition;
    definition = newTunnelDefinition();
    std::string host = valueOf(session, "HostName");
    std::string user = valueOf(session, "UserName");
    // PuTTY takes "user@host" typed as the host name apart the same way.
    if (const std::size_t at = host.rfind('@'); at != std::string::npos) {
        if (user.empty())
            user = host.substr(0, at);
        host.erase(0, at + 1);
    }
    definition.IpServer = host;
    if (const std::string port = valueOf(session, "PortNumber"); !port.empty())
        definition.PortaServer = port;
    if (!user.empty())
        definition.Username = user;
    definition.FileChiave = valueOf(session, "PublicKeyFile");
    std::vector<ExtraForward> forwards;
    std::string unsupported;
    for (const auto& [key, value] : storedMap(valueOf(session, "PortForwardings"))) {
        if (const std::optional<ExtraForward> forward = forwardOf(key, value))
            forwards.push_back(*forward);
        else if (unsupported.empty())
            unsupported = value.empty() ? key : key + "=" + value;
    }
    setForwards(definition, forwards);
    const std::string protocol = valueOf(session, "Protocol");
    const std::string proxy = valueOf(session, "ProxyMethod");
    if (!protocol.empty() && protocol != "ssh") {
        candidate.problem = ImportProblem::NotSsh;
        candidate.detail = protocol;
    }
    settleCandidate(candidate, !proxy.empty() && proxy != "0" ? "ProxyMethod=" + proxy : std::string(), unsupported,
                    forwards.empty());
    return candidate;
}

} // namespace quorvane
