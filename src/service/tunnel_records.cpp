// The service's records of the listed tunnels, kept in step with the list.
#include "service/tunnel_records.h"

#include <algorithm>

namespace quorvane {

void TunnelRecords::relist(std::vector<std::string> names) {
    m_names = std::move(names);
    m_listed.clear();
    for (const std::string& name : m_names)
        m_listed.insert(name);
    std::erase_if(m_records, [this](const auto& entry) { return !has(entry.first); });
}

const TunnelRecord* TunnelRecords::find(const std::string& name) const {
    const auto found = m_records.find(name);
    return found == m_records.end() ? nullptr : &found->second;
}

void TunnelRecords::add(const std::string& name) {
    m_names.push_back(name);
    m_listed.insert(name);
}

void TunnelRecords::rename(const std::string& from, const std::string& to) {
    std::replace(m_names.begin(), m_names.end(), from, to);
    m_listed.erase(from);
    m_listed.insert(to);
    m_records.erase(to);
    if (auto node = m_records.extract(from)) {
        node.key() = to;
        if (node.mapped().firstServer)
            node.mapped().firstServer->tunnel = to;
        m_records.insert(std::move(node));
    }
}

void TunnelRecords::remove(const std::string& name) {
    m_names.erase(std::remove(m_names.begin(), m_names.end(), name), m_names.end());
    m_listed.erase(name);
    m_records.erase(name);
}

} // namespace quorvane
