// An inotify descriptor of the program's own: non-blocking, closed with the object, its events read without waiting.
#pragma once

#include <functional>
#include <sys/inotify.h>

namespace quorvane {

class InotifyDescriptor {
public:
    InotifyDescriptor();
    ~InotifyDescriptor();
    InotifyDescriptor(const InotifyDescriptor&) = delete;
    InotifyDescriptor& operator=(const InotifyDescriptor&) = delete;

    // Below zero when the system gave none: nothing is then watched.
    int fd() const { return m_fd; }
    // Every event waiting now, in order, each handed to take; returns at once when none waits.
    void drain(const std::function<void(const inotify_event&)>& take) const;

private:
    int m_fd;
};

} // namespace quorvane
