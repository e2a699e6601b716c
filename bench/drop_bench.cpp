// How soon a started client's end is seen, next to the 3000 ms pass that was all there was before.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/client_end_watch.h"
#include "bench_stats.h"

namespace {

constexpr double kPassMs = 3000;
constexpr int kRounds = 30;

// A client stand-in that waits to be ended; a double fork, so it is not our child, as a real client is not.
pid_t startDetached() {
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    const pid_t middle = fork();
    if (middle == 0) {
        const pid_t client = fork();
        if (client == 0) {
            close(ends[0]);
            close(ends[1]);
            execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        (void)!write(ends[1], &client, sizeof client);
        _exit(0);
    }
    close(ends[1]);
    waitpid(middle, nullptr, 0);
    pid_t client = -1;
    (void)!read(ends[0], &client, sizeof client);
    close(ends[0]);
    return client;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::vector<double> latencies;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t client = startDetached();
        if (client <= 0)
            return 1;
        quorvane::ClientEndWatch watch;
        watch.watch(static_cast<quorvane::ProcessId>(client));
        QEventLoop loop;
        QElapsedTimer clock;
        QObject::connect(&watch, &quorvane::ClientEndWatch::clientEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        clock.start();
        kill(client, SIGKILL);
        loop.exec();
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const double median = quorvane::bench::medianOf(latencies);
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    std::printf("end of a started client seen after: median %.2f ms, worst %.2f ms over %d rounds\n", median, worst,
                kRounds);
    std::printf("drop seen/periodic pass = %.4f (goal <= 0.07)\n", worst / kPassMs);
    return 0;
}
