// Connect latency: from the connect command to the first answer through the tunnel, against plink run directly.
#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "bench_stats.h"
#include "desktop/dialog_service.h"
#include "process/command_line.h"
#include "store/tunnel_definition.h"
#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace {

using namespace quorvane;
using namespace quorvane::test;
using Clock = std::chrono::steady_clock;

constexpr const char* kTunnel = "Bench";
constexpr const char* kClientName = "BenchSSH.exe";
// One connection per repetition, the repetitions of both sides interleaved at random: a change of
// machine load during the run then hits both sides alike.
constexpr int kIterations = 1;
constexpr int kRepetitions = 25;

// Every box is answered at once, as a user who presses OK without reading would.
class InstantDialogs : public DialogService {
public:
    void showMessage(const QString& text) override { lastMessage = text; }
    void showError(const QString& text) override { errors << text; }
    bool question(const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&, int) override { return QString(kTunnel); }
    std::optional<QString> askText(const QString&, const QString&, const QString&, int) override {
        return QString(kTunnel);
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&, const QString&) override { return {}; }

    QString lastMessage;
    QStringList errors;
};

struct Rig {
    Rig() {
        work.makeFolder("tunnells");
        std::filesystem::copy_file(plinkPath(), work.file("plink.exe"));
        setDialogService(&dialogs);
        AppOptions options;
        options.workingDir = work.withSeparator();
        app = std::make_unique<QuorvaneApp>(std::move(options));
        app->start();
        app->main().Aggiungi1Click();
        if (app->main().ListView1->count() != 1)
            throw std::runtime_error("the add command made no tunnel");
        app->main().ListView1->setCurrentRow(0);
    }
    ~Rig() {
        stopProcessesNamed(kClientName);
        app.reset();
        setDialogService(nullptr);
    }

    TunnelDefinition definition(int localPort) const {
        TunnelDefinition d;
        d.IpServer = "127.0.0.1";
        d.PortaServer = std::to_string(server.port());
        d.Username = server.user();
        d.Password = server.password();
        d.PortaLocale = std::to_string(localPort);
        d.IpServizio = "127.0.0.1";
        d.PortaServizio = std::to_string(service.port());
        return d;
    }
    std::string clientCopy() const { return work.file(std::string("tunnells/") + kTunnel + "/" + kClientName); }

    SshServer server;
    TcpService service;
    TempDir work;
    InstantDialogs dialogs;
    std::unique_ptr<QuorvaneApp> app;
    std::vector<double> connectSeconds;
    std::vector<double> commandSeconds; // until the connect command returned
    std::vector<double> directSeconds;
    std::vector<double> sessionSeconds;
};

Rig* g_rig = nullptr;

// Both ways are measured by this same loop, so its own cost cancels out of the ratio.
double secondsToFirstAnswer(Clock::time_point start, int localPort) {
    while (!askLine(localPort, "b", 5000)) {
        if (Clock::now() - start > std::chrono::seconds(20))
            throw std::runtime_error("no answer through the tunnel within 20 s:\n" + g_rig->server.log());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One connect through the program; the client is stopped again before the next round.
double connectOnce() {
    const int localPort = freeLoopbackPort();
    SaveDefinition(g_rig->work.withSeparator(), kTunnel, g_rig->definition(localPort));
    const auto start = Clock::now();
    g_rig->app->main().AttivaTunnell1Click();
    g_rig->commandSeconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    const double seconds = secondsToFirstAnswer(start, localPort);
    stopProcessesNamed(kClientName);
    if (!g_rig->dialogs.errors.isEmpty())
        throw std::runtime_error("connect failed: " + g_rig->dialogs.errors.join("; ").toStdString());
    return seconds;
}

constexpr const char* kPasswordMark = "<password>";

// The same client copy with the same arguments, started by a plain fork and exec; in a session of its
// own when asked, which is how the program detaches its clients.
double directOnce(bool newSession = false) {
    const int localPort = freeLoopbackPort();
    std::vector<std::string> argv{g_rig->clientCopy()};
    // The reference gives the password on the command line, as a client started by hand would.
    const quorvane::TunnelDefinition definition = g_rig->definition(localPort);
    for (std::string& argument : splitWindowsCommandLine(buildConnectCommandLine(definition, kPasswordMark))) {
        if (argument == "-pwfile")
            argument = "-pw";
        else if (argument == kPasswordMark)
            argument = definition.Password;
        argv.push_back(std::move(argument));
    }
    const auto start = Clock::now();
    ChildProcess client(argv, "/dev/null", newSession);
    const double seconds = secondsToFirstAnswer(start, localPort);
    client.stop();
    return seconds;
}

void BM_ConnectCommand(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = connectOnce();
        state.SetIterationTime(seconds);
        g_rig->connectSeconds.push_back(seconds);
    }
}

void BM_DirectPlink(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = directOnce();
        state.SetIterationTime(seconds);
        g_rig->directSeconds.push_back(seconds);
    }
}

