// Start-up to the window shown, as a user waits for it: from starting the process to the first paint of its
// window, the program on a portable folder with 0, 1,000 and 3,000 tunnels next to a bare Qt window that lists the
// same tunnels (reference_window.h). Both are this executable started again, so both load the same libraries.
#include <QApplication>
#include <QEvent>
#include <QMainWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "bench_stats.h"
#include "portable_folder.h"
#include "reference_window.h"
#include "self_child.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock; // the system's monotonic clock: the same in parent and child

struct Count {
    int tunnels;
    double goal;
};
constexpr Count kCounts[] = {{0, 1.3}, {1000, 1.5}, {3000, 1.5}};
constexpr int kRuns = 7; // each, taken turn about

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Set once any widget of the window has been painted.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : m_window(window) {}
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == m_window)
            painted = true;
        return false;
    }

private:
    QWidget* m_window;
};

// The window is shown once the events that painted it have been handled.
void waitForPaint(QWidget* window) {
    FirstPaint paint(window);
    qApp->installEventFilter(&paint);
    while (!paint.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    qApp->removeEventFilter(&paint);
}

// Child: the program as main.cpp starts it; prints the moment its window was shown.
int startProgram(int argc, char** argv, const std::string& folder) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppOptions options;
    options.workingDir = folder;
    QuorvaneApp app(std::move(options));
    app.start();
    waitForPaint(&app.main());
    std::printf("%lld\n", static_cast<long long>(nowNs()));
    return 0;
}

// Child: the reference window over the same folder.
int startReference(int argc, char** argv, const std::string& folder) {
    QApplication qt(argc, argv);
    bench::ReferenceWindow window(QString::fromStdString(folder + "tunnells"));
    window.show();
    waitForPaint(&window);
    std::printf("%lld\n", static_cast<long long>(nowNs()));
    return 0;
}

// Starts this program again in the given mode; the seconds from the start to its window shown, or -1.
double startupSeconds(const std::string& mode, const std::string& folder) {
    const std::int64_t started = nowNs();
    const std::optional<std::string> shown = bench::outputOfSelf({mode, folder}, true);
    if (!shown || shown->empty())
        return -1;
    return static_cast<double>(std::strtoll(shown->c_str(), nullptr, 10) - started) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--program")
        return startProgram(argc, argv, argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--reference")
        return startReference(argc, argv, argv[2]);

    char rootTemplate[] = "/tmp/quorvane-startup-XXXXXX";
    if (!mkdtemp(rootTemplate))
        return 1;
    const std::filesystem::path root(rootTemplate);
    bool allMet = true;
    for (const Count& count : kCounts) {
        const std::string folder = bench::portableFolder(root, count.tunnels);
        // Once each outside the numbers: the files and libraries in the page cache, as on any start but the first.
        startupSeconds("--program", folder);
        startupSeconds("--reference", folder);
        std::vector<double> program;
        std::vector<double> reference;
        for (int run = 0; run < kRuns; ++run) {
            program.push_back(startupSeconds("--program", folder));
            reference.push_back(startupSeconds("--reference", folder));
        }
        const double programMedian = bench::medianOf(program);
        const double referenceMedian = bench::medianOf(reference);
        std::printf("%d tunnels, median of %d starts: the program shown after %.1f ms, the reference after %.1f ms\n",
                    count.tunnels, kRuns, programMedian * 1e3, referenceMedian * 1e3);
        const bool measured = programMedian > 0 && referenceMedian > 0 &&
                              std::find(program.begin(), program.end(), -1.0) == program.end() &&
                              std::find(reference.begin(), reference.end(), -1.0) == reference.end();
        if (!measured) {
            std::printf("program/reference = n/a (goal <= %.1f)\n", count.goal);
            allMet = false;
            continue;
        }
        const double ratio = programMedian / referenceMedian;
        std::printf("program/reference = %.2f (goal <= %.1f)\n", ratio, count.goal);
        allMet = ratio <= count.goal && allMet;
    }
    std::filesystem::remove_all(root);
    return allMet ? 0 : 1;
}
