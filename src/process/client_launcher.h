// Starts a tunnel's client detached, hidden or in a visible window.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "process/process_services.h"

namespace quorvane {

struct LaunchRequest {
    std::string executable; // full path of the client copy
    std::string parameters; // the command line, split like a Windows program's
    std::string directory;  // folder the client is started in
    bool visible = false;   // in a terminal window (debug) or hidden
    // When not empty, readable by the client at secretFile() and by no other user; parameters name
    // that path. It never appears on a command line.
    std::string secret{};
    // When not empty, a hidden client's output and errors are appended to this file (created for
    // the user alone), so the program can tell why it ended. A visible client writes to its window.
    std::string outputFile{};
    // Like secret, for the jump host's client, which the client starts: readable at hopSecretFile().
    std::string hopSecret{};
};

class ClientLauncher {
public:
    virtual ~ClientLauncher() = default;
    // Starts the client without waiting for it. Returns the system's error text (e.g. "No such file
    // or directory") when it could not be started, nothing on success.
    virtual std::optional<std::string> launch(const LaunchRequest& request) = 0;

    // The path at which the next launch's secret will be readable by its client, for its parameters
    // (an inherited pipe's /dev/fd entry on POSIX; on Windows a fresh file name in the user's own
    // temporary folder, which the launch creates for the user alone and removes once the client has
    // had time to read it or has ended).
    virtual std::string secretFile() = 0;
    // The same for the next launch's hopSecret, which the client's own children can read too.
    virtual std::string hopSecretFile() = 0;

    // The process id of the client the last successful launch started, when the system said.
    virtual ProcessId lastStarted() const { return NoProcessId; }
};

std::unique_ptr<ClientLauncher> createSystemLauncher();

} // namespace quorvane
