// Asking waiting tunnels' servers for their greeting, one look per server however many tunnels wait on it.
#include "service/returning_servers.h"

#include <algorithm>

namespace quorvane {

ReturningServers::~ReturningServers() {
    for (auto& [key, server] : m_servers)
        release(server);
}

std::string ReturningServers::keyOf(const std::string& host, int port) {
    return host + '\n' + std::to_string(port);
}

void ReturningServers::release(Server& server) {
    if (server.handle != ProbeSockets::kNoHandle)
        m_sockets.close(server.handle);
    server.handle = ProbeSockets::kNoHandle;
}

bool ReturningServers::advance(Server& server) {
    const auto now = m_clock.now();
    if (server.handle != ProbeSockets::kNoHandle) {
        std::string banner;
        const ProbeSockets::State state = m_sockets.look(server.handle, &banner);
        if (state == ProbeSockets::State::Pending && now - server.asked < kAnswerWait)
            return false;
        release(server);
        // A server that takes the connection and closes it unread is busy or no SSH server: not back yet.
        const bool greeted = state == ProbeSockets::State::Answered && banner.starts_with("SSH-");
        server.verdict = greeted ? Verdict::Reachable : Verdict::OutOfReach;
        return true;
    }
    if (server.lookup) {
        const std::optional<std::vector<std::string>> addresses = server.lookup->result();
        if (!addresses)
            return false;
        server.lookup.reset();
        server.lookedUp = now;
        server.address = addresses->empty() ? std::string() : addresses->front();
        if (server.address.empty()) {
            server.verdict = Verdict::OutOfReach; // a name not known while the network is down
            server.asked = now;
            return true;
        }
    } else if (now - server.asked < kAskEvery) {
        return false;
    } else if (!isIpLiteral(server.host) && (server.address.empty() || now - server.lookedUp >= kLookUpEvery)) {
        // Looked up beside the program: a resolver that cannot reach its own server may take long.
        server.lookup = m_startLookup(server.host);
        return advance(server); // a lookup may be answered at once
    }
    server.asked = now;
    server.handle = m_sockets.open(server.address, server.port);
    if (server.handle == ProbeSockets::kNoHandle) {
        server.verdict = Verdict::OutOfReach;
        return true;
    }
    return false;
}

std::vector<std::string> ReturningServers::look(const std::vector<WaitingTunnel>& waiting) {
    std::unordered_map<std::string, std::vector<const WaitingTunnel*>> byServer;
    for (const WaitingTunnel& tunnel : waiting)
        byServer[keyOf(tunnel.host, tunnel.port)].push_back(&tunnel);
    for (auto it = m_servers.begin(); it != m_servers.end();) {
        if (byServer.contains(it->first)) {
            ++it;
            continue;
        }
        release(it->second);
        it = m_servers.erase(it);
    }
    std::vector<std::string> back;
    for (const auto& [key, tunnels] : byServer) {
        auto [at, added] = m_servers.try_emplace(key);
        Server& server = at->second;
        if (added) {
            server.host = tunnels.front()->host;
            server.port = tunnels.front()->port;
            server.address = isIpLiteral(server.host) ? server.host : std::string();
            server.asked = m_clock.now() - kAskEvery;
        }
        if (!advance(server))
            continue;
        if (server.verdict == Verdict::OutOfReach) {
            server.sawOutOfReach = true;
            continue;
        }
        // Back after being out of reach. A tunnel that failed with its server in reach keeps its wait: the
        // server answering tells nothing new about it, and trying at once would only fail again at once.
        for (const WaitingTunnel* tunnel : tunnels) {
            if (server.sawOutOfReach || tunnel->wasOutOfReach)
                back.push_back(tunnel->tunnel);
        }
        server.sawOutOfReach = false;
    }
    return back;
}

ReturningServers::Verdict ReturningServers::verdict(const std::string& host, int port) const {
    const auto found = m_servers.find(keyOf(host, port));
    return found == m_servers.end() ? Verdict::NotAskedYet : found->second.verdict;
}

void ReturningServers::askAllAfresh() {
    for (auto& [key, server] : m_servers) {
        release(server);
        server.lookup.reset();
        server.address = isIpLiteral(server.host) ? server.host : std::string();
        server.verdict = Verdict::NotAskedYet;
        server.asked = m_clock.now() - kAskEvery;
    }
}

bool ReturningServers::asking() const {
    return std::any_of(m_servers.begin(), m_servers.end(), [](const auto& entry) {
        return entry.second.handle != ProbeSockets::kNoHandle || entry.second.lookup;
    });
}

} // namespace quorvane
