// Feeding the tunnel monitor: clients and sockets matched once per pass, the log read only when needed.
#include "tunnel/tunnel_health_tracker.h"

#include <algorithm>

#include "store/file_system.h"
#include "store/paths.h"
#include "tunnel/client_log.h"

namespace quorvane {

namespace {

constexpr std::size_t kLogKeep = 64 * 1024;
constexpr std::size_t kOutputLooked = 16 * 1024;
constexpr const char* kClientLog = "client.log";

} // namespace

TunnelHealthTracker::TunnelHealthTracker(std::string workingDir, SocketTable& sockets, const Clock& clock)
    : m_workingDir(std::move(workingDir)), m_sockets(sockets), m_clock(clock), m_monitor(clock),
      m_logGrowth(createFileGrowthWatch()) {}

std::string TunnelHealthTracker::clientLog(const std::string& tunnel) const {
    // Resolved once per start, not on every pass: resolving looks at each part of the path.
    const auto known = m_logPaths.find(tunnel);
    if (known != m_logPaths.end())
        return known->second;
    const std::string folder = paths::ClientWorkingFolder(paths::ClientExePath(m_workingDir, tunnel));
    return m_logPaths[tunnel] = fs::resolve(folder) + fs::separator() + kClientLog;
}

std::string TunnelHealthTracker::freshClientLog(const std::string& tunnel, std::string& problem) {
    m_logPaths.erase(tunnel); // the folder may have been renamed or remade since the last start
    const std::string path = clientLog(tunnel);
    // An earlier run's last words must not be read as this start's failure. The client's words are
    // about the user's server and account: for the user alone. A link, pipe or second name in the
    // log's place is refused, never emptied or followed.
    fs::NoFollowFile log;
    const fs::FileStatus status = log.open(path, fs::NoFollowFile::Access::CreatePrivateEmpty);
    problem = status == fs::FileStatus::Ok ? std::string()
                                           : "Unable to use " + path + ": " + fs::fileProblemReason(status, 0);
    return path;
}

TunnelHealthTracker::Watched& TunnelHealthTracker::watched(const std::string& tunnel) {
    auto found = m_clients.find(tunnel);
    if (found == m_clients.end())
        found = m_clients.try_emplace(tunnel, ClientLogFollower(clientLog(tunnel), m_logGrowth.get())).first;
    return found->second;
}

void TunnelHealthTracker::started(const std::string& tunnel, ClientSetup setup) {
    const int first = setup.localPorts.empty() ? 0 : setup.localPorts.front();
    m_clients.erase(tunnel); // a fresh log, read from its start
    const std::chrono::seconds timeout = setup.connectTimeout;
    Watched& client = watched(tunnel);
    client.setup = std::move(setup);
    client.verified = false;
    client.startedHere = true;
    m_monitor.started(tunnel, first, timeout);
}

void TunnelHealthTracker::stopped(const std::string& tunnel) {
    m_monitor.stopped(tunnel);
    if (const auto found = m_clients.find(tunnel); found != m_clients.end())
        found->second.log.release(); // the folder may be removed or renamed next
}

void TunnelHealthTracker::forget(const std::string& tunnel) {
    m_monitor.forget(tunnel);
    m_clients.erase(tunnel);
    m_logPaths.erase(tunnel);
}

HealthChange TunnelHealthTracker::failed(const std::string& tunnel, ClientFailure failure, bool clientStopped) {
    const TunnelStatus before = m_monitor.health(tunnel).status;
    m_monitor.failed(tunnel, std::move(failure), clientStopped);
    return {tunnel, before, m_monitor.health(tunnel)};
}

void TunnelHealthTracker::readClientWords(const std::string& tunnel, Watched& client) {
    ForwardEvents events = client.log.readNew();
    if (!events.any())
        return;
    if (events.probePort && client.setup.probePort == 0)
        client.setup.probePort = *events.probePort;
    if (events.localPortInUse && events.localPortInUse != std::to_string(client.setup.probePort))
        m_monitor.failed(tunnel, {FailureKind::LocalPortInUse, *events.localPortInUse, {}}, false);
    if (events.forwardingRefused)
        m_monitor.failed(tunnel, {FailureKind::ForwardingRefused, *events.forwardingRefused, {}}, false);
    if (events.serviceRefused)
        m_monitor.setWarning(tunnel, ServiceWarning{*events.serviceRefused, std::chrono::system_clock::now()});
    else if (events.serviceReached && m_monitor.health(tunnel).warning)
        m_monitor.setWarning(tunnel, std::nullopt);
}

std::vector<HealthChange> TunnelHealthTracker::pass(const TunnelClients& clients,
                                                    const std::vector<std::string>& tunnels,
                                                    const std::function<ClientSetup(const std::string&)>& setupOf) {
    m_logGrowth->collect();
    std::vector<ProcessId> candidates;
    std::vector<const std::vector<OwnProcess>*> clientsOf;
    clientsOf.reserve(tunnels.size());
    for (const std::string& tunnel : tunnels) {
        clientsOf.push_back(&clients.clientsOf(tunnel));
        for (const OwnProcess& client : *clientsOf.back())
            candidates.push_back(client.id);
    }
    // One look at the sockets serves every tunnel; none is needed while no client runs.
    const std::vector<ListeningSocket> sockets =
        candidates.empty() ? std::vector<ListeningSocket>{} : m_sockets.listening(candidates);

    std::vector<HealthChange> changes;
    for (std::size_t i = 0; i < tunnels.size(); ++i) {
        const std::string& tunnel = tunnels[i];
        const std::vector<OwnProcess>& own = *clientsOf[i];
        TunnelObservation seen;
        seen.clientRunning = !own.empty();
        if (!seen.clientRunning) {
            // No client now and none before: the state, and a failure's reason, stay as they are.
            const TunnelStatus status = m_monitor.health(tunnel).status;
            if (!isUp(status))
                continue;
        }
        const TunnelHealth before = m_monitor.health(tunnel);
        const auto ownedByClient = [&](const ListeningSocket& socket) {
            if (socket.ownerUnknown)
                return !own.empty();
            return std::any_of(own.begin(), own.end(),
                               [&](const OwnProcess& client) { return client.id == socket.owner; });
        };
        if (seen.clientRunning) {
            const bool known = m_clients.contains(tunnel);
            Watched& client = watched(tunnel);
            if (!known) {
                client.setup = setupOf(tunnel);
                // Left running by an earlier run: its check forward is the one port it holds besides the tunnel's.
                std::vector<int> others;
                for (const ListeningSocket& socket : sockets) {
                    const auto& ports = client.setup.localPorts;
                    if (!socket.ownerUnknown && ownedByClient(socket) &&
                        std::find(ports.begin(), ports.end(), socket.port) == ports.end() &&
                        std::find(others.begin(), others.end(), socket.port) == others.end())
                        others.push_back(socket.port);
                }
                client.setup.probePort = others.size() == 1 ? others.front() : 0;
                client.log.skipToEnd(); // what it said before this run is not news
            }
            // Connected when every forward listens in the client's hands. A port another program holds
            // as well (IPv4 and IPv6 apart) could take the connections: the forward is not to be trusted.
            bool all = true;
            client.probeListening = false;
            for (const ListeningSocket& socket : sockets) {
                if (socket.port == client.setup.probePort && client.setup.probePort != 0 && ownedByClient(socket))
                    client.probeListening = true;
            }
            for (const int port : client.setup.localPorts) {
                bool ours = false;
                bool theirs = false;
                for (const ListeningSocket& socket : sockets) {
                    if (socket.port == port)
                        (ownedByClient(socket) ? ours : theirs) = true;
                }
                if (theirs && !seen.portTakenByOther) {
                    seen.portTakenByOther = true;
                    seen.localPort = port;
                }
                all = all && ours && !theirs;
            }
            client.listening = all && !seen.portTakenByOther;
            // Forwards that listen on the server show nothing here; the check forward, opened once logged
            // in, tells a client that is through from one still connecting.
            if (client.setup.localPorts.empty() && client.setup.probePort != 0)
                client.listening = client.probeListening;
            // A check forward that could not listen (its port taken meanwhile) cannot answer: the forwards
            // listening are all there is to go by, as for a client without checks.
            seen.forwardListening = client.listening && !(client.needsVerifying() && client.probeListening);
            if (seen.localPort == 0 && !client.setup.localPorts.empty())
                seen.localPort = client.setup.localPorts.front();
            // A long-lived client must not fill the disk with its chatter; what it wrote since is read first,
            // and the file is opened to be cut only once that read found it past twice what is kept.
            readClientWords(tunnel, client);
            if (client.log.offset() > 2 * kLogKeep)
                trimLog(clientLog(tunnel), kLogKeep);
        }
        const TunnelHealth& now =
            m_monitor.observe(tunnel, seen, [&] { return readTail(clientLog(tunnel), kOutputLooked); });
        if (now.status != before.status || now.failure != before.failure || now.warning != before.warning)
            changes.push_back({tunnel, before.status, now});
    }
    countConnections();
    return changes;
}

void TunnelHealthTracker::setCountsWanted(bool wanted) {
    m_countsWanted = wanted;
}

void TunnelHealthTracker::countConnections() {
    // One look serves every connected tunnel, and none is taken while none is connected. The check forward
    // carries the program's own connections, not the user's.
    std::vector<int> ports;
    for (const auto& [tunnel, client] : m_clients) {
        if (!m_countsWanted || m_monitor.health(tunnel).status != TunnelStatus::Connected)
            continue;
        for (const int port : client.setup.localPorts) {
            if (port != client.setup.probePort && std::find(ports.begin(), ports.end(), port) == ports.end())
                ports.push_back(port);
        }
    }
    const std::vector<int> counts = ports.empty() ? std::vector<int>{} : m_sockets.connectionsOn(ports);
    std::unordered_map<std::string, int> connections;
    if (counts.size() == ports.size() && !ports.empty()) {
        for (const auto& [tunnel, client] : m_clients) {
            if (m_monitor.health(tunnel).status != TunnelStatus::Connected || client.setup.localPorts.empty())
                continue;
            int sum = 0;
            for (const int port : client.setup.localPorts) {
                const auto at = std::find(ports.begin(), ports.end(), port);
                if (at != ports.end())
                    sum += counts[static_cast<std::size_t>(at - ports.begin())];
            }
            connections[tunnel] = sum;
        }
    }
    // The time up is shown in whole minutes: a new minute is a change to show, a pass within one is not. Like the
    // counts, it is shown only in the window: hidden, a minute gone by is nothing to redraw.
    std::unordered_map<std::string, std::int64_t> minutesUp;
    for (const auto& [tunnel, client] : m_clients) {
        const TunnelHealth& health = m_monitor.health(tunnel);
        if (m_countsWanted && health.status == TunnelStatus::Connected)
            minutesUp[tunnel] = std::chrono::duration_cast<std::chrono::minutes>(m_clock.now() - health.since).count();
    }
    if (connections != m_connections || minutesUp != m_minutesUp) {
        m_connections = std::move(connections);
        m_minutesUp = std::move(minutesUp);
        ++m_countsRevision;
    }
}

std::optional<TunnelActivity> TunnelHealthTracker::activity(const std::string& tunnel) const {
    const TunnelHealth& health = m_monitor.health(tunnel);
    if (health.status != TunnelStatus::Connected)
        return std::nullopt;
    TunnelActivity activity;
    activity.up = std::max(std::chrono::steady_clock::duration::zero(), m_clock.now() - health.since);
    if (const auto count = m_connections.find(tunnel); count != m_connections.end())
        activity.connections = count->second;
    return activity;
}

std::vector<HealthChange> TunnelHealthTracker::readClientWords() {
    m_logGrowth->collect();
    std::vector<HealthChange> changes;
    for (auto& [tunnel, client] : m_clients) {
        const TunnelHealth before = m_monitor.health(tunnel);
        if (!isUp(before.status))
            continue;
        readClientWords(tunnel, client);
        const TunnelHealth& now = m_monitor.health(tunnel);
        if (now.status != before.status || now.failure != before.failure || now.warning != before.warning)
            changes.push_back({tunnel, before.status, now});
    }
    return changes;
}

std::vector<ProbeTarget> TunnelHealthTracker::probeTargets() const {
    std::vector<ProbeTarget> targets;
    for (const auto& [tunnel, client] : m_clients) {
        if (!client.probeListening || client.setup.probeSeconds <= 0)
            continue;
        const TunnelStatus status = m_monitor.health(tunnel).status;
        const bool verifying = status == TunnelStatus::Connecting && client.listening && client.needsVerifying();
        if (status == TunnelStatus::Connected || verifying)
            targets.push_back({tunnel, client.setup.probePort, client.setup.probeSeconds});
    }
    return targets;
}

std::optional<HealthChange> TunnelHealthTracker::checkAnswered(const std::string& tunnel) {
    const auto found = m_clients.find(tunnel);
    if (found == m_clients.end() || found->second.verified)
        return std::nullopt;
    Watched& client = found->second;
    client.verified = true;
    const TunnelHealth before = m_monitor.health(tunnel);
    // The client writes a refusal before it closes the check's connection: read now, it is already there.
    m_logGrowth->collect();
    readClientWords(tunnel, client);
    if (m_monitor.health(tunnel).status == TunnelStatus::Connecting && client.listening) {
        TunnelObservation seen;
        seen.clientRunning = true;
        seen.forwardListening = true;
        m_monitor.observe(tunnel, seen, [] { return std::string(); });
        countConnections(); // shown with the state from the start, as after a pass
    }
    const TunnelHealth& now = m_monitor.health(tunnel);
    if (now.status == before.status && now.failure == before.failure && now.warning == before.warning)
        return std::nullopt;
    return HealthChange{tunnel, before.status, now};
}

bool TunnelHealthTracker::forwardsListening(const std::string& tunnel) const {
    const auto found = m_clients.find(tunnel);
    return found != m_clients.end() && found->second.listening;
}

bool TunnelHealthTracker::anyComingUp() const {
    // A start that takes longer than a few seconds is looked at by the usual passes.
    return std::any_of(m_clients.begin(), m_clients.end(), [this](const auto& entry) {
        const TunnelHealth& health = m_monitor.health(entry.first);
        return entry.second.startedHere && health.status == TunnelStatus::Connecting &&
               m_clock.now() - health.since < TunnelMonitor::kStuckAfter;
    });
}

std::vector<std::string> TunnelHealthTracker::restartsDue() const {
    std::vector<std::string> due;
    const auto now = m_clock.now();
    for (const auto& [tunnel, client] : m_clients) {
        if (!client.setup.reconnect)
            continue;
        const auto when = m_monitor.restartDue(tunnel);
        if (when && *when <= now)
            due.push_back(tunnel);
    }
    return due;
}

std::optional<std::chrono::milliseconds> TunnelHealthTracker::untilNextRestart() const {
    std::optional<std::chrono::milliseconds> next;
    for (const auto& [tunnel, client] : m_clients) {
        if (const auto wait = untilRestart(tunnel); wait && (!next || *wait < *next))
            next = wait;
    }
    return next;
}

std::optional<std::chrono::milliseconds> TunnelHealthTracker::untilRestart(const std::string& tunnel) const {
    const auto client = m_clients.find(tunnel);
    if (client == m_clients.end() || !client->second.setup.reconnect)
        return std::nullopt;
    const auto when = m_monitor.restartDue(tunnel);
    if (!when)
        return std::nullopt;
    return std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(*when - m_clock.now()));
}

void TunnelHealthTracker::restarting(const std::string& tunnel) {
    m_monitor.restarting(tunnel);
}

bool TunnelHealthTracker::restartNow(const std::string& tunnel) {
    return untilRestart(tunnel) && m_monitor.restartNow(tunnel);
}

} // namespace quorvane
