// Matching this user's processes to tunnels by the full path of their executable.
#include "process/tunnel_clients.h"

#include "store/file_system.h"
#include "store/paths.h"

namespace quorvane {

namespace {

const std::vector<OwnProcess> kNone;

} // namespace

TunnelClients::TunnelClients(std::string tunnelsDir, const std::vector<OwnProcess>& processes, char separator,
                             bool ignoreCase)
    : m_separator(separator), m_ignoreCase(ignoreCase) {
    while (tunnelsDir.size() > 1 && tunnelsDir.back() == m_separator)
        tunnelsDir.pop_back();
    const std::string prefix = keyOf(tunnelsDir) + m_separator;
    for (const OwnProcess& process : processes) {
        // Tunnels folder, one folder, one file: nothing deeper and nothing beside it.
        const std::string path = keyOf(process.executable);
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string_view rest = std::string_view(process.executable).substr(prefix.size());
        const auto cut = rest.find(m_separator);
        if (cut == std::string_view::npos || cut == 0 || rest.find(m_separator, cut + 1) != std::string_view::npos)
            continue;
        const std::string_view folder = rest.substr(0, cut);
        const std::string_view file = rest.substr(cut + 1);
        if (foldAsciiCase(std::string(file)) != foldAsciiCase(paths::ClientExeName(std::string(folder))))
            continue;
        m_byFolder[keyOf(folder)].push_back(process);
    }
}

TunnelClients TunnelClients::forPlatform(const std::string& tunnelsDir, const std::vector<OwnProcess>& processes) {
    return TunnelClients(tunnelsDir, processes, fs::separator(), fs::namesIgnoreCase());
}

std::string TunnelClients::keyOf(std::string_view folderName) const {
    std::string key(folderName);
    return m_ignoreCase ? foldAsciiCase(std::move(key)) : key;
}

void TunnelClients::dropForkedCopies(ProcessServices& processes) {
    for (auto& [folder, clients] : m_byFolder) {
        if (clients.size() > 1)
            processes.DropForkedCopies(clients);
    }
}

const std::vector<OwnProcess>& TunnelClients::clientsOf(std::string_view tunnelName) const {
    const auto found = m_byFolder.find(keyOf(tunnelName));
    return found == m_byFolder.end() ? kNone : found->second;
}

} // namespace quorvane
