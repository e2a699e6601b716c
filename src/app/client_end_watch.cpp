// The platform-neutral half of watching clients: bookkeeping and the signal.
#include "app/client_end_watch.h"

#include <algorithm>

namespace quorvane {

ClientEndWatch::ClientEndWatch(QObject* parent) : QObject(parent) {}

// Watched is complete only in the platform file, which deletes it through Release.
ClientEndWatch::~ClientEndWatch() = default;

void ClientEndWatch::release(Watched* watched) {
    std::erase_if(m_watched, [watched](const auto& item) { return item.get() == watched; });
}

void ClientEndWatch::finished(Watched* watched) {
    // Deleting a notifier inside its own signal is not allowed: let the event loop do it.
    QMetaObject::invokeMethod(
        this, [this, watched] { release(watched); }, Qt::QueuedConnection);
    emit clientEnded();
}

} // namespace quorvane
