// What a tunnel's client wrote before it ended or while it is stuck: the reason in its own words, and its log file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

enum class FailureKind {
    None,
    AccessDenied,       // the server refused the user or password
    ConnectionRefused,  // nothing listens at the server's port
    HostKeyUnknown,     // the server's key is not cached (or not configured) and cannot be confirmed
    HostKeyChanged,     // the server's key differs from the cached or configured one
    LocalPortInUse,     // the tunnel's local port belongs to another program
    NameNotKnown,       // the server's name does not resolve
    ClientEnded,        // anything else: the client ended (detail holds its words, if any)
    ServerNotAnswering, // the server stopped answering the program's checks; its client was stopped
    ForwardingRefused,  // the server will not forward (detail: the client's words)
    ConnectTimedOut,    // the connect did not complete in time (stage: where it stood); its client was stopped
    ClosedEarly,        // the server closed the connection before its greeting (busy: MaxStartups, say)
    // No client was started: the tunnel's "Prima" program
    BeforeFailed,     // ended with an exit code other than 0 (detail: the code)
    BeforeNotStarted, // could not be run (detail: the system's reason)
    BeforeTimedOut,   // did not end in time and was stopped
};

// How far a client's connect got, from what it wrote.
enum class ConnectStage {
    Unknown,
    Reaching,    // the TCP connection is not made yet
    Greeting,    // connected, and the server has not sent its version
    KeyExchange, // the version came, the keys are not agreed yet
    Login,       // encrypted, the login is not granted yet
    Forwarding,  // logged in, the forwards not yet shown to work
};

// The server key a client was offered and could not confirm.
struct HostKeyOffer {
    std::string host;
    std::string port;
    std::string keyType;     // e.g. "ssh-ed25519"
    std::string fingerprint; // "SHA256:..."
    bool operator==(const HostKeyOffer&) const = default;
};

struct ClientFailure {
    FailureKind kind = FailureKind::None;
    std::string detail;
    std::optional<HostKeyOffer> hostKey;
    // Not empty when the failure was the jump host's: that server as its client named it.
    std::string hop{};
    ConnectStage stage = ConnectStage::Unknown; // for ConnectTimedOut
    bool operator==(const ClientFailure&) const = default;
};

// The reason in the tail of a client's output (its last error lines): None when it holds no error.
// detail is the client's last "FATAL ERROR: ..." text without the prefix, or its last error line (for
// LocalPortInUse the port number). Only the last 16 KiB are looked at. Behind a jump host, whose client's words
// come as "proxy: " lines, a failure of that client is the reason when the tunnel's own client gives none of
// its own (it only saw the connection close).
ClientFailure parseClientOutput(std::string_view output);

// The stage the last connect in a client's verbose output reached (the jump host's own when its client has
// not brought the tunnel's as far as the greeting: hop then names that server).
ConnectStage connectStageOf(std::string_view output, std::string* hop = nullptr);

// The last maxBytes of a file, or "" when it cannot be read (never reads more than maxBytes).
std::string readTail(const std::string& path, std::size_t maxBytes);

// Keeps a log file bounded: when larger than 2*keepBytes, rewrites it in place to its last keepBytes
// (from a line start when one falls inside them), so that a client appending to it keeps writing into
// the same file. False on failure.
bool trimLog(const std::string& path, std::size_t keepBytes);

} // namespace quorvane
