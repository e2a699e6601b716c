// Watching clients on Linux: a pidfd becomes readable when its process ends. Every pidfd sits in one epoll set,
// so the event loop waits on a single descriptor however many clients run.
#include "app/client_end_watch.h"

#include <QSocketNotifier>
#include <sys/epoll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorvane {

struct ClientEndWatch::Watched {
    int fd = -1;
    ~Watched() {
        if (fd >= 0)
            ::close(fd);
    }
};

void ClientEndWatch::Release::operator()(Watched* watched) const {
    delete watched;
}

struct ClientEndWatch::Hub {
    int epoll = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Hub() {
        notifier.reset();
        if (epoll >= 0)
            ::close(epoll);
    }
};

void ClientEndWatch::HubRelease::operator()(Hub* hub) const {
    delete hub;
}

void ClientEndWatch::watch(ProcessId id) {
    if (id == NoProcessId || id == 0)
        return;
    if (!m_hub) {
        const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll < 0)
            return;
        m_hub.reset(new Hub);
        m_hub->epoll = epoll;
        m_hub->notifier = std::make_unique<QSocketNotifier>(epoll, QSocketNotifier::Read);
        connect(m_hub->notifier.get(), &QSocketNotifier::activated, this, [this] {
            epoll_event ended[16];
            const int count = ::epoll_wait(m_hub->epoll, ended, 16, 0);
            for (int i = 0; i < count; ++i) {
                auto* watched = static_cast<Watched*>(ended[i].data.ptr);
                // Out of the set before it is released: no later wait can name it.
                ::epoll_ctl(m_hub->epoll, EPOLL_CTL_DEL, watched->fd, nullptr);
                finished(watched);
            }
        });
    }
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
    if (fd < 0)
        return;
    std::unique_ptr<Watched, Release> watched(new Watched);
    watched->fd = fd;
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.ptr = watched.get();
    if (::epoll_ctl(m_hub->epoll, EPOLL_CTL_ADD, fd, &interest) != 0)
        return; // the pass sees its end
    m_watched.push_back(std::move(watched));
}

} // namespace quorvane