void BM_DirectPlinkNewSession(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = directOnce(true);
        state.SetIterationTime(seconds);
        g_rig->sessionSeconds.push_back(seconds);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane - SSH Link Manager"));

    if (const std::string gap = sshPrerequisiteGap(); !gap.empty()) {
        std::fprintf(stderr, "%s\n", gap.c_str());
        return prerequisitesRequired() ? 1 : 0;
    }
    // Repetitions of the two benchmarks take turns at random unless the caller says otherwise.
    std::vector<char*> arguments(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(arguments.begin(), arguments.end(), [](const char* a) {
            return std::string(a).starts_with("--benchmark_enable_random_interleaving");
        }))
        arguments.insert(arguments.begin() + 1, interleave.data());
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    try {
        Rig rig;
        g_rig = &rig;
        // The first login of a run pays for caches on both sides; keep it out of the numbers.
        connectOnce();
        directOnce();

        using Body = void (*)(benchmark::State&);
        for (auto [name, body] : {std::pair<const char*, Body>{"connect_command", BM_ConnectCommand},
                                  std::pair<const char*, Body>{"direct_plink", BM_DirectPlink},
                                  std::pair<const char*, Body>{"direct_plink_new_session", BM_DirectPlinkNewSession}}) {
            benchmark::RegisterBenchmark(name, body)
                ->UseManualTime()
                ->Iterations(kIterations)
                ->Repetitions(kRepetitions)
                ->DisplayAggregatesOnly(true)
                ->Unit(benchmark::kMillisecond);
        }
        rig.commandSeconds.clear();
        benchmark::RunSpecifiedBenchmarks();

        bool goalMet = false;
        if (rig.connectSeconds.empty() || rig.directSeconds.empty()) {
            std::printf("connect/direct = n/a (both benchmarks must run)\n");
        } else {
            const double connectMedian = quorvane::bench::medianOf(rig.connectSeconds);
            const double directMedian = quorvane::bench::medianOf(rig.directSeconds);
            const double connectBest = *std::min_element(rig.connectSeconds.begin(), rig.connectSeconds.end());
            const double directBest = *std::min_element(rig.directSeconds.begin(), rig.directSeconds.end());
            std::printf("first answer over %zu connections each: median connect %.1f ms, direct %.1f ms; "
                        "best connect %.1f ms, direct %.1f ms (best ratio %.3f); the connect command itself "
                        "returns after %.1f ms\n",
                        rig.connectSeconds.size(), connectMedian * 1e3, directMedian * 1e3, connectBest * 1e3,
                        directBest * 1e3, connectBest / directBest,
                        quorvane::bench::medianOf(rig.commandSeconds) * 1e3);
            std::printf("connect/direct = %.3f (goal <= 1.05)\n", connectMedian / directMedian);
            goalMet = connectMedian / directMedian <= 1.05;
            if (!rig.sessionSeconds.empty())
                std::printf("connect/direct in a new session = %.3f (direct in a new session / direct = %.3f)\n",
                            connectMedian / quorvane::bench::medianOf(rig.sessionSeconds),
                            quorvane::bench::medianOf(rig.sessionSeconds) / directMedian);
        }
        g_rig = nullptr;
        if (!goalMet) {
            std::printf("connect_bench: goal missed\n");
            benchmark::Shutdown();
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "connect_bench: %s\n", error.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
