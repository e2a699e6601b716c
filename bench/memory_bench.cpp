// Resident memory of the program's window with 50 tunnels next to a bare Qt window that lists the same tunnels
// (reference_window.h) at the same size, and the memory each added tunnel costs. Every figure comes from a fresh child
// process, so no allocation is shared.
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/application.h"
#include "bench_stats.h"
#include "portable_folder.h"
#include "reference_window.h"
#include "self_child.h"

namespace {

using namespace quorvane;

constexpr int kTunnels = 50;
constexpr int kMoreTunnels = 550;
constexpr int kRounds = 3;
constexpr double kWindowGoal = 1.1;
constexpr double kAnonymousGoal = 1.3;
constexpr double kPerTunnelGoalKb = 5;

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Memory no file backs: what the program itself allocated, apart from the libraries both share.
long anonymousKb() {
    std::ifstream rollup("/proc/self/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.rfind("Anonymous:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10);
    }
    return -1;
}

// What a user would wait for: the window shown, laid out and painted, the events it queued handled.
void settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Child: the program on a portable folder, as main.cpp starts it; prints RSS in KB and the window's size.
int measureProgram(int argc, char** argv, const std::string& folder) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppOptions options;
    options.workingDir = folder;
    QuorvaneApp app(std::move(options));
    app.start();
    settle();
    std::printf("%ld %ld %d %d\n", residentKb(), anonymousKb(), app.main().width(), app.main().height());
    return 0;
}

// Child: the reference window over the same folder, at the given size.
int measureReference(int argc, char** argv, const std::string& folder, int width, int height) {
    QApplication qt(argc, argv);
    bench::ReferenceWindow window(QString::fromStdString(folder + "tunnells"));
    window.resize(width, height);
    window.show();
    settle();
    std::printf("%ld %ld %d %d\n", residentKb(), anonymousKb(), window.width(), window.height());
    return 0;
}

struct Figures {
    long kb = -1;
    long anonymousKb = -1;
    int width = 0;
    int height = 0;
};

// Runs this program again with the given mode and reads the child's one line of figures.
Figures inChild(const std::vector<std::string>& mode) {
    const std::optional<std::string> text = bench::outputOfSelf(mode);
    Figures figures;
    if (!text || std::sscanf(text->c_str(), "%ld %ld %d %d", &figures.kb, &figures.anonymousKb, &figures.width,
                             &figures.height) != 4)
        return {};
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--program")
        return measureProgram(1, argv, argv[2]);
    if (argc == 5 && std::string(argv[1]) == "--reference")
        return measureReference(1, argv, argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc != 1) {
        std::fprintf(stderr, "usage: memory_bench\n");
        return 1;
    }

    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("quorvane_memory_bench." + std::to_string(::getpid()));
    const std::string few = bench::portableFolder(root, kTunnels);
    const std::string many = bench::portableFolder(root, kMoreTunnels);

    // Rounds take turns, so each kind of child sees the same machine.
    std::vector<double> program, reference, more, programAnonymous, referenceAnonymous;
    for (int round = 0; round < kRounds; ++round) {
        const Figures withTunnels = inChild({"--program", few});
        const Figures bare =
            inChild({"--reference", few, std::to_string(withTunnels.width), std::to_string(withTunnels.height)});
        const Figures withMore = inChild({"--program", many});
        if (withTunnels.kb <= 0 || bare.kb <= 0 || withMore.kb <= 0) {
            std::printf("a measuring child failed\n");
            std::filesystem::remove_all(root);
            return 1;
        }
        if (round == 0)
            std::printf("window %d x %d\n", withTunnels.width, withTunnels.height);
        program.push_back(static_cast<double>(withTunnels.kb));
        reference.push_back(static_cast<double>(bare.kb));
        programAnonymous.push_back(static_cast<double>(withTunnels.anonymousKb));
        referenceAnonymous.push_back(static_cast<double>(bare.anonymousKb));
        more.push_back(static_cast<double>(withMore.kb));
    }
    std::filesystem::remove_all(root);

    const double programKb = bench::medianOf(program);
    const double referenceKb = bench::medianOf(reference);
    const double moreKb = bench::medianOf(more);
    const double windowRatio = programKb / referenceKb;
    const double anonymousRatio = bench::medianOf(programAnonymous) / bench::medianOf(referenceAnonymous);
    const double perTunnelKb = (moreKb - programKb) / (kMoreTunnels - kTunnels);
    std::printf("median resident memory over %d rounds: program with %d tunnels %.0f KB (anonymous %.0f KB), "
                "reference window %.0f KB (anonymous %.0f KB), program with %d tunnels %.0f KB\n",
                kRounds, kTunnels, programKb, bench::medianOf(programAnonymous), referenceKb,
                bench::medianOf(referenceAnonymous), kMoreTunnels, moreKb);
    std::printf("program/reference = %.3f (goal <= %.1f)\n", windowRatio, kWindowGoal);
    std::printf("program/reference, anonymous = %.3f (goal <= %.1f)\n", anonymousRatio, kAnonymousGoal);
    std::printf("memory per added tunnel = %.1f KB (goal <= %.0f KB)\n", perTunnelKb, kPerTunnelGoalKb);
    return windowRatio <= kWindowGoal && anonymousRatio <= kAnonymousGoal && perTunnelKb <= kPerTunnelGoalKb ? 0 : 1;
}
