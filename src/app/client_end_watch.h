// Tells the moment a started client ends, so a drop shows at once rather than at the next pass.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "process/process_services.h"

namespace quorvane {

class ClientEndWatch : public QObject {
    Q_OBJECT

public:
    explicit ClientEndWatch(QObject* parent = nullptr);
    ~ClientEndWatch() override;

    // Watches the process until it ends (a pidfd on Linux, the process handle on Windows); ids that
    // cannot be watched are ignored, and the periodic pass sees their end instead.
    void watch(ProcessId id);

signals:
    void clientEnded();

private:
    struct Watched;
    struct Release {
        void operator()(Watched* watched) const;
    };
    std::vector<std::unique_ptr<Watched, Release>> m_watched;
    // What every watch shares, where the platform has one (Linux: one descriptor the event loop waits on).
    struct Hub;
    struct HubRelease {
        void operator()(Hub* hub) const;
    };
    std::unique_ptr<Hub, HubRelease> m_hub;
    void finished(Watched* watched);
    void release(Watched* watched); // drops it from m_watched
};

} // namespace quorvane
