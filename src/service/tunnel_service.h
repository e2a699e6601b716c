// Every command on the tunnels, by the tunnel's name, with no window: what happened comes back as data.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/service_context.h"
#include "service/tunnel_catalogue.h"
#include "service/tunnel_connections.h"
#include "service/tunnel_opener.h"
#include "service/tunnel_supervisor.h"
#include "service/tunnel_transfer.h"

namespace quorvane {

// The front the windows and the command line use. It owns the parts that do the work: the catalogue (the list and
// each tunnel's folder), the transfer (import and export), the connections (connect, start, disconnect), the opener
// ("Apri") and the supervisor (passes, ticks, restarts); each tunnel's own state is one record in the context.
class TunnelService {
public:
    // folders: the program's (plink, puttygen) and the data folder (tunnells/). None of the services is
    // owned; all must outlive the service. Without probe sockets no server is asked whether it answers;
    // without a network watch, a change of network or a wake-up is not noticed.
    TunnelService(ProgramFolders folders, ProcessServices& processes, ClientLauncher& launcher,
                  TunnelHealthTracker& health, ProbeSockets* probes = nullptr, NetworkWatch* network = nullptr);

    void setListener(TunnelServiceListener* listener) { m_context.listener = listener ? listener : &m_context.silent; }
    // Tells the passes when a client may have started (not owned). Without it every pass lists every process;
    // with it a quiet pass only asks whether the clients it knows still run.
    void setClientStartWatch(ClientStartWatch* watch) { m_supervisor.setClientStartWatch(watch); }
    // How the servers of tunnels waiting to reconnect are looked up by name (the system's resolver by default).
    void setHostLookup(ReturningServers::StartLookup startLookup) {
        m_supervisor.setHostLookup(std::move(startLookup));
    }
    const ProgramFolders& folders() const { return m_context.folders; }

    // ---- the list ----
    void list(const std::function<void()>& letEventsThrough = {}) { m_catalogue.list(letEventsThrough); }
    void removeLeftovers() { m_catalogue.removeLeftovers(); }
    const std::vector<std::string>& tunnels() const { return m_context.records.names(); }
    bool has(const std::string& tunnel) const { return m_catalogue.has(tunnel); }
    // The list, and each tunnel's definition read; tunnels marked for automatic connection are connected in
    // list order, unless their client already runs or the user disconnected them since this service was
    // made (showing the window again must not undo the user's disconnect).
    LoadReport load(const LoadHooks& hooks);

    // ---- commands ----
    CommandResult add(const std::string& name) { return m_catalogue.add(name); }
    // The definition as the file holds it (empty values for one that cannot serve).
    DefinitionLoad definition(const std::string& tunnel) const { return m_catalogue.definition(tunnel); }
    // Done, or refused with the store's words.
    CommandResult save(const std::string& tunnel, const TunnelDefinition& definition) {
        return m_catalogue.save(tunnel, definition);
    }
    std::string clientFolder(const std::string& tunnel) const { return m_catalogue.clientFolder(tunnel); }

    PlannedConnect planConnect(const std::string& tunnel) const { return m_connections.planConnect(tunnel); }
    CommandResult start(const ConnectPlan& plan) { return m_connections.start(plan); }
    CommandResult connect(const std::string& tunnel, UserPrompts& prompts = nullPrompts()) {
        return m_connections.connect(tunnel, prompts);
    }
    std::vector<ConnectPlan::Program> unapprovedPrograms(const std::string& tunnel,
                                                         const TunnelDefinition& definition) const {
        return m_connections.unapprovedPrograms(tunnel, definition);
    }
    CommandResult approvePrograms(const std::string& tunnel, const TunnelDefinition& definition, bool before = true,
                                  bool after = true) {
        return m_connections.approvePrograms(tunnel, definition, before, after);
    }
    CommandResult disconnect(const std::string& tunnel) { return m_connections.disconnect(tunnel); }
    CommandResult rename(const std::string& tunnel, const std::string& newName) {
        return m_catalogue.rename(tunnel, newName);
    }
    using RemovalCheck = TunnelCatalogue::RemovalCheck;
    RemovalCheck checkRemoval(const std::string& tunnel) const { return m_catalogue.checkRemoval(tunnel); }
    CommandResult remove(const std::string& tunnel) { return m_catalogue.remove(tunnel); }
    CommandResult trustHostKey(const std::string& tunnel, const std::string& fingerprint, bool ofJumpHost = false) {
        return m_connections.trustHostKey(tunnel, fingerprint, ofJumpHost);
    }
    void awaitUser(const std::string& tunnel, bool asking) { m_supervisor.awaitUser(tunnel, asking); }
    CommandResult exportTunnel(const std::string& tunnel, const std::string& file, bool withSecrets) const {
        return m_transfer.exportTunnel(tunnel, file, withSecrets);
    }
    using ImportCheck = TunnelTransfer::ImportCheck;
    ImportCheck checkImport(const std::string& file) const { return m_transfer.checkImport(file); }
    CommandResult importTunnel(const std::string& name, const TunnelDefinition& definition) {
        return m_transfer.importTunnel(name, definition);
    }
    std::string freeName(const std::string& base) const { return m_catalogue.freeName(base); }
    CommandResult importCandidates(const std::vector<ImportCandidate>& chosen, std::vector<std::string>& made) {
        return m_transfer.importCandidates(chosen, made);
    }
    CommandResult reconnectNow(const std::string& tunnel) { return m_supervisor.reconnectNow(tunnel); }
    BatchResult connectAll(UserPrompts& prompts = nullPrompts()) { return m_connections.connectAll(prompts); }
    BatchResult disconnectAll() { return m_connections.disconnectAll(); }

    QuickOpen quickOpen(const std::string& tunnel) const { return m_opener.quickOpen(tunnel); }
    bool quickOpenApproved(const std::string& tunnel) const { return m_opener.quickOpenApproved(tunnel); }
    CommandResult openProgram(const std::string& tunnel, bool approve = false) {
        return m_opener.openProgram(tunnel, approve);
    }
    CommandResult approveQuickOpen(const std::string& tunnel, const std::string& value) {
        return m_opener.approveQuickOpen(tunnel, value);
    }
    // PuTTY's key generator in a window of its own. Failures are not reported.
    void openKeyGenerator() { m_connections.openKeyGenerator(); }

    // ---- states ----
    static constexpr int kQuietPassesBetweenListings = TunnelSupervisor::kQuietPassesBetweenListings;

    bool pass() { return m_supervisor.pass(); }
    TunnelHealth health(const std::string& tunnel) const { return m_supervisor.health(tunnel); }
    std::optional<TunnelActivity> activity(const std::string& tunnel) const {
        return m_context.health.activity(tunnel);
    }
    void setCountsWanted(bool wanted) { m_context.health.setCountsWanted(wanted); }
    std::optional<std::uint64_t> statesRevision() const { return m_supervisor.statesRevision(); }
    void tick() { m_supervisor.tick(); }
    bool needsTicks() const { return m_supervisor.needsTicks(); }

private:
    ServiceContext m_context;
    TunnelCatalogue m_catalogue{m_context};
    TunnelTransfer m_transfer{m_context, m_catalogue};
    TunnelConnections m_connections{m_context, m_catalogue};
    TunnelOpener m_opener{m_context, m_catalogue};
    TunnelSupervisor m_supervisor{m_context, m_catalogue, m_connections, m_opener};
};

} // namespace quorvane
