// Every tunnel's status from one pass over this user's clients and the listening sockets.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "process/tunnel_clients.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_monitor.h"

namespace quorvane {

// A tunnel whose status, or whose reason, changed in a pass.
struct HealthChange {
    std::string tunnel;
    TunnelStatus before = TunnelStatus::NotConnected;
    TunnelHealth now;
};

class TunnelHealthTracker {
public:
    // The client logs live in the tunnels' folders under workingDir. sockets and clock are not owned.
    TunnelHealthTracker(std::string workingDir, SocketTable& sockets, const Clock& clock);

    // The tunnel's client log, emptied: what the next client writes is all the pass will read.
    std::string freshClientLog(const std::string& tunnel);

    // The program started the tunnel's client, whose forwards listen on localPorts here (none for
    // forwards that listen on the server: then a running client counts as connected); reconnect:
    // restart it after a transient end.
    void started(const std::string& tunnel, std::vector<int> localPorts, bool reconnect);
    void stopped(const std::string& tunnel); // by the user: no failure, no restart
    void forget(const std::string& tunnel);  // deleted or renamed away

    // One pass over the listed tunnels: connected when every local port listens in the client's hands.
    // portsOf is asked once for a tunnel whose client runs but whose ports are not known (a client
    // left running by an earlier run).
    std::vector<HealthChange> pass(const TunnelClients& clients, const std::vector<std::string>& tunnels,
                                   const std::function<std::vector<int>(const std::string&)>& portsOf);

    const TunnelHealth& health(const std::string& tunnel) const { return m_monitor.health(tunnel); }

    // Tunnels with reconnection on whose restart is due now.
    std::vector<std::string> restartsDue() const;
    // How long until the earliest restart still to come (on this tracker's clock), for a pass to be run then.
    std::optional<std::chrono::milliseconds> untilNextRestart() const;
    void restarting(const std::string& tunnel);

    // The client log's path, whether or not it exists.
    std::string clientLog(const std::string& tunnel) const;

private:
    std::string m_workingDir;
    SocketTable& m_sockets;
    const Clock& m_clock;
    TunnelMonitor m_monitor;
    std::unordered_map<std::string, std::vector<int>> m_ports;
    std::unordered_map<std::string, bool> m_reconnect;
    mutable std::unordered_map<std::string, std::string> m_logPaths;
};

} // namespace quorvane
