// What the passes found, told one box at a time: a box's own event loop must not open the next box on top of it,
// and one answer about a server's key serves every tunnel that waits on the same key.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/tunnel_service.h"

namespace quorvane {

class PendingNotices {
public:
    // show tells one notice (it may open a box and run its event loop).
    explicit PendingNotices(std::function<void(const Notice&)> show) : m_show(std::move(show)) {}

    // Told now, or after the box that is open, in the order they came.
    void add(Notice notice);

    // The other tunnels waiting to be asked about the same server's same key: taken from the queue, so the
    // answer just given serves them.
    std::vector<std::string> takeSameKeyOffers(const Notice& answered);

private:
    std::function<void(const Notice&)> m_show;
    std::deque<Notice> m_waiting;
    bool m_showing = false;
};

} // namespace quorvane
