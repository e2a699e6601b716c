// The servers that tunnels waiting to reconnect go to, each asked about once a second whether it is back.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tunnel/host_lookup.h"
#include "tunnel/probe_sockets.h"
#include "tunnel/tunnel_monitor.h"

namespace quorvane {

// A tunnel waiting to reconnect, and the server this computer reaches first on its way (its jump host's, when
// it has one).
struct WaitingTunnel {
    std::string tunnel;
    std::string host;
    int port = 22;
    // Its failure said the server was out of reach (refused, silent): the server answering is news at once.
    bool wasOutOfReach = false;
};

class ReturningServers {
public:
    // A look at a server waits this long for its greeting; a server is asked again this long after.
    static constexpr std::chrono::seconds kAnswerWait{2};
    static constexpr std::chrono::seconds kAskEvery{1};
    // A name is looked up again this long after its last answer.
    static constexpr std::chrono::seconds kLookUpEvery{10};

    using StartLookup = std::function<std::unique_ptr<HostLookup>(const std::string& name)>;

    // Neither is owned; both must outlive this object.
    ReturningServers(ProbeSockets& sockets, const Clock& clock) : m_sockets(sockets), m_clock(clock) {}
    // How names are looked up (the system's resolver on a thread of its own unless told otherwise).
    void setStartLookup(StartLookup startLookup) { m_startLookup = std::move(startLookup); }
    ~ReturningServers();
    ReturningServers(const ReturningServers&) = delete;
    ReturningServers& operator=(const ReturningServers&) = delete;

    // One look: a server no waiting tunnel goes to is let go, each other one asked or its answer taken. Returns
    // the tunnels whose server is back: it answered after being found out of reach, or the tunnel's own failure
    // said it was out of reach.
    std::vector<std::string> look(const std::vector<WaitingTunnel>& waiting);

    enum class Verdict {
        NotAskedYet, // no look at it has ended
        Reachable,   // the last look heard its greeting
        OutOfReach,  // the last look did not (refused, silent, or its name not known)
    };
    Verdict verdict(const std::string& host, int port) const;
    // A look is under way, whose answer may come any moment.
    bool asking() const;
    bool empty() const { return m_servers.empty(); }
    // What the looks so far found is old news (the network changed): every server is asked afresh.
    void askAllAfresh();

private:
    struct Server {
        std::string host;
        int port = 0;
        ProbeSockets::Handle handle = ProbeSockets::kNoHandle;
        std::chrono::steady_clock::time_point asked{};
        std::unique_ptr<HostLookup> lookup; // while a name is looked up
        std::string address;                // the name's address, or the literal
        std::chrono::steady_clock::time_point lookedUp{};
        Verdict verdict = Verdict::NotAskedYet;
        bool sawOutOfReach = false; // since the tunnels began to wait, or since it last came back
    };
    static std::string keyOf(const std::string& host, int port);
    // Moves a server's look on; true when it ended at this call.
    bool advance(Server& server);
    void release(Server& server);

    ProbeSockets& m_sockets;
    const Clock& m_clock;
    StartLookup m_startLookup = [](const std::string& name) { return std::make_unique<HostLookup>(name); };
    std::unordered_map<std::string, Server> m_servers;
};

} // namespace quorvane
