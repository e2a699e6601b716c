// Turns what the tunnel service tells into Qt signals, and keeps the timers and watches a pass needs.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "service/tunnel_service.h"

class QTimer;

namespace quorvane {

class ClientEndWatch;

class ServiceEvents : public QObject, public TunnelServiceListener {
    Q_OBJECT

public:
    explicit ServiceEvents(QObject* parent = nullptr);

    void tunnelsChanged() override { emit listChanged(); }
    void statesChanged() override { emit healthChanged(); }
    // Told once the command or pass that found it is over: a box must not open in the middle of one.
    void noticed(const Notice& notice) override;
    void clientStarted(ProcessId id) override;
    void processesListed(const std::vector<ProcessEntry>& processes) override;
    void passDueIn(std::chrono::milliseconds wait) override;
    void ticksNeeded(bool needed) override;
    // Opened once the command or pass that asked is over, as a notice is told.
    void openRequested(const std::string& tunnel, const std::string& url) override;

    // The service's tick runs once a second from now on, while the service has work for it.
    void startTicking(TunnelService& service);

    // A notice someone else tells (a command handed over from a terminal waits for that tunnel): true
    // keeps it from the windows. May be empty.
    std::function<bool(const Notice&)> claim;
    // Where each pass's listing is shown (the process list holder); may be empty.
    std::function<void(const std::vector<ProcessEntry>&)> showProcesses;

signals:
    void listChanged();
    void healthChanged();
    void noticeDue(const quorvane::Notice& notice);
    // A tunnel the user connected is up: its address is to be opened.
    void openDue(const std::string& tunnel, const std::string& url);
    // A watched client ended, or a restart is due: a pass should run now.
    void passDue();

private:
    ClientEndWatch* m_endWatch = nullptr;
    QTimer* m_restartTimer = nullptr;
    QTimer* m_tick = nullptr;
};

} // namespace quorvane
