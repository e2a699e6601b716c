// Watching clients on Windows: the process handle is signalled when the process ends.
#include "app/client_end_watch.h"

#include <QWinEventNotifier>
#include <windows.h>

namespace quorvane {

struct ClientEndWatch::Watched {
    HANDLE process = nullptr;
    std::unique_ptr<QWinEventNotifier> notifier;
    ~Watched() {
        notifier.reset();
        if (process)
            CloseHandle(process);
    }
};

void ClientEndWatch::Release::operator()(Watched* watched) const {
    delete watched;
}

// Each process handle has a notifier of its own: nothing is shared.
struct ClientEndWatch::Hub {};

void ClientEndWatch::HubRelease::operator()(Hub* hub) const {
    delete hub;
}

void ClientEndWatch::watch(ProcessId id) {
    if (id == NoProcessId || id == 0)
        return;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return;
    std::unique_ptr<Watched, Release> watched(new Watched);
    watched->process = process;
    watched->notifier = std::make_unique<QWinEventNotifier>(process);
    Watched* raw = watched.get();
    connect(raw->notifier.get(), &QWinEventNotifier::activated, this, [this, raw] {
        raw->notifier->setEnabled(false);
        finished(raw);
    });
    m_watched.push_back(std::move(watched));
}

} // namespace quorvane
