// A started client's end is told at once, one signal per client, however many are watched together.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/client_end_watch.h"

namespace quorvane::test {
namespace {

pid_t startWaitingChild() {
    const pid_t pid = fork();
    if (pid == 0) {
        pause();
        _exit(0);
    }
    return pid;
}

// Lets events through until count ends were told, for at most two seconds.
int waitForEnds(const int& ended, int count) {
    QElapsedTimer clock;
    clock.start();
    while (ended < count && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50); // and nothing more comes
    return ended;
}

TEST(ClientEndWatch, TellsEachEndOnceAndNothingForWhatCannotBeWatched) {
    ClientEndWatch watch;
    int ended = 0;
    QObject::connect(&watch, &ClientEndWatch::clientEnded, [&ended] { ++ended; });
    std::vector<pid_t> children;
    for (int i = 0; i < 5; ++i) {
        children.push_back(startWaitingChild());
        ASSERT_GT(children.back(), 0);
        watch.watch(static_cast<ProcessId>(children.back()));
    }
    const pid_t gone = startWaitingChild();
    kill(gone, SIGKILL);
    waitpid(gone, nullptr, 0);
    watch.watch(static_cast<ProcessId>(gone)); // ended and reaped: its id names nothing
    watch.watch(NoProcessId);

    kill(children[2], SIGKILL);
    EXPECT_EQ(waitForEnds(ended, 1), 1) << "one end, told once";
    for (const pid_t child : children)
        kill(child, SIGKILL); // four more, ending together
    EXPECT_EQ(waitForEnds(ended, 5), 5);
    for (const pid_t child : children)
        waitpid(child, nullptr, 0);
}

} // namespace
} // namespace quorvane::test
