// Program entry: the command line, a hand-over to a running instance, or the windows and the event loop.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/console_dialog_service.h"
#include "app/instance_channel.h"
#include "app/parent_console.h"
#include "app/start_command_runner.h"
#include "cli/start_command.h"
#include "desktop/artwork.h"
#include "process/process_hardening.h"
#include "store/program_folders.h"

namespace {

void print(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

constexpr int kReplyTimeoutMs = 120000;

// A command's output is for scripts: Qt's own notes about the missing screen or tray are not part of it.
void keepOnlyFatalQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        print(stderr, message.toStdString() + "\n");
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace quorvane;
    // Before anything holds a password: no core file, no memory reads by other programs.
    hardenProcess();
    useParentConsole();
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
    if (const InstanceReply reply = askRunningInstance(channel, encodeRequest(command), kReplyTimeoutMs);
        reply.instanceRunning) {
        int exitCode = 1;
        std::string output;
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

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane - SSH Link Manager"));
    QApplication::setWindowIcon(programIcon());
    // Hidden to the notification area is still running: only "Esci" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    AppOptions options;
    options.workingDir = folders.data;
    options.programDir = folders.program;
    QuorvaneApp windows(std::move(options));
    StartCommandRunner runner(windows.main(), windows.health());
    if (command.runsCommands()) {
        ConsoleDialogService console;
        ScopedDialogService toTheTerminal(console);
        std::string output;
        std::string errors;
        const int exitCode = runner.runHere(command, output, errors);
        print(stdout, output);
        print(stderr, console.text() + errors);
        return exitCode;
    }

    InstanceServer server(channel, [&runner](const std::string& request) { return runner.answer(request); });
    // Listening before the first listing: a command that comes meanwhile is told the program is busy,
    // and a second start never opens a second program on the same tunnels.
    server.listen();
    windows.start(command.hidden);
    return QApplication::exec();
}
