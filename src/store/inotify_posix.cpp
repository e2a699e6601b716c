// Reading an inotify descriptor's events until none waits.
#include "store/inotify_posix.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace quorvane {

InotifyDescriptor::InotifyDescriptor() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

InotifyDescriptor::~InotifyDescriptor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void InotifyDescriptor::drain(const std::function<void(const inotify_event&)>& take) const {
    if (m_fd < 0)
        return;
    // Several events fit in one read; a full buffer means more are waiting.
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            take(*event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace quorvane
