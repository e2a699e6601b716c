// Every tunnel's status from one pass over this user's clients and the listening sockets.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "process/tunnel_clients.h"
#include "tunnel/file_growth_watch.h"
#include "tunnel/forward_events.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_monitor.h"

namespace quorvane {

// A tunnel whose status, or whose reason, changed in a pass.
struct HealthChange {
    std::string tunnel;
    TunnelStatus before = TunnelStatus::NotConnected;
    TunnelHealth now;
};

// How a tunnel's client was started, as far as watching it goes.
struct ClientSetup {
    // Its forwards listen on these ports here (none for forwards that listen on the server: then a
    // running client counts as connected).
    std::vector<int> localPorts;
    bool reconnect = false; // restart it after a transient end
    int probePort = 0;      // the program's own check forward (0: none, or not known yet)
    int probeSeconds = 0;   // how often the server is asked whether it answers (0: never)
    // How long its connect may take before it is given up (zero: no limit).
    std::chrono::seconds connectTimeout{TunnelMonitor::kDefaultConnectTimeout};
};

// A connected tunnel whose server can be asked now whether it still answers.
struct ProbeTarget {
    std::string tunnel;
    int port = 0;
    int everySeconds = 0;
};

// What a connected tunnel carries now, and for how long it has been up.
struct TunnelActivity {
    std::optional<int> connections;           // none: the system cannot say, or no forward listens here
    std::chrono::steady_clock::duration up{}; // since it became connected, on the tracker's clock
    bool operator==(const TunnelActivity&) const = default;
};

class TunnelHealthTracker {
public:
    // The client logs live in the tunnels' folders under workingDir. sockets and clock are not owned.
    TunnelHealthTracker(std::string workingDir, SocketTable& sockets, const Clock& clock);

    // The tunnel's client log, emptied: what the next client writes is all the pass will read. problem
    // says why it could not be (a link, a pipe, a second name in its place), empty when it was.
    std::string freshClientLog(const std::string& tunnel, std::string& problem);

    // The program started the tunnel's client.
    void started(const std::string& tunnel, ClientSetup setup);
    void stopped(const std::string& tunnel); // by the user: no failure, no restart
    void forget(const std::string& tunnel);  // deleted or renamed away

    // One pass over the listed tunnels: connected when every local port listens in the client's hands.
    // setupOf is asked once for a tunnel whose client runs but whose set-up is not known (a client left
    // running by an earlier run: its check forward is the port it listens on besides the tunnel's own).
    // What a running client wrote about its forwards since the last pass counts too.
    std::vector<HealthChange> pass(const TunnelClients& clients, const std::vector<std::string>& tunnels,
                                   const std::function<ClientSetup(const std::string&)>& setupOf);

    // What the running clients wrote about their forwards since the last look, between two passes.
    std::vector<HealthChange> readClientWords();

    // Failed for a reason found outside a pass (see TunnelMonitor::failed); returns the change.
    HealthChange failed(const std::string& tunnel, ClientFailure failure, bool clientStopped);

    // Connected tunnels whose check forward listens in their client's hands, and tunnels whose forwards all
    // listen but whose first check has not answered yet.
    std::vector<ProbeTarget> probeTargets() const;
    // The tunnel's check answered: a tunnel whose forwards listen is connected now, unless the client's words
    // that came with the answer say the server refuses them. The change, when there is one.
    std::optional<HealthChange> checkAnswered(const std::string& tunnel);
    // Clients this program started a moment ago whose forwards do not listen yet, or whose first check is still to
    // answer.
    bool anyComingUp() const;
    // The tunnel's client runs with every forward listening (at the last pass): it is logged in.
    bool forwardsListening(const std::string& tunnel) const;

    const TunnelHealth& health(const std::string& tunnel) const { return m_monitor.health(tunnel); }
    // For a connected tunnel: the connections its forwards carry (as the last pass counted them) and how long
    // it has been up; nothing for any other.
    std::optional<TunnelActivity> activity(const std::string& tunnel) const;

    // Counting connections walks the system's whole connection table, twice a pass: while nothing shows the
    // counts (the window hidden), passes skip it and activity() gives none. Counted again from the next pass on.
    void setCountsWanted(bool wanted);

    // Changes whenever a tunnel's health, a connected tunnel's count of connections or its whole minutes up
    // may have changed (a restart's countdown aside).
    std::uint64_t revision() const { return m_monitor.revision() + m_countsRevision; }

    // Tunnels with reconnection on whose restart is due now.
    std::vector<std::string> restartsDue() const;
    // How long until the earliest restart still to come (on this tracker's clock), for a pass to be run then.
    std::optional<std::chrono::milliseconds> untilNextRestart() const;
    // How long until the tunnel's own restart, when one is due.
    std::optional<std::chrono::milliseconds> untilRestart(const std::string& tunnel) const;
    void restarting(const std::string& tunnel);
    // A restart that fell due could not be tried: it waits as long again, without a retry counted.
    void postpone(const std::string& tunnel) { m_monitor.postpone(tunnel); }
    // The restart comes now, not after the wait (the user asked, the network came back).
    bool restartNow(const std::string& tunnel);

    const Clock& clock() const { return m_clock; }

    // The client log's path, whether or not it exists.
    std::string clientLog(const std::string& tunnel) const;

private:
    std::string m_workingDir;
    SocketTable& m_sockets;
    const Clock& m_clock;
    TunnelMonitor m_monitor;
    std::unique_ptr<FileGrowthWatch> m_logGrowth; // before the followers that use it
    struct Watched {
        explicit Watched(ClientLogFollower follower) : log(std::move(follower)) {}
        ClientSetup setup;
        bool probeListening = false;
        ClientLogFollower log;
        // Started by this program, a client is connected only once its check has answered: its forwards listen
        // as soon as it is logged in, whether or not the server will carry them.
        bool verified = true;
        bool listening = false;   // every forward listens in its hands (at the last pass)
        bool startedHere = false; // by this program, rather than left running by an earlier run
        bool needsVerifying() const { return !verified && setup.probePort != 0 && setup.probeSeconds > 0; }
    };
    Watched& watched(const std::string& tunnel);
    void readClientWords(const std::string& tunnel, Watched& client);
    void countConnections();

    std::unordered_map<std::string, Watched> m_clients;
    mutable std::unordered_map<std::string, std::string> m_logPaths;
    std::unordered_map<std::string, int> m_connections;        // connected tunnels' counts, where the system told them
    std::unordered_map<std::string, std::int64_t> m_minutesUp; // connected tunnels' whole minutes up, as last shown
    std::uint64_t m_countsRevision = 0;
    bool m_countsWanted = true;
};

} // namespace quorvane
