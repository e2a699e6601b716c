// What the main window says and asks for the service: notices as boxes and balloons, the host-key question, the
// approval of a definition's programs, the command line before a connect.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/pending_notices.h"
#include "service/tunnel_service.h"
#include "service/user_prompts.h"

namespace quorvane {

struct AppWindows;

class WindowPrompts : public UserPrompts {
public:
    using Notify = std::function<void(const QString& text, bool warning)>;
    // What the window tells the prompts: whether it is on screen, whether the command line is to be shown (the
    // options), and how a tunnel's row is selected before its client starts.
    struct Window {
        std::function<bool()> shown;
        std::function<bool()> commandLineWanted;
        std::function<void(const std::string& tunnel)> select;
    };
    // Nothing is owned. notify shows a balloon (or nothing, as the options say).
    WindowPrompts(TunnelService& service, const AppWindows& windows, PendingNotices& pending, Notify notify,
                  Window window)
        : m_service(service), m_windows(windows), m_pending(pending), m_notify(std::move(notify)),
          m_window(std::move(window)) {}

    // Hidden (the notification area, a hidden start), nobody would see a question: the command says why instead.
    bool canAsk() const override { return m_window.shown && m_window.shown(); }
    bool approvePrograms(const ConnectPlan& plan) override;
    // The tunnel's row selected, and its command line shown when the options ask for it.
    void aboutToStart(const ConnectPlan& plan) override;

    void present(const Notice& notice);
    void present(const std::vector<Notice>& notices);
    // One box for a command on many tunnels: each tunnel's notices a line under the heading.
    void presentTogether(const QString& heading, const BatchResult& batch);

private:
    void askAboutHostKey(const Notice& notice, const QString& question);

    TunnelService& m_service;
    const AppWindows& m_windows;
    PendingNotices& m_pending;
    Notify m_notify;
    Window m_window;
};

// The same questions, without the command line before each start (a connect of every tunnel).
class PromptsWithoutCommandLine : public UserPrompts {
public:
    explicit PromptsWithoutCommandLine(UserPrompts& prompts) : m_prompts(prompts) {}
    bool canAsk() const override { return m_prompts.canAsk(); }
    bool approvePrograms(const ConnectPlan& plan) override { return m_prompts.approvePrograms(plan); }

private:
    UserPrompts& m_prompts;
};

} // namespace quorvane
