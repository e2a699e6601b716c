// The load sequence (first show of the main window) with 1,000 tunnels, next to reading their definitions raw.
#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_stats.h"
#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

constexpr int kTunnels = 1000;
constexpr double kGoal = 2.0;

// The reference: the least any program that shows these tunnels must do, open and read each definition.
std::size_t readRaw(const std::vector<std::string>& files) {
    std::size_t total = 0;
    char buffer[4096];
    for (const std::string& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
            total += static_cast<std::size_t>(got);
        ::close(fd);
    }
    return total;
}

struct Rig {
    test::AppFixture fixture;
    std::vector<std::string> files;
    std::vector<double> loadSeconds;
    std::vector<double> referenceSeconds;
};

Rig* g_rig = nullptr;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each turn gets new windows (not timed), so every load is a first show, as at start-up.
double loadOnce() {
    g_rig->fixture.buildApp();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    g_rig->fixture.app().start();
    // The list lays its items out when events are next processed: part of showing them.
    QCoreApplication::processEvents();
    return secondsSince(start);
}

// Reference and load taken turn about, so both see the same load on a shared machine.
void BM_LoadAndReferenceInTurn(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(readRaw(g_rig->files));
        const double reference = secondsSince(start);
        const double load = loadOnce();
        g_rig->referenceSeconds.push_back(reference);
        g_rig->loadSeconds.push_back(load);
        state.SetIterationTime(load);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    Rig rig;
    g_rig = &rig;
    // Ordinary definitions, none connecting at start-up: the load is listing and reading them.
    for (int i = 0; i < kTunnels; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "tunnel%04d", i);
        rig.fixture.folder.makeFolder(std::string("tunnells/") + name);
        SaveDefinition(rig.fixture.workingDir(), name,
                       {"127.0.0." + std::to_string(i % 250 + 1), "22", "user", "secret", std::to_string(20000 + i),
                        "127.0.0.1", "80", false});
        rig.files.push_back(paths::DefinitionFile(rig.fixture.workingDir(), name));
    }
    // Once outside the numbers: the caches warm, and the list really holds every tunnel.
    readRaw(rig.files);
    loadOnce();
    const int listed = rig.fixture.main().ListView1->count();
    std::printf("%d tunnels listed of %d, %zu definition bytes\n", listed, kTunnels, readRaw(rig.files));
    rig.loadSeconds.clear();
    rig.referenceSeconds.clear();

    benchmark::RegisterBenchmark("load_1000_and_reference_in_turn", BM_LoadAndReferenceInTurn)
        ->UseManualTime()
        ->Iterations(5)
        ->Repetitions(3)
        ->DisplayAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_rig = nullptr;

    const double load = quorvane::bench::medianOf(rig.loadSeconds);
    const double reference = quorvane::bench::medianOf(rig.referenceSeconds);
    std::printf("\nmedian per run: load sequence %.2f ms, raw read of the definitions %.2f ms\n", load * 1e3,
                reference * 1e3);
    if (listed != kTunnels || load <= 0 || reference <= 0) {
        std::printf("load/raw read = n/a (goal <= %.0f)\n", kGoal);
        return 1;
    }
    std::printf("load/raw read = %.2f (goal <= %.0f)\n", load / reference, kGoal);
    return load / reference <= kGoal ? 0 : 1;
}
