// Watching clients on Windows: the process handle is signalled when the process ends.
#include "app/client_end_watch.h"

#include <QWinEventNotifier>
#include <algorithm>
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

ClientEndWatch::ClientEndWatch(QObject* parent) : QObject(parent) {}

ClientEndWatch::~ClientEndWatch() = default;

void ClientEndWatch::watch(ProcessId id) {
    if (id == NoProcessId || id == 0)
        return;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return;
    auto watched = std::make_unique<Watched>();
    watched->process = process;
    watched->notifier = std::make_unique<QWinEventNotifier>(process);
    Watched* raw = watched.get();
    connect(raw->notifier.get(), &QWinEventNotifier::activated, this, [this, raw] { finished(raw); });
    m_watched.push_back(std::move(watched));
}

void ClientEndWatch::finished(Watched* watched) {
    watched->notifier->setEnabled(false);
    QMetaObject::invokeMethod(
        this,
        [this, watched] { std::erase_if(m_watched, [watched](const auto& item) { return item.get() == watched; }); },
        Qt::QueuedConnection);
    emit clientEnded();
}

} // namespace quorvane
