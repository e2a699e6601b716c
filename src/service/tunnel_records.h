// One record per listed tunnel: what the service keeps about it beside its health, moved or dropped as one.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "service/returning_servers.h"

namespace quorvane {

struct TunnelRecord {
    bool disconnectedByUser = false; // kept down until the user connects it again
    bool openOnConnect = false;      // started by a connect of the user's, not yet seen connected
    bool askingUser = false;         // a box asks the user about its failure
    // The server this computer reaches first on its way (read once while it waits to reconnect or comes up).
    std::optional<WaitingTunnel> firstServer;
};

class TunnelRecords {
public:
    // The tunnels as now listed, in list order. A name still listed keeps its record; the others are dropped.
    void relist(std::vector<std::string> names);
    const std::vector<std::string>& names() const { return m_names; }
    bool has(const std::string& name) const { return m_listed.contains(name); }

    // The tunnel's record, made empty when it has none yet.
    TunnelRecord& at(const std::string& name) { return m_records[name]; }
    // Nothing for a tunnel without a record.
    const TunnelRecord* find(const std::string& name) const;

    void add(const std::string& name); // listed last
    // The record, and the place in the list, go with the new name.
    void rename(const std::string& from, const std::string& to);
    void remove(const std::string& name);

    // Every record, for a look at one field across them.
    std::unordered_map<std::string, TunnelRecord>& all() { return m_records; }

private:
    std::vector<std::string> m_names;
    std::unordered_set<std::string> m_listed;
    std::unordered_map<std::string, TunnelRecord> m_records;
};

} // namespace quorvane
