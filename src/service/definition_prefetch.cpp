// A second core reads the definitions while the first lays out the list; once the list is laid out, both read.
// On a start with many tunnels the window then comes up when the longer of the two is done, not after both.
#include "service/definition_prefetch.h"

#include <exception>
#include <system_error>
#include <utility>

#include "store/paths.h"

namespace quorvane {

DefinitionPrefetch::DefinitionPrefetch(std::string tunnelsDir, std::vector<std::string> tunnels)
    : m_tunnelsDir(std::move(tunnelsDir)), m_tunnels(std::move(tunnels)), m_loads(m_tunnels.size()),
      m_done(std::make_unique<std::atomic<bool>[]>(m_tunnels.size())) {
    if (m_tunnels.size() < 2)
        return; // a thread costs more than one file
    try {
        m_reader = std::thread([this] {
            const fs::OpenFolder tunnelsDir(m_tunnelsDir);
            while (readNext(tunnelsDir)) {
            }
        });
    } catch (const std::system_error&) {
        // The caller reads them all, as without a second thread.
    }
}

DefinitionPrefetch::~DefinitionPrefetch() {
    m_next = m_tunnels.size(); // nothing more is claimed
    if (m_reader.joinable())
        m_reader.join();
}

bool DefinitionPrefetch::readNext(const fs::OpenFolder& tunnelsDir) {
    const std::size_t index = m_next.fetch_add(1);
    if (index >= m_tunnels.size())
        return false;
    try {
        m_loads[index] = loadDefinitionChecked(tunnelsDir, m_tunnels[index]);
    } catch (const std::exception&) {
        // Out of memory, on this thread: the slot must still be done, or its taker would wait for ever.
        m_loads[index].problem = DefinitionProblem::Unreadable;
        m_loads[index].path = tunnelsDir.path() + paths::DefinitionFileInTunnels(m_tunnels[index]);
    }
    m_done[index].store(true, std::memory_order_release);
    // The caller waits only for a slot the other one claimed: it is told under the lock, so it cannot miss it.
    { const std::lock_guard<std::mutex> lock(m_mutex); }
    m_doneOne.notify_all();
    return true;
}

DefinitionLoad DefinitionPrefetch::take(std::size_t index) {
    if (index >= m_tunnels.size())
        return {};
    while (!m_done[index].load(std::memory_order_acquire)) {
        if (!m_callerFolder)
            m_callerFolder = std::make_unique<fs::OpenFolder>(m_tunnelsDir);
        if (readNext(*m_callerFolder))
            continue;
        // Every slot is claimed, this one by the reader, which is reading it now.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_doneOne.wait(lock, [&] { return m_done[index].load(std::memory_order_acquire); });
    }
    return std::move(m_loads[index]);
}

} // namespace quorvane
