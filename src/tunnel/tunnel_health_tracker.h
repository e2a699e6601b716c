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

    // The program started the tunnel's client; reconnect: restart it after a transient end. A
    // localPort of kNoLocalListener (a remote forward listens on the server) counts a running
    // client as connected.
    static constexpr int kNoLocalListener = -1;
    void started(const std::string& tunnel, int localPort, bool reconnect);
    void stopped(const std::string& tunnel); // by the user: no failure, no restart
    void forget(const std::string& tunnel);  // deleted or renamed away

    // One pass over the listed tunnels. portOf is asked once for a tunnel whose client runs but
    // whose port is not known (a client left running by an earlier run); 0 when it cannot say,
    // kNoLocalListener for a remote forward.
    std::vector<HealthChange> pass(const TunnelClients& clients, const std::vector<std::string>& tunnels,
                                   const std::function<int(const std::string&)>& portOf);

    const TunnelHealth& health(const std::string& tunnel) const { return m_monitor.health(tunnel); }

    // Tunnels with reconnection on whose restart is due now.
    std::vector<std::string> restartsDue() const;
    // The earliest restart still to come, for a pass to be run then.
    std::optional<std::chrono::steady_clock::time_point> nextRestart() const;
    void restarting(const std::string& tunnel);

    // The client log's path, whether or not it exists.
    std::string clientLog(const std::string& tunnel) const;

private:
    std::string m_workingDir;
    SocketTable& m_sockets;
    const Clock& m_clock;
    TunnelMonitor m_monitor;
    std::unordered_map<std::string, int> m_ports;
    std::unordered_map<std::string, bool> m_reconnect;
};

} // namespace quorvane
