// Program entry: the command line, a hand-over to a running instance, or the windows and the event loop.
#include <QApplication>
#include <QLockFile>
#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/instance_channel.h"
#include "app/parent_console.h"
#include "app/service_events.h"
#include "app/window_command_host.h"
#include "cli/command_runner.h"
#include "cli/start_command.h"
#include "desktop/artwork.h"
#include "process/client_launcher.h"
#include "process/descriptor_limit.h"
#include "process/process_hardening.h"
#include "service/tunnel_service.h"
#include "store/program_folders.h"
#include "tunnel/socket_table.h"

namespace {

void print(std::FILE* stream, const std::string& text) {
    quorvane::useParentConsole();
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

constexpr int kReplyTimeoutMs = 120000;

// A command's output is for scripts: Qt's own notes about the missing screen or tray are not part of it.
void keepOnlyFatalQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        print(stderr, message.toStdString() + "\n");
}

void sayNothing(QtMsgType, const QMessageLogContext&, const QString&) {}

// With no program running, the commands need no window: only the service and the system's own services.
int runWithoutWindows(const quorvane::StartCommand& command, const quorvane::ProgramFolders& folders) {
    using namespace quorvane;
    const std::unique_ptr<ProcessServices> processes = createSystemProcessServices();
    const std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
    const std::unique_ptr<SocketTable> sockets = createSystemSocketTable();
    const SystemClock clock;
    TunnelHealthTracker health(folders.data, *sockets, clock);
    // Checks of the server come from the window's program; a command waits for a connect and ends.
    TunnelService service(folders, *processes, *launcher, health);
    BuiltInCommandHost host;
    CommandRunner runner(service, host);
    std::string output;
    std::string errors;
    const int exitCode = runner.runHere(command, output, errors);
    print(stdout, output);
    print(stderr, errors);
    return exitCode;
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace quorvane;
    // Before anything holds a password: no core file, no memory reads by other programs.
    hardenProcess();
    raiseDescriptorLimit();
    const ParsedStart parsed = parseStartCommand(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.command) {
        print(stderr, "quorvane: " + parsed.error + "\nTry 'quorvane --help'.\n");
        return 2;
    }
    const StartCommand& command = *parsed.command;
    if (command.help) {
        print(stdout, usageText("quorvane"));
        return 0;
    }
    // Commands need no screen: they work over ssh, from cron, from a script.
    if (command.runsCommands()) {
        runWithoutScreen();
        qInstallMessageHandler(keepOnlyFatalQtMessages);
    }

    // Before any window system is needed: a second start without a screen still hands over.
    const ProgramFolders folders = programFolders();
    const QString channel = instanceName(folders.data);
    // Held while this start is the program, so that a later one never opens a second on the same tunnels.
    QLockFile instanceLock(instanceLockPath(folders.data));
    // Qt's own words about the socket (a pipe the instance closed, asked again) are not the user's: the outcome is
    // told below.
    const QtMessageHandler saidBefore = qInstallMessageHandler(sayNothing);
    const InstanceReply reply = askRunningInstance(channel, encodeRequest(command), kReplyTimeoutMs, instanceLock);
    qInstallMessageHandler(saidBefore);
    if (reply.instanceRunning) {
        int exitCode = 1;
        std::string output;
        if (reply.silentHolder != 0) {
            const std::string process =
                reply.silentHolder > 0 ? " (process " + std::to_string(reply.silentHolder) + ")" : std::string();
            print(stderr, "quorvane: the program is already running" + process +
                              " but does not answer; end it before starting it again\n");
            return 1;
        }
        if (reply.closedUnanswered) {
            print(stderr, "quorvane: the running program closed the connection without answering (too many starts "
                          "at once?); try again\n");
            return 1;
        }
        if (!reply.text) {
            print(stderr, "quorvane: the running program did not answer in time (is one of its boxes waiting?)\n");
            return 1;
        }
        if (!decodeReply(*reply.text, exitCode, output)) {
            print(stderr, "quorvane: the running program gave an answer that cannot be read\n");
            return 1;
        }
        print(exitCode == 0 ? stdout : stderr, output);
        return exitCode;
    }
    if (command.runsCommands()) {
        instanceLock.unlock(); // carried out without a window: a plain start meanwhile may open one
        return runWithoutWindows(command, folders);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane - SSH Link Manager"));
    QApplication::setWindowIcon(programIcon());
    // Hidden to the notification area is still running: only "Esci" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    AppOptions options;
    options.workingDir = folders.data;
    options.programDir = folders.program;
    QuorvaneApp windows(std::move(options));
    WindowCommandHost host(windows.main(), windows.texts());
    CommandRunner runner(windows.service(), host);

    // What a pass finds about a tunnel a terminal's connect waits for goes to that terminal, not into a box.
    windows.events().claim = [&runner](const Notice& notice) { return runner.claim(notice); };
    InstanceServer server(channel, [&runner](const std::string& request, InstanceServer::Reply reply) {
        runner.answer(request, std::move(reply));
    });
    // Listening before the first listing: a command that comes meanwhile is told the program is busy,
    // and a second start never opens a second program on the same tunnels.
    server.listen();
    windows.start(command.hidden);
    const int exitCode = QApplication::exec();
    windows.events().claim = {}; // the runner goes before the windows
    return exitCode;
}
