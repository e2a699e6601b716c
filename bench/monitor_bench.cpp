// Cost of one status monitor pass on this machine, as the program runs it, next to the bare enumeration and to pgrep.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench_stats.h"
#include "process/client_launcher.h"
#include "process/client_start_watch.h"
#include "process/process_services.h"
#include "process/tunnel_clients.h"
#include "service/tunnel_service.h"
#include "store/file_system.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_health_tracker.h"

extern char** environ;

namespace {

using quorvane::bench::medianOf;

using quorvane::VectorProcessList;

constexpr int kTunnels = 1000;

std::vector<std::string> tunnelNames() {
    std::vector<std::string> names;
    names.reserve(kTunnels);
    for (int i = 0; i < kTunnels; ++i)
        names.push_back("Tunnel" + std::to_string(i));
    return names;
}

// Every iteration's wall time, per benchmark: the ratios use medians of these, which a busy
// machine's occasional preemption barely moves.
std::map<std::string, std::vector<double>>& samples() {
    static std::map<std::string, std::vector<double>> all;
    return all;
}

template <typename Body> void timeEach(benchmark::State& state, const char* name, Body&& body) {
    std::vector<double>& mine = samples()[name];
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        mine.push_back(elapsed.count() * 1e6);
    }
}

// The program's own pass: the tunnel service over a tunnels folder of kTunnels tunnels, with the system's process
// services, socket table and start watch. Quiet: nothing started since the last pass. Listing: a client may have.
class ProgramPass {
public:
    ProgramPass() {
        const std::string root = "/tmp/quorvane-bench-pass/";
        std::filesystem::remove_all(root);
        for (const std::string& name : tunnelNames()) {
            std::filesystem::create_directories(root + "tunnells/" + name);
            std::ofstream(root + "tunnells/" + name + "/Tunnell.tun")
                << "[SSH Server]\r\nIpServer=10.0.0.1\r\n[Tunnell]\r\nPortaLocale=8080\r\n";
        }
        m_folders = {root, root};
        m_service.emplace(m_folders, *m_processes, *m_launcher, m_health);
        m_service->setClientStartWatch(&m_watch);
        m_service->list();
        m_service->pass();
    }
    void run(bool listing) {
        m_watch.listing = listing;
        m_service->pass();
    }

private:
    class Watch : public quorvane::ClientStartWatch {
    public:
        void follow(const std::string& dir, const std::vector<std::string>& tunnels) override {
            m_system->follow(dir, tunnels);
        }
        bool mayHaveStarted() override { return m_system->mayHaveStarted() || listing; }
        bool listing = false;

    private:
        std::unique_ptr<quorvane::ClientStartWatch> m_system = quorvane::createSystemClientStartWatch();
    };

    std::unique_ptr<quorvane::ProcessServices> m_processes = quorvane::createSystemProcessServices();
    std::unique_ptr<quorvane::ClientLauncher> m_launcher = quorvane::createSystemLauncher();
    std::unique_ptr<quorvane::SocketTable> m_sockets = quorvane::createSystemSocketTable();
    quorvane::SystemClock m_clock;
    quorvane::TunnelHealthTracker m_health{"/tmp/quorvane-bench-pass/", *m_sockets, m_clock};
    quorvane::ProgramFolders m_folders;
    Watch m_watch;
    std::optional<quorvane::TunnelService> m_service;
};

// The program's passes and the bare enumeration taken turn about, so all see the same load on a shared machine.
void BM_ProgramPassesInTurn(benchmark::State& state) {
    const auto services = quorvane::createSystemProcessServices();
    ProgramPass program;
    std::vector<double>& enumerations = samples()["program enumeration"];
    std::vector<double>& quiet = samples()["program quiet pass"];
    std::vector<double>& listing = samples()["program listing pass"];
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto start = Clock::now();
        {
            VectorProcessList list;
            services->ListProcesses(list, false);
            benchmark::DoNotOptimize(list.entries.data());
        }
        const auto afterEnumeration = Clock::now();
        program.run(false);
        const auto afterQuiet = Clock::now();
        program.run(true);
        const auto end = Clock::now();
        const std::chrono::duration<double, std::micro> e = afterEnumeration - start, q = afterQuiet - afterEnumeration,
                                                        l = end - afterQuiet;
        enumerations.push_back(e.count());
        quiet.push_back(q.count());
        listing.push_back(l.count());
        state.SetIterationTime((end - start) / std::chrono::duration<double>(1.0));
    }
}

void BM_Enumeration(benchmark::State& state) {
    const auto services = quorvane::createSystemProcessServices();
    std::size_t processes = 0;
    timeEach(state, "enumeration", [&] {
        VectorProcessList list;
        services->ListProcesses(list, false);
        processes = list.entries.size();
        benchmark::DoNotOptimize(list.entries.data());
    });
    state.counters["processes"] = static_cast<double>(processes);
}

// The system's own tool for the same question, as a yardstick.
void BM_Pgrep(benchmark::State& state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = "pgrep";
    char exact[] = "-x";
    char name[] = "TunnelSSH.exe";
    char* argv[] = {program, exact, name, nullptr};
    bool started = true;
    timeEach(state, "pgrep", [&] {
        pid_t pid = 0;
        if (!started || posix_spawnp(&pid, program, &actions, nullptr, argv, environ) != 0) {
            started = false;
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    });
    if (!started) {
        samples().erase("pgrep");
        state.SkipWithError("pgrep cannot be started");
    }
    posix_spawn_file_actions_destroy(&actions);
}

BENCHMARK(BM_Enumeration)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_ProgramPassesInTurn)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_Pgrep)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);

// Shows only the summaries of repeated runs.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1)
                shown.push_back(run);
        }
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
    }
};

// False when the goal (a ratio at most this) is missed or cannot be measured.
bool printRatio(const char* label, double numerator, double denominator, double goal = 0) {
    const bool measured = numerator > 0 && denominator > 0;
    const double ratio = measured ? numerator / denominator : 0;
    if (goal <= 0) {
        std::printf(measured ? "%s = %.3f\n" : "%s = n/a\n", label, ratio);
        return true;
    }
    const bool met = measured && ratio <= goal;
    if (measured)
        std::printf("%s = %.3f (goal <= %.2f)%s\n", label, ratio, goal, met ? "" : "  MISSED");
    else
        std::printf("%s = n/a (goal <= %.2f)  MISSED\n", label, goal);
    return met;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double enumeration = medianOf(samples()["enumeration"]);
    const double pgrep = medianOf(samples()["pgrep"]);
    std::printf("\nmedian per run: enumeration %.1f us, pgrep %.1f us\n", enumeration, pgrep);
    const double programEnumeration = medianOf(samples()["program enumeration"]);
    const double quietPass = medianOf(samples()["program quiet pass"]);
    const double listingPass = medianOf(samples()["program listing pass"]);
    std::printf("the program's pass over %d tunnels, in turn: quiet %.1f us, listing %.1f us, enumeration %.1f us\n",
                kTunnels, quietPass, listingPass, programEnumeration);
    // Nothing started: a pass asks after the clients it knows and lists nothing.
    bool met = printRatio("program quiet pass/enumeration", quietPass, programEnumeration, 0.25);
    met = printRatio("program listing pass/enumeration", listingPass, programEnumeration, 1.5) && met;
    printRatio("enumeration/pgrep", enumeration, pgrep);
    return met ? 0 : 1;
}
