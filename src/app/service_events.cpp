// The tunnel service's listener on the GUI thread.
#include "app/service_events.h"

#include <QTimer>

#include "app/client_end_watch.h"
#include "desktop/dialog_service.h"

namespace quorvane {

ServiceEvents::ServiceEvents(QObject* parent) : QObject(parent) {
    // A started client's end is seen as it happens; the timer's pass covers every other client.
    m_endWatch = new ClientEndWatch(this);
    connect(m_endWatch, &ClientEndWatch::clientEnded, this, &ServiceEvents::passDue);
    m_restartTimer = new QTimer(this);
    m_restartTimer->setSingleShot(true);
    connect(m_restartTimer, &QTimer::timeout, this, &ServiceEvents::passDue);
}

void ServiceEvents::startTicking(TunnelService& service) {
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    m_tick->setTimerType(Qt::VeryCoarseTimer); // on the whole second, with the status timer
    connect(m_tick, &QTimer::timeout, this, [&service] { runCommand([&service] { service.tick(); }); });
    m_tick->start();
}

void ServiceEvents::noticed(const Notice& notice) {
    if (claim && claim(notice))
        return;
    QMetaObject::invokeMethod(
        this, [this, notice] { emit noticeDue(notice); }, Qt::QueuedConnection);
}

void ServiceEvents::openRequested(const std::string& tunnel, const std::string& url) {
    QMetaObject::invokeMethod(
        this, [this, tunnel, url] { emit openDue(tunnel, url); }, Qt::QueuedConnection);
}

void ServiceEvents::clientStarted(ProcessId id) {
    m_endWatch->watch(id);
    ticksNeeded(true);
}

void ServiceEvents::ticksNeeded(bool needed) {
    // An idle program wakes only for its passes.
    if (!m_tick || needed == m_tick->isActive())
        return;
    if (needed)
        m_tick->start();
    else
        m_tick->stop();
}

void ServiceEvents::processesListed(const std::vector<ProcessEntry>& processes) {
    if (showProcesses)
        showProcesses(processes);
}

void ServiceEvents::passDueIn(std::chrono::milliseconds wait) {
    m_restartTimer->start(static_cast<int>(wait.count()));
}

} // namespace quorvane
