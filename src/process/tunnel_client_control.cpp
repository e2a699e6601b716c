// Stopping tunnels' clients by their identity, with a fresh look after each attempt.
#include "process/tunnel_client_control.h"

#include <algorithm>
#include <thread>

#include "store/file_system.h"

namespace quorvane {

TunnelClientControl::TunnelClientControl(ProcessServices& processes, std::string tunnelsDir)
    : m_processes(processes), m_tunnelsDir(std::move(tunnelsDir)) {}

TunnelClients TunnelClientControl::match(const std::vector<OwnProcess>& processes) const {
    return TunnelClients::forPlatform(tunnelsDir(), processes);
}

std::string TunnelClientControl::tunnelsDir() const {
    return fs::canonicalPath(fs::resolve(m_tunnelsDir));
}

TunnelClients TunnelClientControl::snapshot() const {
    std::vector<OwnProcess> processes;
    if (!m_processes.ListOwnProcesses(processes))
        processes.clear();
    return match(processes);
}

bool TunnelClientControl::stillRuns(const std::string& tunnelName, const OwnProcess& client) const {
    const TunnelClients clients = snapshot();
    const std::vector<OwnProcess>& now = clients.clientsOf(tunnelName);
    return std::find(now.begin(), now.end(), client) != now.end();
}

TunnelClientControl::FirstStop TunnelClientControl::stopFirst(const std::string& tunnelName,
                                                              std::int32_t timeoutMs) const {
    const TunnelClients clients = snapshot();
    const std::vector<OwnProcess>& running = clients.clientsOf(tunnelName);
    if (running.empty())
        return FirstStop::NoneRan;
    const OwnProcess& first = running.front();
    if (m_processes.StopOwnProcess(first.id, first.executable, timeoutMs) != StopOutcome::Failed)
        return FirstStop::Stopped;
    // Failed also when it ended on its own meanwhile, which is no failure.
    return stillRuns(tunnelName, first) ? FirstStop::Failed : FirstStop::Stopped;
}

bool TunnelClientControl::stopAll(const std::string& tunnelName, std::int32_t timeoutMs,
                                  std::chrono::milliseconds wait) const {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<OwnProcess> signalled;
    for (;;) {
        const TunnelClients clients = snapshot();
        const std::vector<OwnProcess>& running = clients.clientsOf(tunnelName);
        if (running.empty())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        bool any = false;
        for (const OwnProcess& client : running) {
            if (std::find(signalled.begin(), signalled.end(), client) != signalled.end())
                continue;
            m_processes.StopOwnProcess(client.id, client.executable, timeoutMs);
            signalled.push_back(client);
            any = true;
        }
        // An end slower than the stop's own wait for it: give it a moment before looking again.
        if (!any)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace quorvane
