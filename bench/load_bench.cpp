// The program shown with 0, 1,000 and 3,000 tunnels (its windows made, the load sequence run), each next to a bare
// Qt window that lists the same tunnels (reference_window.h).
#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

struct Count {
    int tunnels;
    double goal; // 0: shown, with no goal of its own
};
// With no tunnel the figure is the program's own windows against a bare one; start-up as a user waits for it,
// process start included, is startup_bench's.
constexpr Count kCounts[] = {{0, 0}, {1000, 1.5}, {3000, 1.5}};

struct Rig {
    Count count;
    int listed = 0;
    test::AppFixture fixture;
    std::vector<double> loadSeconds;
    std::vector<double> referenceSeconds;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each turn makes the windows afresh, so every load is a first show, as at start-up. The last turn's windows
// go before the clock starts, as the reference's do.
double loadOnce(Rig& rig) {
    rig.fixture.dropApp();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    rig.fixture.buildApp();
    rig.fixture.app().start();
    // The list lays its items out when events are next processed: part of showing them.
    QCoreApplication::processEvents();
    return secondsSince(start);
}

// Reference and load taken turn about, so both see the same load on a shared machine.
void loadAndReferenceInTurn(benchmark::State& state, Rig& rig) {
    for (auto _ : state) {
        rig.fixture.dropApp();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        auto window = std::make_unique<quorvane::bench::ReferenceWindow>(
            QString::fromStdString(rig.fixture.workingDir() + "tunnells"));
        window->show();
        QCoreApplication::processEvents();
        const double reference = secondsSince(start);
        window.reset();
        QCoreApplication::processEvents();
        const double load = loadOnce(rig);
        rig.referenceSeconds.push_back(reference);
        rig.loadSeconds.push_back(load);
        state.SetIterationTime(load);
    }
}

// Ordinary definitions, none connecting at start-up: the load is listing and reading them.
void prepare(Rig& rig) {
    for (int i = 0; i < rig.count.tunnels; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "tunnel%04d", i);
        rig.fixture.folder.makeFolder(std::string("tunnells/") + name);
        SaveDefinition(rig.fixture.workingDir(), name,
                       {"127.0.0." + std::to_string(i % 250 + 1), "22", "user", "secret", std::to_string(20000 + i),
                        "127.0.0.1", "80", false});
    }
    // Once outside the numbers: the caches warm, and the list really holds every tunnel.
    loadOnce(rig);
    rig.listed = rig.fixture.main().ListView1->count();
    rig.fixture.dropApp();
    rig.loadSeconds.clear();
    rig.referenceSeconds.clear();
}

bool report(const Rig& rig) {
    const double load = quorvane::bench::medianOf(rig.loadSeconds);
    const double reference = quorvane::bench::medianOf(rig.referenceSeconds);
    std::printf(
        "%d tunnels (%d listed), median per run: the program shown %.2f ms, the reference window shown %.2f ms\n",
        rig.count.tunnels, rig.listed, load * 1e3, reference * 1e3);
    if (rig.listed != rig.count.tunnels || load <= 0 || reference <= 0) {
        std::printf("program/reference = n/a\n");
        return false;
    }
    if (rig.count.goal <= 0) {
        std::printf("program/reference = %.2f (no goal)\n", load / reference);
        return true;
    }
    std::printf("program/reference = %.2f (goal <= %.1f)\n", load / reference, rig.count.goal);
    return load / reference <= rig.count.goal;
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // --tunnels N measures that one size alone (to profile it).
    int only = -1;
    if (argc == 3 && std::string(argv[1]) == "--tunnels") {
        only = std::atoi(argv[2]);
        argc = 1;
    }
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    std::vector<std::unique_ptr<Rig>> rigs;
    for (const Count& count : kCounts) {
        if (only >= 0 && count.tunnels != only)
            continue;
        rigs.push_back(std::make_unique<Rig>());
        Rig& rig = *rigs.back();
        rig.count = count;
        prepare(rig);
        benchmark::RegisterBenchmark(("load_" + std::to_string(count.tunnels) + "_and_reference_in_turn").c_str(),
                                     [&rig](benchmark::State& state) { loadAndReferenceInTurn(state, rig); })
            ->UseManualTime()
            ->Iterations(5)
            ->Repetitions(3)
            ->DisplayAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n");
    bool allMet = true;
    for (const auto& rig : rigs)
        allMet = report(*rig) && allMet;
    return allMet ? 0 : 1;
}
