// Starts a tunnel's client detached, hidden or in a visible window.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace quorvane {

struct LaunchRequest {
    std::string executable; // full path of the client copy
    std::string parameters; // the command line, split like a Windows program's
    std::string directory;  // folder the client is started in
    bool visible = false;   // in a terminal window (debug) or hidden
};

class ClientLauncher {
public:
    virtual ~ClientLauncher() = default;
    // Starts the client without waiting for it. Returns the system's error text (e.g. "No such file
    // or directory") when it could not be started, nothing on success.
    virtual std::optional<std::string> launch(const LaunchRequest& request) = 0;
};

std::unique_ptr<ClientLauncher> createSystemLauncher();

} // namespace quorvane
