// The periodic look at every tunnel and what follows from it: states, checks, drops, restarts, returning servers.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "process/client_start_watch.h"
#include "service/returning_servers.h"
#include "service/tunnel_connections.h"
#include "service/tunnel_opener.h"
#include "tunnel/liveness_probes.h"

namespace quorvane {

class TunnelSupervisor {
public:
    // A pass lists every process at least this often (every three minutes), whatever the start watch says.
    static constexpr int kQuietPassesBetweenListings = 59;
    // Restarts not yet logged in to one server at once: a server turns logins away past its own limit (OpenSSH
    // from ten at once by default).
    static constexpr int kLoginsPerServer = 4;
    // While a tunnel comes up, or a server's answer is awaited, passes come this often.
    static constexpr std::chrono::milliseconds kQuickPass{250};

    TunnelSupervisor(ServiceContext& context, TunnelCatalogue& catalogue, TunnelConnections& connections,
                     TunnelOpener& opener);

    void setClientStartWatch(ClientStartWatch* watch) { m_startWatch = watch; }
    void setHostLookup(ReturningServers::StartLookup startLookup);

    // One look at this user's clients and the listening ports, and the reactions. False when the listing failed.
    bool pass();
    // Once a second: the servers' checks, a changed network or a wake-up, servers back for waiting tunnels.
    void tick();
    bool needsTicks() const;
    // The tunnel's state, with the seconds until its next try when it waits to reconnect.
    TunnelHealth health(const std::string& tunnel) const;
    std::optional<std::uint64_t> statesRevision() const;
    // While the user is asked about the tunnel's failure (a host key to trust), its state says so.
    void awaitUser(const std::string& tunnel, bool asking);
    // A tunnel waiting to reconnect does so now; a failed one without reconnection connects again.
    CommandResult reconnectNow(const std::string& tunnel);

private:
    std::optional<std::vector<OwnProcess>> knownClientsStillRunning();
    void react(const HealthChange& change);
    void restartDueClients();
    void scheduleNextPass(bool waitingForALook);
    void lookAtServers();
    void lookForReturningServers();
    WaitingTunnel firstServerOf(const std::string& tunnel) const;

    ServiceContext& m_context;
    TunnelCatalogue& m_catalogue;
    TunnelConnections& m_connections;
    TunnelOpener& m_opener;
    std::optional<LivenessProbes> m_probes;
    std::optional<ReturningServers> m_returning;
    ClientStartWatch* m_startWatch = nullptr;
    std::optional<std::vector<OwnProcess>> m_knownClients; // the tunnels' clients at the last look
    int m_quietPasses = 0;                                 // since the last listing
    std::string m_tunnelsDirSeen;                          // at the last listing
    std::uint64_t m_askingRevision = 0;
};

} // namespace quorvane
