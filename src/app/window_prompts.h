// What the main window says and asks for the service: notices as boxes and balloons, the host-key question, the
// approval of a definition's programs, the command line before a connect.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/pending_notices.h"
#include "service/tunnel_service.h"

namespace quorvane {

struct AppWindows;

class WindowPrompts {
public:
    using Notify = std::function<void(const QString& text, bool warning)>;
    // Nothing is owned. notify shows a balloon (or nothing, as the options say).
    WindowPrompts(TunnelService& service, const AppWindows& windows, PendingNotices& pending, Notify notify)
        : m_service(service), m_windows(windows), m_pending(pending), m_notify(std::move(notify)) {}

    void present(const Notice& notice);
    void present(const std::vector<Notice>& notices);
    // One box for a command on many tunnels: each tunnel's notices a line under the heading.
    void presentTogether(const QString& heading, const BatchResult& batch);
    // The question whether a definition's programs may run; none when nobody would see it (the window hidden).
    std::function<bool(const ConnectPlan&)> approver(bool windowShown) const;
    // The client's command line, the password masked, when the options ask for it.
    void showCommandLine(const ConnectPlan& plan, bool wanted) const;

private:
    void askAboutHostKey(const Notice& notice, const QString& question);

    TunnelService& m_service;
    const AppWindows& m_windows;
    PendingNotices& m_pending;
    Notify m_notify;
};

} // namespace quorvane
