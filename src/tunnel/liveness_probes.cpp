// The liveness checks' schedule: one connection per tunnel at a time, never waited for.
#include "tunnel/liveness_probes.h"

#include <algorithm>

namespace quorvane {

LivenessProbes::~LivenessProbes() {
    for (auto& [tunnel, check] : m_checks)
        release(check);
}

void LivenessProbes::release(Check& check) {
    // The far end is the client's check forward on this machine.
    if (check.handle != ProbeSockets::kNoHandle)
        m_sockets.abort(check.handle);
    check.handle = ProbeSockets::kNoHandle;
}

void LivenessProbes::checkAllNow() {
    m_allNow = true;
}

std::vector<std::string> LivenessProbes::look(const std::vector<ProbeTarget>& targets,
                                              std::vector<std::string>* answered) {
    const auto now = m_clock.now();
    // Tunnels that are no longer connected start afresh when they are again.
    for (auto it = m_checks.begin(); it != m_checks.end();) {
        const bool target = std::any_of(targets.begin(), targets.end(),
                                        [&](const ProbeTarget& probe) { return probe.tunnel == it->first; });
        if (target) {
            ++it;
            continue;
        }
        release(it->second);
        it = m_checks.erase(it);
    }
    std::vector<std::string> silent;
    for (const ProbeTarget& target : targets) {
        Check& check = m_checks[target.tunnel];
        if (check.handle != ProbeSockets::kNoHandle) {
            switch (m_sockets.look(check.handle)) {
            case ProbeSockets::State::Answered:
                // Counted from when it was asked: the answer is only seen at the next look.
                check.answered = check.sent;
                check.everAnswered = true;
                release(check);
                if (answered)
                    answered->push_back(target.tunnel);
                break;
            case ProbeSockets::State::Refused:
                // Nothing listens on the check forward any more: the client is ending, which a pass tells.
                release(check);
                break;
            case ProbeSockets::State::Pending:
                if (now - check.sent + kLookSlack >= kTimeout) {
                    release(check);
                    check = {};
                    silent.push_back(target.tunnel);
                }
                break;
            }
            continue;
        }
        // The first check comes at once: a forward the server refuses is known within a round trip.
        const bool due =
            !check.everAnswered || m_allNow || now - check.answered >= std::chrono::seconds(target.everySeconds);
        if (due && now - check.sent >= std::chrono::seconds(1)) {
            check.handle = m_sockets.open("127.0.0.1", target.port);
            check.sent = now;
        }
    }
    m_allNow = false;
    return silent;
}

} // namespace quorvane
