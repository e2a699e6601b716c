// Kill test: a save killed at any moment leaves the old or the new definition, and no temporary file after clean-up.
#include "definition_saver.h"

#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quorvane;
using quorvane::test::kSaverDefinitions;
using quorvane::test::TempDir;

namespace {

std::size_t entryCount(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

} // namespace

TEST(DefinitionSaveKilled, LeavesTheOldOrTheNewDefinitionNeverAMix) {
    TempDir dir;
    const std::string wd = dir.withSeparator();
    dir.makeFolder("tunnells/Office");
    const std::string file = "tunnells/Office/tunnell.tun";
    std::string texts[2];
    const auto started = std::chrono::steady_clock::now();
    for (int i : {0, 1}) {
        SaveDefinition(wd, "Office", kSaverDefinitions[i]);
        texts[i] = dir.read(file);
    }
    // Kill within a few saves' time of the start, however fast this machine saves.
    const auto saveTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started) / 2;

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delayMicroseconds(0, std::min<long>(4 * saveTime.count() + 200, 20000));
    int old = 0;
    int changed = 0;
    int temporaries = 0;
    std::string before = dir.read(file);
    char* argv[] = {const_cast<char*>(QUORVANE_DEFINITION_SAVER), const_cast<char*>(wd.c_str()),
                    const_cast<char*>("Office"), nullptr};
    for (int round = 0; round < 200; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ready[1], 1);
        pid_t child = -1;
        const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv, environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        char byte = 0;
        const bool running = spawned == 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        ASSERT_TRUE(running) << "the saver did not start";
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself (seed " << seed << ")";

        const std::string after = dir.read(file);
        ASSERT_TRUE(after == texts[0] || after == texts[1]) << "round " << round << " seed " << seed << ":\n" << after;
        ++(after == before ? old : changed);
        before = after;
        temporaries += static_cast<int>(entryCount(dir.file("tunnells/Office"))) - 1;
        removeLeftoverFiles(wd, "Office");
        ASSERT_EQ(entryCount(dir.file("tunnells/Office")), 1u) << "round " << round;
    }
    std::printf("kill test: 200 kills, definition old %d, new %d, temporary files seen before clean-up %d\n", old,
                changed, temporaries);
    EXPECT_GT(changed, 0) << "no kill fell after a save";
}
