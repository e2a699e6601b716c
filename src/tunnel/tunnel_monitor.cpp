// Tunnel states from observations and events, and the restart backoff after transient ends.
#include "tunnel/tunnel_monitor.h"

#include <algorithm>

namespace quorvane {

namespace {

// A wait between one and three seconds that differs from tunnel to tunnel and from try to try, so that tunnels
// turned away together do not all come back in the same instant.
std::chrono::milliseconds spreadWait(const std::string& tunnel, int retries) {
    const std::size_t mix = std::hash<std::string>{}(tunnel) ^ (static_cast<std::size_t>(retries) * 0x9E3779B9u);
    return std::chrono::milliseconds(static_cast<std::int64_t>(mix % 2000));
}

bool transient(FailureKind kind) {
    return kind != FailureKind::AccessDenied && kind != FailureKind::HostKeyUnknown &&
           kind != FailureKind::HostKeyChanged && kind != FailureKind::ForwardingRefused &&
           kind != FailureKind::BeforeFailed && kind != FailureKind::BeforeNotStarted &&
           kind != FailureKind::BeforeTimedOut;
}

} // namespace

void TunnelMonitor::enter(Entry& entry, TunnelStatus status, ClientFailure failure) const {
    // A changing hint while connecting must not restart the clock that decides when a start is stuck.
    if (entry.health.status != status)
        entry.health.since = m_clock.now();
    entry.health.status = status;
    entry.health.failure = std::move(failure);
    if (status != TunnelStatus::Connected)
        entry.health.warning.reset();
    entry.ended = false;
    entry.portTaken = 0;
    entry.waitFrom = {};
}

void TunnelMonitor::started(const std::string& tunnel, int localPort, std::chrono::seconds connectTimeout) {
    ++m_revision; // a fresh period, always
    Entry& entry = m_tunnels[tunnel];
    entry.localPort = localPort;
    entry.connectTimeout = connectTimeout;
    entry.ended = false;
    entry.dueNow = false;
    entry.health.warning.reset();
    entry.health.status = TunnelStatus::Connecting; // a start always begins a fresh period, even while connecting
    entry.health.failure = {};
    entry.health.since = m_clock.now();
}

void TunnelMonitor::stopped(const std::string& tunnel) {
    ++m_revision;
    Entry& entry = m_tunnels[tunnel];
    entry.ended = false;
    entry.health = {TunnelStatus::NotConnected, {}, m_clock.now(), 0};
}

void TunnelMonitor::forget(const std::string& tunnel) {
    m_revision += m_tunnels.erase(tunnel);
}

void TunnelMonitor::failed(const std::string& tunnel, ClientFailure failure, bool clientStopped) {
    ++m_revision;
    Entry& entry = m_tunnels[tunnel];
    enter(entry, TunnelStatus::Failed, std::move(failure));
    entry.ended = clientStopped;
}

void TunnelMonitor::setWarning(const std::string& tunnel, std::optional<ServiceWarning> warning) {
    const auto found = m_tunnels.find(tunnel);
    if (found != m_tunnels.end() && found->second.health.status == TunnelStatus::Connected &&
        found->second.health.warning != warning) {
        found->second.health.warning = std::move(warning);
        ++m_revision;
    }
}

bool TunnelMonitor::restartNow(const std::string& tunnel) {
    if (!restartDue(tunnel))
        return false;
    m_tunnels[tunnel].dueNow = true;
    return true;
}

void TunnelMonitor::restarting(const std::string& tunnel) {
    Entry& entry = m_tunnels[tunnel];
    started(tunnel, entry.localPort, entry.connectTimeout);
    ++entry.health.retries;
}

void TunnelMonitor::postpone(const std::string& tunnel) {
    const auto found = m_tunnels.find(tunnel);
    if (found == m_tunnels.end())
        return;
    found->second.waitFrom = m_clock.now();
    found->second.dueNow = false;
    ++m_revision;
}

const TunnelHealth& TunnelMonitor::observe(const std::string& tunnel, const TunnelObservation& seen,
                                           const std::function<std::string()>& clientOutput) {
    // Most looks change nothing: a window redraws only for those that do.
    const TunnelHealth before = health(tunnel);
    const TunnelHealth& now = observeOnly(tunnel, seen, clientOutput);
    if (!(now == before))
        ++m_revision;
    return now;
}

const TunnelHealth& TunnelMonitor::observeOnly(const std::string& tunnel, const TunnelObservation& seen,
                                               const std::function<std::string()>& clientOutput) {
    Entry& entry = m_tunnels[tunnel];
    TunnelHealth& health = entry.health;
    const auto now = m_clock.now();
    if (seen.localPort != 0)
        entry.localPort = seen.localPort;
    if (health.status == TunnelStatus::Connected && now - health.since >= kSteadyAfter)
        health.retries = 0;

    if (seen.clientRunning) {
        // A client whose forward cannot work is being stopped: it does not come back as connecting.
        const FailureKind kind = health.failure.kind;
        if (health.status == TunnelStatus::Failed &&
            (kind == FailureKind::ForwardingRefused || kind == FailureKind::LocalPortInUse))
            return health;
        // A connected client that has just ended can leave its listening socket behind for a moment, seen
        // as someone else's: only a second look in a row makes that a port held by another program.
        if (seen.portTakenByOther && health.status == TunnelStatus::Connected && entry.portTaken++ == 0)
            return health;
        if (seen.forwardListening) {
            if (health.status != TunnelStatus::Connected)
                enter(entry, TunnelStatus::Connected, {});
            entry.portTaken = 0;
        } else if (seen.portTakenByOther) {
            enter(entry, TunnelStatus::Failed, {FailureKind::LocalPortInUse, std::to_string(entry.localPort), {}});
        } else {
            ClientFailure hint;
            const bool connecting = health.status == TunnelStatus::Connecting;
            if (connecting && entry.connectTimeout.count() > 0 && now - health.since >= entry.connectTimeout) {
                // A server that takes the connection and never finishes it would hold the client for ever; a
                // question for the user is no stall, since a hidden client never waits on one.
                ClientFailure timedOut{FailureKind::ConnectTimedOut, {}, {}};
                timedOut.stage = connectStageOf(clientOutput(), &timedOut.hop);
                enter(entry, TunnelStatus::Failed, std::move(timedOut));
                entry.ended = true; // its client is stopped
                return health;
            }
            if (connecting && now - health.since >= kStuckAfter)
                hint = parseClientOutput(clientOutput());
            enter(entry, TunnelStatus::Connecting, std::move(hint));
        }
        return health;
    }

    // A Failed tunnel keeps its reason until the next start or stop; NotConnected has nothing to lose.
    if (!isUp(health.status))
        return health;
    ClientFailure failure = parseClientOutput(clientOutput());
    if (failure.kind == FailureKind::None) {
        if (health.status == TunnelStatus::Connecting && now - health.since < kStartGrace)
            return health;
        failure = {FailureKind::ClientEnded, {}, {}};
    }
    enter(entry, TunnelStatus::Failed, std::move(failure));
    entry.ended = true;
    return health;
}

const TunnelHealth& TunnelMonitor::health(const std::string& tunnel) const {
    static const TunnelHealth unknown;
    const auto found = m_tunnels.find(tunnel);
    return found == m_tunnels.end() ? unknown : found->second.health;
}

std::optional<std::chrono::steady_clock::time_point> TunnelMonitor::restartDue(const std::string& tunnel) const {
    const auto found = m_tunnels.find(tunnel);
    if (found == m_tunnels.end())
        return std::nullopt;
    const Entry& entry = found->second;
    if (entry.health.status != TunnelStatus::Failed || !entry.ended || !transient(entry.health.failure.kind))
        return std::nullopt;
    const auto from = std::max(entry.health.since, entry.waitFrom);
    if (entry.dueNow)
        return from;
    const int retries = entry.health.retries;
    if (entry.health.failure.kind == FailureKind::ClosedEarly && retries < kSoonTriesAfterClosedEarly)
        return from + kSoonAfterClosedEarly + spreadWait(tunnel, retries);
    const int doublings = std::min(retries, 6);
    return from + std::min<std::chrono::seconds>(std::chrono::seconds(1 << doublings), kSteadyAfter);
}

} // namespace quorvane
