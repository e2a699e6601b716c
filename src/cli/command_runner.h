// Carries out the command line's commands on the tunnel service, for a later start or by themselves.
#pragma once

#include <string>

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

    // A request from another start, for the running program: names are checked (one unknown name and
    // nothing is done), the commands carried out (what they have to tell goes back in the reply, never
    // into a box here), then the status taken.
    std::string answer(const std::string& request);

    // With no program running: the tunnels are listed (none is connected on its own), the commands
    // carried out in order, each connect waited for until it is connected or has failed.
    // Returns the exit code; output is for standard output, errors for standard error.
    int runHere(const StartCommand& command, std::string& output, std::string& errors);

    static constexpr int kConnectWaitMs = 20000;

private:
    std::string unknownNames(const StartCommand& command) const;
    std::string told(const std::vector<Notice>& notices) const;
    // Each tunnel and its state; after a pass of its own when look is set.
    std::string statusReport(bool look = true);
    bool waitForConnect(const std::string& tunnel, std::string& output, std::string& errors);

    TunnelService& m_service;
    CommandHost& m_host;
};

} // namespace quorvane
