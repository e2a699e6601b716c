// Each tunnel's state, from what the periodic pass sees of its client and port, and the restarts it is due.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "tunnel/client_log.h"

namespace quorvane {

enum class TunnelStatus { NotConnected, Connecting, Connected, Failed };

// Up: its client runs, whether or not its forwards work yet.
inline bool isUp(TunnelStatus status) {
    return status == TunnelStatus::Connecting || status == TunnelStatus::Connected;
}

// Connected, but a connection through a forward was refused by the far side.
struct ServiceWarning {
    std::string service;                        // HOST:PORT as the forward names it
    std::chrono::system_clock::time_point at{}; // when it was seen
    bool operator==(const ServiceWarning&) const = default;
};

struct TunnelHealth {
    TunnelStatus status = TunnelStatus::NotConnected;
    // For Failed: why. While Connecting for longer than TunnelMonitor::kStuckAfter: what the client said so far.
    ClientFailure failure;
    std::chrono::steady_clock::time_point since{}; // when this status began
    int retries = 0;                               // restarts since the last time it was connected for a while
    std::optional<ServiceWarning> warning{};       // while Connected
    std::optional<int> retryIn{};                  // seconds until the next try, where the caller tells it
    bool awaitingUser = false;                     // Failed, and the user is being asked what to do (a host key)
    bool operator==(const TunnelHealth&) const = default;
};

struct TunnelObservation {
    bool clientRunning = false;    // this tunnel's own client runs
    bool forwardListening = false; // its local port listens, owned by that client
    bool portTakenByOther = false; // its local port listens, owned by something else
    int localPort = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
};

class SystemClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return std::chrono::steady_clock::now(); }
};

class TunnelMonitor {
public:
    // A client that ends this soon after its start without a word may simply not have been listed yet.
    static constexpr std::chrono::seconds kStartGrace{2};
    // Connecting longer than this, the client's output is read on each pass for what holds it up.
    static constexpr std::chrono::seconds kStuckAfter{10};
    // Connected this long, a tunnel's restarts count from zero again; also the longest wait between restarts.
    static constexpr std::chrono::seconds kSteadyAfter{60};

    explicit TunnelMonitor(const Clock& clock) : m_clock(clock) {}

    // A connect that has not come through in this long, by default, is given up (its client stopped).
    static constexpr std::chrono::seconds kDefaultConnectTimeout{20};
    // A server that closed a login before its greeting is tried again this soon, this many times, before the
    // usual backoff applies: a busy server turns away what it cannot take at once.
    static constexpr std::chrono::seconds kSoonAfterClosedEarly{1};
    static constexpr int kSoonTriesAfterClosedEarly = 5;

    // The program started a client; connectTimeout: how long its connect may take (zero: no limit).
    void started(const std::string& tunnel, int localPort,
                 std::chrono::seconds connectTimeout = kDefaultConnectTimeout);
    // The user stopped it (disconnect/delete): NotConnected, no failure, no retry.
    void stopped(const std::string& tunnel);
    // Deleted or renamed away.
    void forget(const std::string& tunnel);
    // Failed for a reason found outside a pass's look (a check that went unanswered, the client's words
    // about its forwards). clientStopped: the program ends the client, which makes a restart possible.
    void failed(const std::string& tunnel, ClientFailure failure, bool clientStopped);
    // While Connected: a service behind a forward refuses connections, or (nullopt) answers again.
    void setWarning(const std::string& tunnel, std::optional<ServiceWarning> warning);

    // One observation (each pass, or when a watched client ended); clientOutput is read lazily only
    // when needed (a client that ended or a stuck start): pass a callable that returns the tail.
    const TunnelHealth& observe(const std::string& tunnel, const TunnelObservation& seen,
                                const std::function<std::string()>& clientOutput);
    const TunnelHealth& health(const std::string& tunnel) const; // NotConnected for an unknown tunnel

    // Reconnection (opt-in per tunnel by the caller): after an unexpected end that is transient
    // (not AccessDenied, HostKeyUnknown, HostKeyChanged), the time at which a restart is due, with
    // backoff 1, 2, 4 ... 60 s; the backoff resets after 60 s connected. nullopt: no restart (also
    // for a client that still runs, e.g. Failed with LocalPortInUse).
    std::optional<std::chrono::steady_clock::time_point> restartDue(const std::string& tunnel) const;
    // The caller restarts it now (counts a retry); like started(), which may follow it.
    void restarting(const std::string& tunnel);
    // A restart that fell due could not be tried (its server cannot be reached): it waits as long again, and
    // the wait does not grow, since nothing was tried.
    void postpone(const std::string& tunnel);
    // A restart that waits is due at once. False when none waits.
    bool restartNow(const std::string& tunnel);

    // Changes whenever a tunnel's health may have changed.
    std::uint64_t revision() const { return m_revision; }

private:
    const TunnelHealth& observeOnly(const std::string& tunnel, const TunnelObservation& seen,
                                    const std::function<std::string()>& clientOutput);

    struct Entry {
        TunnelHealth health;
        int localPort = 0;
        bool ended = false;                     // Failed because its client ended, not because it runs without its port
        int portTaken = 0;                      // passes in a row that saw a connected tunnel's port held by another
        bool dueNow = false;                    // its restart need not wait
        std::chrono::seconds connectTimeout{0}; // set by a start of the program's; none for a client it found
        std::chrono::steady_clock::time_point waitFrom{}; // a postponed restart's wait counts from here
    };

    void enter(Entry& entry, TunnelStatus status, ClientFailure failure) const;

    const Clock& m_clock;
    std::unordered_map<std::string, Entry> m_tunnels;
    std::uint64_t m_revision = 0;
};

} // namespace quorvane
