// Asks each connected tunnel's server, every few seconds, whether it still answers.
#pragma once

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

#include "tunnel/probe_sockets.h"
#include "tunnel/tunnel_health_tracker.h"

namespace quorvane {

// A connection to a tunnel's check forward: the client passes it on as a channel to an address no server
// can reach, so it is closed within a round trip exactly while the server answers. A frozen server, or a
// network that drops its packets, leaves it open and silent.
class LivenessProbes {
public:
    // A check not answered within this is a server that does not answer.
    static constexpr std::chrono::seconds kTimeout{3};
    // Looks come about once a second, a few milliseconds early or late: a deadline this close counts as met,
    // or every check would wait a whole second more.
    static constexpr std::chrono::milliseconds kLookSlack{500};

    // Neither is owned; both must outlive the probes.
    LivenessProbes(ProbeSockets& sockets, const Clock& clock) : m_sockets(sockets), m_clock(clock) {}
    ~LivenessProbes();
    LivenessProbes(const LivenessProbes&) = delete;
    LivenessProbes& operator=(const LivenessProbes&) = delete;

    // Starts the checks that are due, looks at those under way; returns the tunnels whose server did not
    // answer in time. A tunnel no longer among the targets is let go. answered, when given, gets the tunnels whose
    // check was answered at this look.
    std::vector<std::string> look(const std::vector<ProbeTarget>& targets,
                                  std::vector<std::string>* answered = nullptr);
    // Every target is checked at the next look (the network changed, the machine woke up).
    void checkAllNow();

private:
    struct Check {
        ProbeSockets::Handle handle = ProbeSockets::kNoHandle;
        std::chrono::steady_clock::time_point sent{};
        std::chrono::steady_clock::time_point answered{};
        bool everAnswered = false;
    };
    void release(Check& check);

    ProbeSockets& m_sockets;
    const Clock& m_clock;
    std::unordered_map<std::string, Check> m_checks;
    bool m_allNow = false;
};

} // namespace quorvane
