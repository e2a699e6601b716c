// `quorvane --status` with 1,000 tunnels and no instance running, next to `cat` reading their definitions; then
// with 50,000 folders nested inside one tunnel folder and 50,000 side by side inside another.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_stats.h"
#include "child_environment.h"
#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

constexpr int kTunnels = 1000;
constexpr int kRuns = 15;
constexpr double kGoal = 2.0;
constexpr const char* kCat = "/bin/cat";
constexpr int kNested = 50000;
constexpr int kNestedRuns = 5;
constexpr double kNestedGoalSeconds = 1.0;

struct Run {
    double seconds = -1;
    int exitCode = -1; // -1 for a signal or a failed start
    std::string output;
};

// Times one child from its start to its reaping. stdout goes to a pipe read whole (or to /dev/null), stderr to
// errorFile. No polling: a sleep-based wait would add its granularity to a run of a few milliseconds.
Run runTimed(const std::vector<std::string>& argv, char* const* envp, bool capture, const std::string& errorFile) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int out[2] = {-1, -1};
    if (capture && pipe2(out, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (capture)
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    Run run;
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    if (capture)
        close(out[1]);
    if (spawned != 0) {
        if (capture)
            close(out[0]);
        return run;
    }
    if (capture) {
        char buffer[16384];
        for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
            run.output.append(buffer, static_cast<std::size_t>(got));
        close(out[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A chain of folders named "a", depth levels below folder, made and removed through folder descriptors: its
// paths are longer than any call that takes a whole path accepts.
bool makeChain(const std::string& folder, int depth) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int next = mkdirat(fd, "a", 0700) == 0 ? openat(fd, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

void removeChain(const std::string& folder, int depth) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int next = openat(fd, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    // Back up through "..", removing the folder just left.
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = parent;
        if (fd >= 0)
            unlinkat(fd, "a", AT_REMOVEDIR);
    }
    if (fd >= 0)
        close(fd);
}

} // namespace

int main() {
    test::TempDir portable;
    test::TempDir runtime;
    test::TempDir scratch;
    const std::string program = portable.file("quorvane");
    std::filesystem::copy_file(QUORVANE_PROGRAM, program);

    // A portable folder: the tunnels beside the program, as a user who unpacked it would have them.
    std::vector<std::string> catArgs{kCat};
    std::string expected;
    for (int i = 0; i < kTunnels; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "tunnel%04d", i);
        portable.makeFolder(std::string("tunnells/") + name);
        SaveDefinition(portable.withSeparator(), name,
                       {"127.0.0." + std::to_string(i % 250 + 1), "22", "user", "secret", std::to_string(20000 + i),
                        "127.0.0.1", "80", false});
        catArgs.push_back(paths::DefinitionFile(portable.withSeparator(), name));
        expected += std::string(name) + "\tnot connected\n";
    }

    const std::vector<std::string> variables = bench::childEnvironment(runtime.path());
    std::vector<char*> envp;
    for (const std::string& variable : variables)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);

    const std::vector<std::string> statusArgs{program, "--status"};
    const std::string errors = scratch.file("stderr");
    std::vector<double> statusSeconds, catSeconds;
    // Turn about, so machine load falls on both alike; the first pair warms the caches and is not counted.
    for (int turn = 0; turn <= kRuns; ++turn) {
        const Run statusRun = runTimed(statusArgs, envp.data(), true, errors);
        if (statusRun.exitCode != 0 || statusRun.output != expected) {
            std::printf("quorvane --status exited %d with %zu bytes of output (want %zu), stderr:\n%s\n",
                        statusRun.exitCode, statusRun.output.size(), expected.size(), scratch.read("stderr").c_str());
            return 2;
        }
        const Run catRun = runTimed(catArgs, envp.data(), false, errors);
        if (catRun.exitCode != 0) {
            std::printf("cat exited %d: %s\n", catRun.exitCode, scratch.read("stderr").c_str());
            return 2;
        }
        if (turn == 0)
            continue;
        statusSeconds.push_back(statusRun.seconds);
        catSeconds.push_back(catRun.seconds);
    }

    const double status = bench::medianOf(statusSeconds);
    const double cat = bench::medianOf(catSeconds);
    std::printf("%d tunnels, each reported not connected\n", kTunnels);
    std::printf("median of %d runs: quorvane --status %.2f ms, cat of the definitions %.2f ms\n", kRuns, status * 1e3,
                cat * 1e3);
    std::printf("status/cat = %.2f (goal <= %.0f)\n", status / cat, kGoal);

    // Folders inside a tunnel folder are no tunnels: the rows stay the same, and the listing does not walk them.
    const std::string deepTunnel = portable.file("tunnells/tunnel0000");
    if (!makeChain(deepTunnel, kNested)) {
        std::printf("could not make %d nested folders\n", kNested);
        removeChain(deepTunnel, kNested);
        return 2;
    }
    for (int i = 0; i < kNested; ++i)
        mkdir(portable.file("tunnells/tunnel0001/x" + std::to_string(i)).c_str(), 0700);
    std::vector<double> nestedSeconds;
    for (int turn = 0; turn <= kNestedRuns; ++turn) {
        const Run run = runTimed(statusArgs, envp.data(), true, errors);
        if (run.exitCode != 0 || run.output != expected) {
            std::printf("with nested folders, quorvane --status exited %d with %zu bytes of output (want %zu)\n",
                        run.exitCode, run.output.size(), expected.size());
            removeChain(deepTunnel, kNested);
            return 2;
        }
        if (turn > 0)
            nestedSeconds.push_back(run.seconds);
    }
    removeChain(deepTunnel, kNested);
    const double nested = bench::medianOf(nestedSeconds);
    std::printf("with %d folders nested in one tunnel folder and %d side by side in another: the same %d rows, "
                "median of %d runs %.2f ms (goal < %.0f s)\n",
                kNested, kNested, kTunnels, kNestedRuns, nested * 1e3, kNestedGoalSeconds);
    return status / cat <= kGoal && nested < kNestedGoalSeconds ? 0 : 1;
}
