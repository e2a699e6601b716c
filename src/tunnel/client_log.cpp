// Reading a tunnel client's output: its last error in its own words, and a log file kept bounded.
#include "tunnel/client_log.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "store/file_system.h"

namespace quorvane {

namespace {

// The client's reason is in its last few lines; more only costs time on every pass that reads it.
constexpr std::size_t kParseLimit = 16384;

// The client's key notice ends at most this many lines above its error (the prompt's advice is the longest part).
constexpr std::size_t kKeyBlockLines = 16;

constexpr std::string_view kFatalPrefix = "FATAL ERROR: ";
constexpr std::string_view kAbandoned = "Connection abandoned.";
constexpr std::string_view kUnableToOpen = "Unable to open connection:";
constexpr std::string_view kLocalPort = "Local port ";

constexpr std::string_view kAccessDeniedTexts[] = {"Configured password was not accepted", "Access denied",
                                                   "No supported authentication methods available"};
// getaddrinfo's words on Linux, and the client's own on Windows.
constexpr std::string_view kNameNotKnownTexts[] = {"Name or service not known", "No address associated with hostname",
                                                   "Temporary failure in name resolution", "Host does not exist"};

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

template <std::size_t N> bool containsAny(std::string_view text, const std::string_view (&parts)[N]) {
    return std::any_of(std::begin(parts), std::end(parts), [&](std::string_view part) { return contains(text, part); });
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        lines.push_back(trimmed(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

// The nearest line before index that matches; npos when none.
std::size_t findBack(const std::vector<std::string_view>& lines, std::size_t index, auto matches) {
    while (index-- > 0)
        if (matches(lines[index]))
            return index;
    return std::string_view::npos;
}

// Index and text of the last error line: a fatal error, an abandoned connection, a failed lookup, a refusal.
std::size_t lastErrorLine(const std::vector<std::string_view>& lines, std::string& detail) {
    for (std::size_t i = lines.size(); i-- > 0;) {
        const std::string_view line = lines[i];
        if (line.starts_with(kFatalPrefix)) {
            detail = line.substr(kFatalPrefix.size());
            return i;
        }
        // Without -batch the answer follows the prompt on the same line.
        if (line.ends_with(kAbandoned)) {
            detail = kAbandoned;
            return i;
        }
        const bool afterUnable = i > 0 && lines[i - 1] == kUnableToOpen && !line.empty();
        if (afterUnable || line == "Access denied" || (line.starts_with(kLocalPort) && contains(line, " failed: "))) {
            detail = line;
            return i;
        }
    }
    return std::string_view::npos;
}

// "Local port 8080 forwarding to ..." or "Local port 127.0.0.1:8080 forwarding to ..." gives "8080".
std::string localPortOf(std::string_view line) {
    line.remove_prefix(kLocalPort.size());
    line = line.substr(0, line.find(' '));
    const auto colon = line.rfind(':');
    return std::string(colon == std::string_view::npos ? line : line.substr(colon + 1));
}

// The key shown just before the error and the server it came from; changed: it differs from the cached one.
std::optional<HostKeyOffer> offeredKey(const std::vector<std::string_view>& lines, std::size_t errorIndex,
                                       bool& changed) {
    const std::size_t shown =
        findBack(lines, errorIndex, [](std::string_view line) { return line.ends_with("key fingerprint is:"); });
    const std::size_t verdict =
        findBack(lines, shown == std::string_view::npos ? errorIndex : shown, [](std::string_view line) {
            return line == "WARNING - POTENTIAL SECURITY BREACH!" || line.starts_with("The host key is not cached");
        });
    changed = verdict != std::string_view::npos && lines[verdict].starts_with("WARNING");
    if (shown == std::string_view::npos || shown + 1 >= errorIndex || errorIndex - shown > kKeyBlockLines)
        return std::nullopt; // none, or one from an earlier attempt further up the log

    HostKeyOffer offer;
    const std::string_view keyLine = lines[shown + 1]; // "ssh-ed25519 255 SHA256:..."
    offer.keyType = keyLine.substr(0, keyLine.find(' '));
    const auto fingerprint = keyLine.find("SHA256:");
    if (fingerprint == std::string_view::npos)
        return std::nullopt;
    offer.fingerprint = keyLine.substr(fingerprint, keyLine.find(' ', fingerprint) - fingerprint);

    // "  host (port 22)" after "...for this server:", or with -v "Connecting to host port 22".
    const std::size_t server = findBack(lines, shown, [](std::string_view line) {
        return (line.ends_with(")") && contains(line, " (port ")) || line.starts_with("Connecting to ");
    });
    if (server != std::string_view::npos) {
        std::string_view line = lines[server];
        if (line.starts_with("Connecting to ")) {
            line.remove_prefix(std::string_view("Connecting to ").size());
            const auto cut = line.rfind(" port ");
            offer.host = line.substr(0, cut);
            offer.port = cut == std::string_view::npos ? std::string_view() : line.substr(cut + 6);
        } else {
            const auto cut = line.rfind(" (port ");
            offer.host = line.substr(0, cut);
            offer.port = line.substr(cut + 7, line.size() - cut - 8);
        }
    }
    return offer;
}

} // namespace

namespace {

constexpr std::string_view kProxyStart = "Starting local proxy command:";
constexpr std::string_view kProxyPrefix = "proxy: ";

ClientFailure failureIn(const std::vector<std::string_view>& lines);

std::vector<std::string_view> hopLinesOf(const std::vector<std::string_view>& lines) {
    std::vector<std::string_view> hopLines;
    const std::size_t start =
        findBack(lines, lines.size(), [](std::string_view line) { return line.starts_with(kProxyStart); });
    if (start == std::string_view::npos)
        return hopLines;
    for (std::size_t i = start + 1; i < lines.size(); ++i) {
        if (lines[i].starts_with(kProxyPrefix))
            hopLines.push_back(trimmed(lines[i].substr(kProxyPrefix.size())));
    }
    return hopLines;
}

// The jump host's client's failure, from its lines since the last proxy start; its server from "Connecting to".
ClientFailure hopFailure(const std::vector<std::string_view>& lines) {
    const std::vector<std::string_view> hopLines = hopLinesOf(lines);
    if (hopLines.empty())
        return {};
    ClientFailure failure = failureIn(hopLines);
    if (failure.kind == FailureKind::None)
        return failure;
    constexpr std::string_view kConnecting = "Connecting to ";
    const std::size_t connecting =
        findBack(hopLines, hopLines.size(), [&](std::string_view line) { return line.starts_with(kConnecting); });
    if (connecting != std::string_view::npos) {
        const std::string_view named = hopLines[connecting].substr(kConnecting.size());
        failure.hop = named.substr(0, named.rfind(" port "));
    } else if (failure.hostKey && !failure.hostKey->host.empty()) {
        failure.hop = failure.hostKey->host;
    }
    if (failure.hop.empty())
        failure.hop.assign(1, '?'); // not a literal: GCC 12 warns wrongly (-Wrestrict)
    return failure;
}

} // namespace

namespace {

std::string_view lastPart(std::string_view output) {
    if (output.size() > kParseLimit) {
        output.remove_prefix(output.size() - kParseLimit);
        output.remove_prefix(std::min(output.find('\n') + 1, output.size())); // a cut line would mislead
    }
    return output;
}

constexpr std::string_view kConnectingTo = "Connecting to ";

// How far one client's lines (its own, or the jump host's without their prefix) got since its last start.
ConnectStage stageIn(const std::vector<std::string_view>& lines, bool& viaProxy) {
    const std::size_t start = findBack(lines, lines.size(), [](std::string_view line) {
        return line.starts_with(kConnectingTo) || line.starts_with(kProxyStart);
    });
    if (start == std::string_view::npos)
        return ConnectStage::Unknown;
    viaProxy = lines[start].starts_with(kProxyStart);
    // A proxy command gives the client a connection at once: what follows is the greeting.
    ConnectStage stage = viaProxy ? ConnectStage::Greeting : ConnectStage::Reaching;
    for (std::size_t i = start + 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.starts_with(kProxyPrefix))
            continue;
        if (line.starts_with("Connected to "))
            stage = std::max(stage, ConnectStage::Greeting);
        else if (line.starts_with("Remote version:") || line.starts_with("Server version:"))
            stage = std::max(stage, ConnectStage::KeyExchange);
        else if (line.starts_with("Initialised") && contains(line, "inbound encryption"))
            stage = std::max(stage, ConnectStage::Login);
        else if (line == "Access granted")
            stage = ConnectStage::Forwarding;
    }
    return stage;
}

// The server a client's lines connect to last: "Connecting to HOST port N" gives HOST.
std::string serverIn(const std::vector<std::string_view>& lines) {
    const std::size_t at =
        findBack(lines, lines.size(), [](std::string_view line) { return line.starts_with(kConnectingTo); });
    if (at == std::string_view::npos)
        return std::string(1, '?');
    const std::string_view named = lines[at].substr(kConnectingTo.size());
    return std::string(named.substr(0, named.rfind(" port ")));
}

} // namespace

ConnectStage connectStageOf(std::string_view output, std::string* hop) {
    const std::vector<std::string_view> lines = linesOf(lastPart(output));
    bool viaProxy = false;
    const ConnectStage own = stageIn(lines, viaProxy);
    if (!viaProxy || own > ConnectStage::Greeting)
        return own;
    // Behind a jump host the greeting waits on that host's own connect while it is not logged in.
    const std::vector<std::string_view> hopLines = hopLinesOf(lines);
    bool hopViaProxy = false;
    const ConnectStage hopStage = stageIn(hopLines, hopViaProxy);
    if (hopStage == ConnectStage::Unknown || hopStage == ConnectStage::Forwarding)
        return own;
    if (hop)
        *hop = serverIn(hopLines);
    return hopStage;
}

ClientFailure parseClientOutput(std::string_view output) {
    const std::vector<std::string_view> lines = linesOf(lastPart(output));
    ClientFailure failure = failureIn(lines);
    // The tunnel's client only sees its connection close when the jump host's client gives up.
    if (failure.kind == FailureKind::ClientEnded || failure.kind == FailureKind::None) {
        if (ClientFailure hop = hopFailure(lines); hop.kind != FailureKind::None)
            return hop;
    }
    // Closed before the server said a word: a server that turns logins away while it is busy (too many
    // connections at once) does that; a moment later it takes them again.
    bool viaProxy = false;
    if (failure.kind == FailureKind::ClientEnded && stageIn(lines, viaProxy) == ConnectStage::Greeting && !viaProxy &&
        (contains(failure.detail, "closed network connection") || contains(failure.detail, "reset by peer")))
        failure.kind = FailureKind::ClosedEarly;
    return failure;
}

namespace {

ClientFailure failureIn(const std::vector<std::string_view>& lines) {
    ClientFailure failure;
    const std::size_t errorIndex = lastErrorLine(lines, failure.detail);
    if (errorIndex == std::string_view::npos)
        return failure;

    const std::string_view detail = failure.detail;
    const bool unconfirmed = contains(detail, "Cannot confirm a host key") || detail == kAbandoned;
    const bool notConfigured = contains(detail, "Host key not in manually configured list");
    if (unconfirmed || notConfigured) {
        bool changed = false;
        failure.hostKey = offeredKey(lines, errorIndex, changed);
        // An abandoned prompt that showed no key was some other question (a weak cipher, say).
        if (notConfigured || changed)
            failure.kind = FailureKind::HostKeyChanged;
        else if (failure.hostKey || detail != kAbandoned)
            failure.kind = FailureKind::HostKeyUnknown;
        else
            failure.kind = FailureKind::ClientEnded;
    } else if (containsAny(detail, kAccessDeniedTexts)) {
        failure.kind = FailureKind::AccessDenied;
    } else if (contains(detail, "Connection refused")) {
        failure.kind = FailureKind::ConnectionRefused;
    } else if (detail.starts_with(kLocalPort) && contains(detail, "Address already in use")) {
        failure.kind = FailureKind::LocalPortInUse;
        failure.detail = localPortOf(detail);
    } else if (containsAny(detail, kNameNotKnownTexts)) {
        failure.kind = FailureKind::NameNotKnown;
    } else {
        failure.kind = FailureKind::ClientEnded;
    }
    return failure;
}

} // namespace

std::string readTail(const std::string& path, std::size_t maxBytes) {
    fs::NoFollowFile file;
    if (file.open(path, fs::NoFollowFile::Access::Read) != fs::FileStatus::Ok)
        return {};
    const std::int64_t size = file.size();
    if (size < 0)
        return {};
    const auto length = std::min(static_cast<std::uint64_t>(size), static_cast<std::uint64_t>(maxBytes));
    std::string tail;
    if (!file.readAt(static_cast<std::uint64_t>(size) - length, static_cast<std::size_t>(length), tail))
        return {};
    return tail;
}

bool trimLog(const std::string& path, std::size_t keepBytes) {
    // Same file, not a replacement: the client's open handle must keep pointing at it.
    fs::NoFollowFile file;
    if (file.open(path, fs::NoFollowFile::Access::ReadWrite) != fs::FileStatus::Ok)
        return false;
    const std::int64_t size = file.size();
    if (size < 0)
        return false;
    if (static_cast<std::uint64_t>(size) <= 2 * static_cast<std::uint64_t>(keepBytes))
        return true;
    std::string kept;
    if (!file.readAt(static_cast<std::uint64_t>(size) - keepBytes, keepBytes, kept) || kept.size() != keepBytes)
        return false;
    if (const auto newline = kept.find('\n'); newline != std::string::npos && newline + 1 < kept.size())
        kept.erase(0, newline + 1);
    return file.writeAt(0, kept) && file.truncate(kept.size());
}

} // namespace quorvane
