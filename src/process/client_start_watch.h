// Tells a pass whether a tunnel's client may have started since it last looked, so that a quiet pass need not
// list every process of the machine to learn that nothing started.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class ClientStartWatch {
public:
    virtual ~ClientStartWatch() = default;
    // The folders to watch: tunnelsDir as fs::canonicalPath gives it, and its tunnels' folder names. Cheap when
    // they are the ones already watched.
    virtual void follow(const std::string& tunnelsDir, const std::vector<std::string>& tunnels) = 0;
    // Never blocks. True when a client copy of a watched tunnel was opened (which starting it does), a folder
    // was added, moved or removed, or the system could not tell, since the last call; and at the first call.
    virtual bool mayHaveStarted() = 0;
};

// The system's: on Linux the kernel's file events; where there is nothing as cheap, every call says yes.
std::unique_ptr<ClientStartWatch> createSystemClientStartWatch();

} // namespace quorvane
