// Carries out the command line's commands on the main window's tunnels, here or for another start.
#pragma once

#include <string>

#include "cli/start_command.h"

namespace quorvane {

class TMain;
class TunnelHealthTracker;

class StartCommandRunner {
public:
    // Not owned; both must outlive the runner.
    StartCommandRunner(TMain& main, TunnelHealthTracker& health);

    // A request from another start, for the running program: names are checked (one unknown name and
    // nothing is done), the commands carried out as from the menus (what they would say in a box goes
    // back in the reply), then the status taken. A plain start shows the window.
    std::string answer(const std::string& request);

    // With no program running: the tunnels are listed (none is connected on its own), the commands
    // carried out in order, each connect waited for until it is connected or has failed.
    // Returns the exit code; output is for standard output, errors for standard error.
    int runHere(const StartCommand& command, std::string& output, std::string& errors);

    static constexpr int kConnectWaitMs = 20000;

private:
    std::string unknownNames(const StartCommand& command) const;
    bool waitForConnect(const std::string& tunnel, std::string& output, std::string& errors);

    TMain& m_main;
    TunnelHealthTracker& m_health;
};

} // namespace quorvane
