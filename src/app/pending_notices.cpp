#include "app/pending_notices.h"

#include <algorithm>

namespace quorvane {

void PendingNotices::add(Notice notice) {
    m_waiting.push_back(std::move(notice));
    if (m_showing)
        return;
    m_showing = true;
    struct Done {
        bool& showing;
        ~Done() { showing = false; }
    } done{m_showing};
    while (!m_waiting.empty()) {
        const Notice next = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_show(next);
    }
}

std::vector<std::string> PendingNotices::takeSameKeyOffers(const Notice& answered) {
    std::vector<std::string> tunnels;
    if (answered.kind != NoticeKind::HostKeyOffered || !answered.failure.hostKey)
        return tunnels;
    const auto sameKey = [&](const Notice& notice) {
        // The same hop too: the key goes into the jump host's definition or the tunnel's own.
        return notice.kind == NoticeKind::HostKeyOffered && notice.failure.hostKey == answered.failure.hostKey &&
               notice.failure.hop.empty() == answered.failure.hop.empty() && notice.tunnel != answered.tunnel;
    };
    for (const Notice& notice : m_waiting) {
        if (sameKey(notice) && std::find(tunnels.begin(), tunnels.end(), notice.tunnel) == tunnels.end())
            tunnels.push_back(notice.tunnel);
    }
    std::erase_if(m_waiting, sameKey);
    return tunnels;
}

} // namespace quorvane
