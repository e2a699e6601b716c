// Cost of one status monitor pass on this machine, next to the bare enumeration and to pgrep.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench_stats.h"
#include "process/process_services.h"
#include "process/tunnel_clients.h"
#include "store/file_system.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_health_tracker.h"

extern char** environ;

namespace {

using quorvane::bench::medianOf;

using quorvane::OwnProcess;
using quorvane::ProcessId;
using quorvane::TunnelClients;
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

// The monitor's listing: the names for the process list holder, and this user's executables,
// which tell a tunnel's own client from any process of the same name.
class MonitorListing : public VectorProcessList {
public:
    bool wantsOwnExecutables() const override { return true; }
    void appendOwnExecutable(ProcessId id, const std::string& executable) override { own.push_back({id, executable}); }
    std::vector<OwnProcess> own;
};

const std::string kTunnelsDir = "/tmp/quorvane-bench/tunnells";

// The monitor's step after the listing, as the program runs it: match the clients to tunnels, the
// health tracker's pass (sockets and logs of running clients), one picture per tunnel.
class MonitorStep {
public:
    void operator()(const std::vector<OwnProcess>& own, const std::vector<std::string>& tunnels,
                    std::vector<int>& pictures) {
        const TunnelClients clients =
            TunnelClients::forPlatform(quorvane::fs::canonicalPath(quorvane::fs::resolve(kTunnelsDir)), own);
        m_health.pass(clients, tunnels, [](const std::string&) { return quorvane::ClientSetup{}; });
        for (std::size_t i = 0; i < tunnels.size(); ++i)
            pictures[i] = m_health.health(tunnels[i]).status == quorvane::TunnelStatus::Connected ? 1 : 0;
    }

private:
    std::unique_ptr<quorvane::SocketTable> m_sockets = quorvane::createSystemSocketTable();
    quorvane::SystemClock m_clock;
    quorvane::TunnelHealthTracker m_health{"/tmp/quorvane-bench/", *m_sockets, m_clock};
};

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

// What the monitor does every 3 s: list, match, the tracker's pass, and one picture per tunnel.
void BM_FullPass(benchmark::State& state) {
    const auto services = quorvane::createSystemProcessServices();
    const std::vector<std::string> tunnels = tunnelNames();
    std::vector<int> pictures(tunnels.size(), 0);
    MonitorStep updatePictures;
    timeEach(state, "pass", [&] {
        MonitorListing list;
        services->ListProcesses(list, false);
        updatePictures(list.own, tunnels, pictures);
        benchmark::DoNotOptimize(pictures.data());
    });
}

// The monitor's own share of a pass, on a snapshot taken once.
void BM_IndexAndLookups(benchmark::State& state) {
    const auto services = quorvane::createSystemProcessServices();
    MonitorListing list;
    services->ListProcesses(list, false);
    const std::vector<std::string> tunnels = tunnelNames();
    std::vector<int> pictures(tunnels.size(), 0);
    MonitorStep updatePictures;
    timeEach(state, "index", [&] {
        updatePictures(list.own, tunnels, pictures);
        benchmark::DoNotOptimize(pictures.data());
    });
}

// Enumeration and full pass taken turn about, so both see the same load on a shared machine;
// the pass/enumeration ratio comes from these pairs.
void BM_PassAndEnumerationInTurn(benchmark::State& state) {
    const auto services = quorvane::createSystemProcessServices();
    const std::vector<std::string> tunnels = tunnelNames();
    std::vector<int> pictures(tunnels.size(), 0);
    MonitorStep updatePictures;
    std::vector<double>& enumerations = samples()["paired enumeration"];
    std::vector<double>& passes = samples()["paired pass"];
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto start = Clock::now();
        {
            VectorProcessList list;
            services->ListProcesses(list, false);
            benchmark::DoNotOptimize(list.entries.data());
        }
        const auto middle = Clock::now();
        {
            MonitorListing list;
            services->ListProcesses(list, false);
            updatePictures(list.own, tunnels, pictures);
            benchmark::DoNotOptimize(pictures.data());
        }
        const auto end = Clock::now();
        const std::chrono::duration<double, std::micro> enumeration = middle - start, pass = end - middle;
        enumerations.push_back(enumeration.count());
        passes.push_back(pass.count());
        state.SetIterationTime((end - start) / std::chrono::duration<double>(1.0));
    }
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
BENCHMARK(BM_FullPass)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_IndexAndLookups)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_PassAndEnumerationInTurn)->Unit(benchmark::kMicrosecond)->UseManualTime()->Repetitions(3);
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

void printRatio(const char* label, double numerator, double denominator, const char* goal) {
    if (numerator <= 0 || denominator <= 0)
        std::printf("%s = n/a%s\n", label, goal);
    else
        std::printf("%s = %.3f%s\n", label, numerator / denominator, goal);
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
    const double pass = medianOf(samples()["pass"]);
    const double index = medianOf(samples()["index"]);
    const double pairedEnumeration = medianOf(samples()["paired enumeration"]);
    const double pairedPass = medianOf(samples()["paired pass"]);
    const double pgrep = medianOf(samples()["pgrep"]);
    std::printf("\nmedian per run: pass %.1f us, enumeration %.1f us, index and lookups %.1f us, pgrep %.1f us\n", pass,
                enumeration, index, pgrep);
    std::printf("median per run, in turn: pass %.1f us, enumeration %.1f us\n", pairedPass, pairedEnumeration);
    printRatio("pass/enumeration", pairedPass, pairedEnumeration, " (goal <= 1.2)");
    printRatio("enumeration/pgrep", enumeration, pgrep, "");
    return 0;
}
