// The program shown with 1,000 tunnels (its windows made, the load sequence run), next to a bare Qt window that
// lists the same tunnels (reference_window.h).
#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_stats.h"
#include "reference_window.h"
#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

constexpr int kTunnels = 1000;
constexpr double kGoal = 1.5;

struct Rig {
    test::AppFixture fixture;
    std::vector<double> loadSeconds;
    std::vector<double> referenceSeconds;
};

Rig* g_rig = nullptr;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each turn makes the windows afresh, so every load is a first show, as at start-up. The last turn's windows
// go before the clock starts, as the reference's do.
double loadOnce() {
    g_rig->fixture.dropApp();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    g_rig->fixture.buildApp();
    g_rig->fixture.app().start();
    // The list lays its items out when events are next processed: part of showing them.
    QCoreApplication::processEvents();
    return secondsSince(start);
}

// Reference and load taken turn about, so both see the same load on a shared machine.
void BM_LoadAndReferenceInTurn(benchmark::State& state) {
    for (auto _ : state) {
        g_rig->fixture.dropApp();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        auto window = std::make_unique<quorvane::bench::ReferenceWindow>(
            QString::fromStdString(g_rig->fixture.workingDir() + "tunnells"));
        window->show();
        QCoreApplication::processEvents();
        const double reference = secondsSince(start);
        window.reset();
        QCoreApplication::processEvents();
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
    }
    // Once outside the numbers: the caches warm, and the list really holds every tunnel.
    loadOnce();
    const int listed = rig.fixture.main().ListView1->count();
    std::printf("%d tunnels listed of %d\n", listed, kTunnels);
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
    std::printf("\nmedian per run: the program shown %.2f ms, the reference window shown %.2f ms\n", load * 1e3,
                reference * 1e3);
    if (listed != kTunnels || load <= 0 || reference <= 0) {
        std::printf("program/reference = n/a (goal <= %.1f)\n", kGoal);
        return 1;
    }
    std::printf("program/reference = %.2f (goal <= %.1f)\n", load / reference, kGoal);
    return load / reference <= kGoal ? 0 : 1;
}
