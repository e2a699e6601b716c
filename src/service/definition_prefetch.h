// The listed tunnels' definitions, read on a thread of their own while the window lays their rows out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/file_system.h"
#include "store/tunnel_definition.h"

namespace quorvane {

class DefinitionPrefetch {
public:
    // tunnelsDir as TunnelsDirForListing gives it. Reading starts at once, in list order.
    DefinitionPrefetch(std::string tunnelsDir, std::vector<std::string> tunnels);
    ~DefinitionPrefetch(); // what is not read yet is not read
    DefinitionPrefetch(const DefinitionPrefetch&) = delete;
    DefinitionPrefetch& operator=(const DefinitionPrefetch&) = delete;

    // The index-th tunnel's definition, as loadDefinitionChecked reads it. One not read yet is not waited for
    // idly: the caller reads the next ones itself meanwhile. Each is taken once.
    DefinitionLoad take(std::size_t index);

private:
    // Reads the next definition nobody has claimed; false when none is left.
    bool readNext(const fs::OpenFolder& tunnelsDir);

    const std::string m_tunnelsDir;
    const std::vector<std::string> m_tunnels;
    std::vector<DefinitionLoad> m_loads;
    std::unique_ptr<std::atomic<bool>[]> m_done; // each slot, once its definition is in m_loads
    std::atomic<std::size_t> m_next{0};          // the first slot nobody has claimed
    std::mutex m_mutex;
    std::condition_variable m_doneOne;
    std::unique_ptr<fs::OpenFolder> m_callerFolder; // the caller's own, opened when it first reads
    std::thread m_reader; // none when the system would not start one: the caller then reads them all
};

} // namespace quorvane
