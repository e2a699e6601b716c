// CPU an idle program spends while hidden in the notification area, next to a bare Qt program hidden the same
// way that wakes as the design must: a 3000 ms status timer and the dial-up window's 1000 ms timer, both doing
// nothing (reference_window.h). Both run side by side for the same seconds. Two cases: 50 tunnels, none
// connected; and (--connected) 10 tunnels connected through a loopback sshd, whose clients the program watches.
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "child_environment.h"
#include "reference_window.h"
#include "store/tunnel_definition.h"
#include "support/ssh_server.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace {

using namespace quorvane;

constexpr int kDefaultSeconds = 180; // a safety-net listing of every process falls in it

struct Case {
    int tunnels;
    bool connected;
    int warmUpSeconds; // connected: every client has logged in and the first checks are behind
    double goal;
};
constexpr Case kIdle{50, false, 5, 1.5};
// Ten live clients, each with its server checked every 5 s: the goal of 20 ms a minute is about four times what
// the bare program's timers cost here.
constexpr Case kConnected{10, true, 20, 4.0};

int runReference(int argc, char** argv, const std::string& tunnelsDir) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    bench::ReferenceWindow window(QString::fromStdString(tunnelsDir)); // never shown: it waits in the tray
    QTimer status;
    QTimer dialUp;
    status.start(3000);
    dialUp.start(1000);
    QObject::connect(&status, &QTimer::timeout, [] {});
    QObject::connect(&dialUp, &QTimer::timeout, [] {});
    return QApplication::exec();
}

// Nanoseconds every thread of the process has run, from the scheduler's own count.
long long cpuNanoseconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    long long total = 0;
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
        long long ran = 0;
        if (schedstat >> ran)
            total += ran;
    }
    closedir(dir);
    return total;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : environment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

void end(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// How many of the tunnels' clients are running.
int clientsRunning(const Case& scenario) {
    int running = 0;
    for (int i = 0; i < scenario.tunnels; ++i)
        running += test::processesNamed("tunnel" + std::to_string(1000 + i) + "SSH.exe").empty() ? 0 : 1;
    return running;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--reference")
        return runReference(1, argv, argv[2]);
    int seconds = kDefaultSeconds;
    Case scenario = kIdle;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::max(10, std::atoi(argv[++i]));
        } else if (arg == "--connected") {
            scenario = kConnected;
        } else {
            std::fprintf(stderr, "usage: idle_bench [--connected] [--seconds N]\n");
            return 1;
        }
    }

    std::unique_ptr<test::SshServer> server;
    if (scenario.connected) {
        const std::string gap = test::sshPrerequisiteGap();
        if (!gap.empty()) {
            std::printf("the connected case cannot run here: %s\n", gap.c_str());
            return 1;
        }
        server = std::make_unique<test::SshServer>(); // sets HOME, with its host key known, for the clients
    }
    test::TempDir portable;
    const std::string program = portable.file("quorvane");
    std::filesystem::copy_file(QUORVANE_PROGRAM, program);
    for (int i = 0; i < scenario.tunnels; ++i) {
        const std::string name = "tunnel" + std::to_string(1000 + i);
        portable.makeFolder("tunnells/" + name);
        if (!scenario.connected) {
            SaveDefinition(portable.withSeparator(), name,
                           {"10.0.0." + std::to_string(i + 1), "22", "user", "secret", std::to_string(30000 + i),
                            "127.0.0.1", "80", false});
            continue;
        }
        std::filesystem::copy_file(test::plinkPath(), portable.file("tunnells/" + name + "/" + name + "SSH.exe"));
        SaveDefinition(portable.withSeparator(), name,
                       {"127.0.0.1", std::to_string(server->port()), server->user(), server->password(),
                        std::to_string(test::freeLoopbackPort()), "127.0.0.1", std::to_string(server->port()), true});
    }
    if (scenario.connected) {
        std::filesystem::copy_file(test::plinkPath(), portable.file("plink.exe"));
        // Nobody is there to answer the command-line box before each automatic connect.
        std::ofstream(portable.file("quorvane.ini")) << "[Opzioni]\nMostraComando=0\n";
    }
    portable.makeFolder("runtime");
    const std::vector<std::string> environment = bench::childEnvironment(portable.file("runtime"));

    const pid_t quorvane = spawn({program, "--hidden"}, environment);
    const pid_t reference = spawn({"/proc/self/exe", "--reference", portable.file("tunnells")}, environment);
    std::this_thread::sleep_for(std::chrono::seconds(scenario.warmUpSeconds));
    const int clientsBefore = clientsRunning(scenario);
    const long long programBefore = cpuNanoseconds(quorvane);
    const long long referenceBefore = cpuNanoseconds(reference);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long long programAfter = cpuNanoseconds(quorvane);
    const long long referenceAfter = cpuNanoseconds(reference);
    const int clientsAfter = clientsRunning(scenario);
    end(quorvane);
    end(reference);
    if (programBefore < 0 || referenceBefore < 0 || programAfter < 0 || referenceAfter < 0) {
        std::printf("a measured program did not run through the %d s\n", seconds);
        return 1;
    }
    if (scenario.connected) {
        for (int i = 0; i < scenario.tunnels; ++i)
            test::stopProcessesNamed("tunnel" + std::to_string(1000 + i) + "SSH.exe");
        if (clientsBefore != scenario.tunnels || clientsAfter != scenario.tunnels) {
            std::printf("clients running: %d before and %d after the run, of %d\n", clientsBefore, clientsAfter,
                        scenario.tunnels);
            // What each client said last tells why one is missing.
            for (int i = 0; i < scenario.tunnels; ++i) {
                const std::string name = "tunnel" + std::to_string(1000 + i);
                std::ifstream log(portable.file("tunnells/" + name + "/client.log"));
                std::string line;
                std::string last;
                while (std::getline(log, line))
                    last = line;
                std::printf("%s: %s\n", name.c_str(), last.c_str());
            }
            return 1;
        }
    }

    const double scale = 120.0 / seconds / 1e6; // nanoseconds over the run to milliseconds per 120 s
    const double programMs = static_cast<double>(programAfter - programBefore) * scale;
    const double referenceMs = static_cast<double>(referenceAfter - referenceBefore) * scale;
    std::printf("idle CPU over %d s, per 120 s: the program with %d tunnels%s %.1f ms, the reference %.1f ms\n",
                seconds, scenario.tunnels, scenario.connected ? " connected" : "", programMs, referenceMs);
    if (referenceMs <= 0) {
        std::printf("program/reference = n/a (goal <= %.1f)\n", scenario.goal);
        return 1;
    }
    std::printf("program/reference = %.2f (goal <= %.1f)\n", programMs / referenceMs, scenario.goal);
    return programMs / referenceMs <= scenario.goal ? 0 : 1;
}
