// Finding and stopping a tunnel's own clients, and nothing else.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "process/process_services.h"
#include "process/tunnel_clients.h"

namespace quorvane {

class TunnelClientControl {
public:
    // tunnelsDir: the tunnels folder, any spelling; it is made canonical at each use, since the
    // user may move or link it while the program runs. processes is not owned.
    TunnelClientControl(ProcessServices& processes, std::string tunnelsDir);

    // This user's processes now, matched to tunnels. Empty when the listing failed.
    TunnelClients snapshot() const;

    // The same matching over a listing already taken (the monitor's).
    TunnelClients match(const std::vector<OwnProcess>& processes) const;
    // The tunnels folder as it is now, links resolved.
    std::string tunnelsDir() const;

    enum class FirstStop {
        NoneRan, // nothing to stop
        Stopped, // it ran and has ended (by the stop, or on its own meanwhile)
        Failed,  // it ran and still runs: a stop that did not take effect must be reported
    };
    // Stops the first client of the tunnel, if one runs.
    FirstStop stopFirst(const std::string& tunnelName, std::int32_t timeoutMs) const;

    // Stops every client of the tunnel, waiting at most wait for them to end. False when one still
    // runs after that.
    bool stopAll(const std::string& tunnelName, std::int32_t timeoutMs, std::chrono::milliseconds wait) const;

private:
    bool stillRuns(const std::string& tunnelName, const OwnProcess& client) const;

    ProcessServices& m_processes;
    std::string m_tunnelsDir;
};

} // namespace quorvane
