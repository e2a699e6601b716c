// Watching clients on Linux: a pidfd becomes readable when its process ends.
#include "app/client_end_watch.h"

#include <QSocketNotifier>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorvane {

struct ClientEndWatch::Watched {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Watched() {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

void ClientEndWatch::Release::operator()(Watched* watched) const {
    delete watched;
}

void ClientEndWatch::watch(ProcessId id) {
    if (id == NoProcessId || id == 0)
        return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
    if (fd < 0)
        return;
    std::unique_ptr<Watched, Release> watched(new Watched);
    watched->fd = fd;
    watched->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    Watched* raw = watched.get();
    connect(raw->notifier.get(), &QSocketNotifier::activated, this, [this, raw] {
        raw->notifier->setEnabled(false);
        finished(raw);
    });
    m_watched.push_back(std::move(watched));
}

} // namespace quorvane
