// Running a name lookup beside the program, its answer taken when it is there.
#include "tunnel/host_lookup.h"

#include <mutex>
#include <thread>

namespace quorvane {

struct HostLookup::Shared {
    std::mutex mutex;
    bool done = false;
    std::vector<std::string> addresses;
};

HostLookup::HostLookup(const std::string& name) : m_shared(std::make_shared<Shared>()) {
    try {
        std::thread([shared = m_shared, name] {
            std::vector<std::string> addresses = resolveHostAddresses(name);
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->addresses = std::move(addresses);
            shared->done = true;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: told as a name that could not be looked up.
        m_shared->done = true;
    }
}

HostLookup::HostLookup(std::vector<std::string> addresses) : m_shared(std::make_shared<Shared>()) {
    m_shared->addresses = std::move(addresses);
    m_shared->done = true;
}

HostLookup::~HostLookup() = default;

std::optional<std::vector<std::string>> HostLookup::result() const {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (!m_shared->done)
        return std::nullopt;
    return m_shared->addresses;
}

} // namespace quorvane
