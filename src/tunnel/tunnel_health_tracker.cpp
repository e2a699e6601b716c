// Feeding the tunnel monitor: clients and sockets matched once per pass, the log read only when needed.
#include "tunnel/tunnel_health_tracker.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

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
    : m_workingDir(std::move(workingDir)), m_sockets(sockets), m_clock(clock), m_monitor(clock) {}

std::string TunnelHealthTracker::clientLog(const std::string& tunnel) const {
    // Resolved once per start, not on every pass: resolving looks at each part of the path.
    const auto known = m_logPaths.find(tunnel);
    if (known != m_logPaths.end())
        return known->second;
    const std::string folder = paths::ClientWorkingFolder(paths::ClientExePath(m_workingDir, tunnel));
    return m_logPaths[tunnel] = fs::resolve(folder) + fs::separator() + kClientLog;
}

std::string TunnelHealthTracker::freshClientLog(const std::string& tunnel) {
    m_logPaths.erase(tunnel); // the folder may have been renamed or remade since the last start
    const std::string path = clientLog(tunnel);
    // An earlier run's last words must not be read as this start's failure. The client's words are
    // about the user's server and account: for the user alone.
    // UTF-8 by name: a plain string would be read in the ANSI code page on Windows.
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    std::ofstream(file, std::ios::binary | std::ios::trunc);
    std::error_code ignored;
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 ignored);
    return path;
}

void TunnelHealthTracker::started(const std::string& tunnel, std::vector<int> localPorts, bool reconnect) {
    const int first = localPorts.empty() ? 0 : localPorts.front();
    m_ports[tunnel] = std::move(localPorts);
    m_reconnect[tunnel] = reconnect;
    m_monitor.started(tunnel, first);
}

void TunnelHealthTracker::stopped(const std::string& tunnel) {
    m_monitor.stopped(tunnel);
}

void TunnelHealthTracker::forget(const std::string& tunnel) {
    m_monitor.forget(tunnel);
    m_ports.erase(tunnel);
    m_reconnect.erase(tunnel);
    m_logPaths.erase(tunnel);
}

std::vector<HealthChange>
TunnelHealthTracker::pass(const TunnelClients& clients, const std::vector<std::string>& tunnels,
                          const std::function<std::vector<int>(const std::string&)>& portsOf) {
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
            if (status != TunnelStatus::Connecting && status != TunnelStatus::Connected)
                continue;
        }
        auto ports = m_ports.find(tunnel);
        if (ports == m_ports.end() && seen.clientRunning)
            ports = m_ports.emplace(tunnel, portsOf(tunnel)).first;
        if (ports != m_ports.end() && seen.clientRunning) {
            // Connected when every forward listens in the client's hands. A port another program holds
            // as well (IPv4 and IPv6 apart) could take the connections: the forward is not to be trusted.
            bool all = true;
            for (const int port : ports->second) {
                bool ours = false;
                bool theirs = false;
                for (const ListeningSocket& socket : sockets) {
                    if (socket.port != port)
                        continue;
                    const bool mine = std::any_of(own.begin(), own.end(),
                                                  [&](const OwnProcess& client) { return client.id == socket.owner; });
                    (mine ? ours : theirs) = true;
                }
                if (theirs && !seen.portTakenByOther) {
                    seen.portTakenByOther = true;
                    seen.localPort = port;
                }
                all = all && ours && !theirs;
            }
            seen.forwardListening = all && !seen.portTakenByOther;
            if (seen.localPort == 0 && !ports->second.empty())
                seen.localPort = ports->second.front();
            // A long-lived client must not fill the disk with its chatter.
            trimLog(clientLog(tunnel), kLogKeep);
        }
        const TunnelHealth before = m_monitor.health(tunnel);
        const TunnelHealth& now =
            m_monitor.observe(tunnel, seen, [&] { return readTail(clientLog(tunnel), kOutputLooked); });
        if (now.status != before.status || now.failure != before.failure)
            changes.push_back({tunnel, before.status, now});
    }
    return changes;
}

std::vector<std::string> TunnelHealthTracker::restartsDue() const {
    std::vector<std::string> due;
    const auto now = m_clock.now();
    for (const auto& [tunnel, reconnect] : m_reconnect) {
        if (!reconnect)
            continue;
        const auto when = m_monitor.restartDue(tunnel);
        if (when && *when <= now)
            due.push_back(tunnel);
    }
    return due;
}

std::optional<std::chrono::milliseconds> TunnelHealthTracker::untilNextRestart() const {
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const auto& [tunnel, reconnect] : m_reconnect) {
        if (const auto when = reconnect ? m_monitor.restartDue(tunnel) : std::nullopt; when && (!next || *when < *next))
            next = when;
    }
    if (!next)
        return std::nullopt;
    return std::chrono::ceil<std::chrono::milliseconds>(*next - m_clock.now());
}

void TunnelHealthTracker::restarting(const std::string& tunnel) {
    m_monitor.restarting(tunnel);
}

} // namespace quorvane
