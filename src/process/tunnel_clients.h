// Which of this user's processes are tunnels' clients, by the executable they run.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "process/process_services.h"

namespace quorvane {

// A process counts as a tunnel's client only when its executable is that tunnel's own client copy:
// the tunnels folder, the tunnel's folder, then the tunnel name followed by "SSH.exe" (ASCII letters
// of the file name compared without case, as a folder copied from Windows may spell it). Another
// program of the same name, a copy elsewhere, another folder's client and other users' processes
// (which the snapshot does not hold) never count.
class TunnelClients {
public:
    TunnelClients() = default;
    // tunnelsDir: the tunnels folder as fs::canonicalPath gives it. separator and ignoreCase are
    // the platform's path rules (fs::separator, fs::namesIgnoreCase).
    TunnelClients(std::string tunnelsDir, const std::vector<OwnProcess>& processes, char separator, bool ignoreCase);

    // With the platform's own path rules.
    static TunnelClients forPlatform(const std::string& tunnelsDir, const std::vector<OwnProcess>& processes);

    bool isRunning(std::string_view tunnelName) const { return !clientsOf(tunnelName).empty(); }

    // The tunnel's client processes in enumeration order (empty when none runs).
    const std::vector<OwnProcess>& clientsOf(std::string_view tunnelName) const;

    // ProcessServices::DropForkedCopies over each tunnel's clients: parents are asked only of a tunnel that
    // seems to have two, not of every process the user runs.
    void dropForkedCopies(ProcessServices& processes);

private:
    std::string keyOf(std::string_view folderName) const;

    char m_separator = '/';
    bool m_ignoreCase = false;
    std::unordered_map<std::string, std::vector<OwnProcess>> m_byFolder;
};

} // namespace quorvane
