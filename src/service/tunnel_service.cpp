// The service's front: each command handed to the part that does it, and the load that uses several.
#include "service/tunnel_service.h"

#include "service/definition_prefetch.h"

namespace quorvane {

TunnelService::TunnelService(ProgramFolders folders, ProcessServices& processes, ClientLauncher& launcher,
                             TunnelHealthTracker& health, ProbeSockets* probes, NetworkWatch* network)
    : m_context(std::move(folders), processes, launcher, health, probes, network) {}

LoadReport TunnelService::load(const LoadHooks& hooks) {
    LoadReport report;
    list(hooks.letEventsThrough);
    // One snapshot serves every automatic connection: a tunnel whose client already runs (after a
    // restore from the notification area) must not get a second session.
    std::optional<TunnelClients> running;
    // A copy: a hook may let a pass run, and nothing may change the list under the loop.
    const std::vector<std::string> tunnels = m_context.records.names();
    DefinitionPrefetch definitions(paths::TunnelsDirForListing(m_context.folders.data), tunnels);
    if (hooks.listed)
        hooks.listed();
    for (std::size_t index = 0; index < tunnels.size(); ++index) {
        const std::string& tunnel = tunnels[index];
        const DefinitionLoad load = definitions.take(index);
        if (!load.ok() && load.problem != DefinitionProblem::Missing)
            report.unusable.push_back(load.message()); // loads empty, so it is not connected
        if (hooks.reading)
            hooks.reading(tunnel);
        const TunnelRecord* record = m_context.records.find(tunnel);
        if (!load.definition.AutoConnessione || (record && record->disconnectedByUser))
            continue;
        if (!running)
            running = m_context.clients.snapshot();
        // A second row of the same name must not start another one either.
        if (running->isRunning(tunnel) ||
            std::find(report.started.begin(), report.started.end(), tunnel) != report.started.end())
            continue;
        CommandResult result = m_connections.connect(tunnel, hooks.prompts ? *hooks.prompts : nullPrompts());
        report.notices.insert(report.notices.end(), result.notices.begin(), result.notices.end());
        report.started.push_back(tunnel);
    }
    // One pass after all the connects, not one per connect.
    if (!report.started.empty())
        m_supervisor.pass();
    return report;
}

} // namespace quorvane
