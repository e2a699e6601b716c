// The command line's commands, carried out through the same tunnel commands as the menus.
#include "app/start_command_runner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "app/console_dialog_service.h"
#include "app/dialog_service.h"
#include "app/main_window.h"
#include "tunnel/tunnel_health_tracker.h"

namespace quorvane {

StartCommandRunner::StartCommandRunner(TMain& main, TunnelHealthTracker& health) : m_main(main), m_health(health) {}

std::string StartCommandRunner::unknownNames(const StartCommand& command) const {
    std::string errors;
    for (const StartCommand::Action& action : command.actions) {
        if (!m_main.hasTunnel(action.tunnel))
            errors += "quorvane: no tunnel is named \"" + action.tunnel + "\"\n";
    }
    return errors;
}

std::string StartCommandRunner::answer(const std::string& request) {
    const std::optional<StartCommand> command = decodeRequest(request);
    if (!command)
        return encodeReply(2, "quorvane: the running program did not understand the request\n");
    if (!command->runsCommands()) {
        if (!command->hidden)
            m_main.Visualizza1Click();
        return encodeReply(0, {});
    }
    // A box waits for the user, or the list is being read: a command now would act on the editor
    // the user is filling in, or on a list about to be rebuilt.
    if (m_main.busy())
        return encodeReply(1, "quorvane: the program is waiting for an answer in one of its windows; try again "
                              "once it is closed\n");
    if (const std::string errors = unknownNames(*command); !errors.empty())
        return encodeReply(1, errors); // nothing is done when one name is wrong
    // Carried out before the reply, so that a status asked for with them shows their effect. What
    // they would tell in a box goes back to the asker instead: the user is at that terminal, and a box
    // here would keep the reply waiting for somebody at this screen.
    std::string output;
    bool allDone = true;
    ConsoleDialogService toTheAsker;
    ScopedDialogService answeredThere(toTheAsker);
    m_main.showCommandLineBox(false);
    for (const StartCommand::Action& action : command->actions) {
        const bool connect = action.kind == StartCommand::Kind::Connect;
        runCommand([this, &action, connect] {
            connect ? m_main.connectTunnel(action.tunnel) : m_main.disconnectTunnel(action.tunnel);
        });
        // A connect refused before its client started (and told in the window), or a stop that failed.
        const TunnelHealth& health = m_health.health(action.tunnel);
        const bool done = connect
                              ? health.status == TunnelStatus::Connecting || health.status == TunnelStatus::Connected
                              : health.status == TunnelStatus::NotConnected;
        if (!done)
            output += statusLine(action.tunnel, health) + "\n";
        allDone = allDone && done;
    }
    m_main.showCommandLineBox(true);
    output = toTheAsker.text() + output;
    if (command->status)
        output += m_main.statusReport();
    return encodeReply(allDone ? 0 : 1, output);
}

bool StartCommandRunner::waitForConnect(const std::string& tunnel, std::string& output, std::string& errors) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const TunnelHealth& health = m_health.health(tunnel);
        if (health.status == TunnelStatus::Connected) {
            output += statusLine(tunnel, health) + "\n";
            return true;
        }
        // Not connecting right after the connect: it was refused before a client started (and said why).
        if (health.status == TunnelStatus::Failed || health.status == TunnelStatus::NotConnected) {
            errors += statusLine(tunnel, health) + "\n";
            return false;
        }
        if (clock.elapsed() > kConnectWaitMs) {
            errors += statusLine(tunnel, health) + " (still, after " + std::to_string(kConnectWaitMs / 1000) + " s)\n";
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(100);
        m_main.checkprocessiTimer();
    }
}

int StartCommandRunner::runHere(const StartCommand& command, std::string& output, std::string& errors) {
    m_main.showCommandLineBox(false);
    m_main.listTunnels();
    errors = unknownNames(command);
    if (!errors.empty())
        return 1;
    bool allDone = true;
    for (const StartCommand::Action& action : command.actions) {
        if (action.kind == StartCommand::Kind::Connect) {
            m_main.connectTunnel(action.tunnel);
            allDone = waitForConnect(action.tunnel, output, errors) && allDone;
        } else {
            m_main.disconnectTunnel(action.tunnel);
            m_main.checkprocessiTimer();
            // A stop that failed has been told; the state says the rest.
            const bool stopped = m_health.health(action.tunnel).status == TunnelStatus::NotConnected;
            allDone = stopped && allDone;
        }
    }
    if (command.status)
        output += m_main.statusReport();
    return allDone ? 0 : 1;
}

} // namespace quorvane
