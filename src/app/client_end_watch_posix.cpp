// Watching clients on Linux: a pidfd becomes readable when its process ends.
#include "app/client_end_watch.h"

#include <QSocketNotifier>
#include <algorithm>
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

ClientEndWatch::ClientEndWatch(QObject* parent) : QObject(parent) {}

ClientEndWatch::~ClientEndWatch() = default;

void ClientEndWatch::watch(ProcessId id) {
    if (id == NoProcessId || id == 0)
        return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
    if (fd < 0)
        return;
    auto watched = std::make_unique<Watched>();
    watched->fd = fd;
    watched->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    Watched* raw = watched.get();
    connect(raw->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { finished(raw); });
    m_watched.push_back(std::move(watched));
}

void ClientEndWatch::finished(Watched* watched) {
    watched->notifier->setEnabled(false);
    // Deleting the notifier inside its own signal is not allowed: let the event loop do it.
    QMetaObject::invokeMethod(
        this,
        [this, watched] { std::erase_if(m_watched, [watched](const auto& item) { return item.get() == watched; }); },
        Qt::QueuedConnection);
    emit clientEnded();
}

} // namespace quorvane
