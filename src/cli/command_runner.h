// Carries out the command line's commands on the tunnel service, for a later start or by themselves.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/start_command.h"
#include "service/tunnel_service.h"

namespace quorvane {

class MessageSource;

// What the runner needs of the program it runs in. With no program running: nothing but words.
class CommandHost {
public:
    virtual ~CommandHost() = default;
    // A box waits for the user, or the list is being read: a command now would act under it.
    virtual bool busy() const { return false; }
    // A plain later start: the window comes forward.
    virtual void show() {}
    // The texts the notices are told in.
    virtual const MessageSource& texts() const = 0;
    // Between two looks at a connect that is waited for.
    virtual void pause();
    // The running program: look runs on its event loop after the wait, while it goes on serving the user.
    // Without one, the runner waits in pause().
    virtual bool runsLater(std::chrono::milliseconds /*wait*/, std::function<void()> /*look*/) { return false; }
};

// With no program running: the built-in texts, as no language file has been read.
class BuiltInCommandHost : public CommandHost {
public:
    const MessageSource& texts() const override;
};

class CommandRunner {
public:
    // Not owned; both must outlive the runner.
    CommandRunner(TunnelService& service, CommandHost& host);

    using Reply = std::function<void(const std::string& reply)>;
    // A request from another start, for the running program: names are checked (one unknown name and
    // nothing is done), the commands carried out, then the status taken. Each connect is waited for until it
    // is connected or has failed; what its passes find meanwhile (a host key, a refusal) goes back in the
    // reply, never into a box here. The reply comes at once when no connect is waited for.
    void answer(const std::string& request, Reply reply);
    // A notice a pass found about a tunnel a handed-over connect waits for: kept for its reply (true), not
    // shown here.
    bool claim(const Notice& notice);

    // With no program running: the tunnels are listed (none is connected on its own), the commands
    // carried out in order, each connect waited for until it is connected or has failed.
    // Returns the exit code; output is for standard output, errors for standard error.
    int runHere(const StartCommand& command, std::string& output, std::string& errors);

    // A connect is waited for until the program gives it up itself (its default limit), and a little more for the
    // pass that sees it; a tunnel with a longer limit is waited for that long.
    static constexpr int kConnectWaitMs = (kDefaultConnectSeconds + 5) * 1000;
    static constexpr std::chrono::milliseconds kLookEvery{250};

private:
    std::chrono::milliseconds connectWait(const std::string& tunnel) const;
    // A handed-over command whose connects are still under way.
    struct PendingAnswer {
        std::vector<std::string> tunnels; // started by it and still connecting
        std::string told;                 // what the boxes would have said
        std::string output;
        bool allDone = true;
        bool status = false;
        std::chrono::steady_clock::time_point deadline;
        Reply reply;
    };
    bool scheduleLook();
    void lookAtPending();
    void finish(PendingAnswer& pending);

    std::string unknownNames(const StartCommand& command) const;
    std::string told(const std::vector<Notice>& notices) const;
    // Each tunnel and its state; after a pass of its own when look is set.
    std::string statusReport(bool look = true);
    bool waitForConnect(const std::string& tunnel, std::string& output, std::string& errors);

    TunnelService& m_service;
    CommandHost& m_host;
    std::vector<std::unique_ptr<PendingAnswer>> m_pending;
    std::shared_ptr<CommandRunner*> m_self; // a look scheduled on the host finds the runner gone
};

} // namespace quorvane
