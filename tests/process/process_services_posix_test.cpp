// Process listing, lookup by name and stopping, against real processes of this machine.
#include "process/process_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane {
namespace {

using test::NamedProcess;
using test::TempDir;

class CountingList : public VectorProcessList {
public:
    void beginUpdate() override { ++begins; }
    void endUpdate() override { ++ends; }
    int begins = 0;
    int ends = 0;
};

std::size_t countEntries(const std::vector<ProcessEntry>& entries, const std::string& name, ProcessId id) {
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [&](const ProcessEntry& entry) {
        return entry.name == name && entry.id == id;
    }));
}

bool listed(const std::vector<ProcessEntry>& entries, ProcessId id) {
    return std::any_of(entries.begin(), entries.end(), [&](const ProcessEntry& entry) { return entry.id == id; });
}

char processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

class ProcessServicesTest : public ::testing::Test {
protected:
    std::vector<ProcessEntry> list(bool fullPath = false) {
        VectorProcessList target;
        EXPECT_TRUE(services->ListProcesses(target, fullPath));
        return target.entries;
    }

    TempDir dir;
    std::unique_ptr<ProcessServices> services = createSystemProcessServices();
};

TEST_F(ProcessServicesTest, ListingAppendsBareOrFullNamesWithIdsInsideOneUpdate) {
    NamedProcess office(dir.path(), "OfficeSSH.exe");
    const auto id = static_cast<ProcessId>(office.pid());

    CountingList target;
    ASSERT_TRUE(services->ListProcesses(target, false));
    EXPECT_EQ(countEntries(target.entries, "OfficeSSH.exe", id), 1u);
    EXPECT_EQ(countEntries(target.entries, "process_tests", static_cast<ProcessId>(getpid())), 1u);

    // Callers clear first; the listing itself never does.
    ASSERT_TRUE(services->ListProcesses(target, false));
    EXPECT_EQ(countEntries(target.entries, "OfficeSSH.exe", id), 2u);
    EXPECT_EQ(target.begins, 2);
    EXPECT_EQ(target.ends, 2);

    EXPECT_EQ(countEntries(list(true), office.path(), id), 1u);
}

// A listing names kernel threads from the one before: it must say what a first listing says.
TEST_F(ProcessServicesTest, ALaterListingNamesEveryProcessAsAFirstOne) {
    const auto byId = [](const std::vector<ProcessEntry>& entries) {
        std::map<ProcessId, std::string> names;
        for (const ProcessEntry& entry : entries)
            names[entry.id] = entry.name;
        return names;
    };
    const auto fresh = [&] {
        VectorProcessList first;
        EXPECT_TRUE(createSystemProcessServices()->ListProcesses(first, false));
        return byId(first.entries);
    };
    const auto seeded = byId(list());
    const auto before = fresh();
    const auto later = byId(list());
    const auto after = fresh();
    // Other programs start and end meanwhile, and a kernel worker renames itself as its queue's state changes:
    // judge only processes that kept their name through every listing but the one judged.
    const auto kept = [](const std::map<ProcessId, std::string>& names, ProcessId id, const std::string& name) {
        const auto found = names.find(id);
        return found != names.end() && found->second == name;
    };
    for (const auto& [id, name] : before) {
        const auto found = later.find(id);
        if (kept(seeded, id, name) && kept(after, id, name) && found != later.end()) {
            EXPECT_EQ(found->second, name) << id;
        }
    }
    if (std::ifstream("/proc/2/stat")) { // a machine's own kernel threads, not a container's
        EXPECT_EQ(later.count(2) ? later.at(2) : "", "kthreadd");
    }
}

TEST_F(ProcessServicesTest, NamesComeFromTheExecutableNotTheShortenedCommandName) {
    // The kernel's comm would say "LongTunnelNameS", which no tunnel would match.
    NamedProcess longName(dir.path(), "LongTunnelNameSSH.exe");
    const auto id = static_cast<ProcessId>(longName.pid());
    EXPECT_EQ(countEntries(list(), "LongTunnelNameSSH.exe", id), 1u);

    // A client whose file was removed while it runs (a tunnel being deleted) keeps its plain name.
    std::filesystem::remove(longName.path());
    EXPECT_EQ(countEntries(list(), "LongTunnelNameSSH.exe", id), 1u);
    EXPECT_EQ(countEntries(list(true), longName.path(), id), 1u);
}

TEST_F(ProcessServicesTest, ZombiesAreNotRunning) {
    NamedProcess zombie(dir.path(), "ZombieSSH.exe", 0);
    // Not reaped on purpose: it stays a zombie until the destructor.
    for (int i = 0; i < 400 && processState(zombie.pid()) != 'Z'; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(processState(zombie.pid()), 'Z');

    EXPECT_FALSE(listed(list(), static_cast<ProcessId>(zombie.pid())));
    EXPECT_FALSE(listed(list(true), static_cast<ProcessId>(zombie.pid())));
    EXPECT_EQ(services->FindProcessIdByName("ZombieSSH.exe"), NoProcessId);
    EXPECT_FALSE(services->StillRuns({static_cast<ProcessId>(zombie.pid()), zombie.path()}));
}

TEST_F(ProcessServicesTest, LookupIgnoresCaseTakesTheFirstInEnumerationOrderAndComparesPathsWhole) {
    // Names of their own: a stray client of another run must not come first.
    NamedProcess upper(dir.path(), "LOOKUPOFFICESSH.EXE");
    dir.makeFolder("copy");
    NamedProcess office(dir.file("copy"), "LookupOfficeSSH.exe");
    NamedProcess other(dir.path(), "LookupHomeSSH.exe");

    const auto entries = list();
    const auto first = std::find_if(entries.begin(), entries.end(), [&](const ProcessEntry& entry) {
        return entry.id == static_cast<ProcessId>(upper.pid()) || entry.id == static_cast<ProcessId>(office.pid());
    });
    ASSERT_NE(first, entries.end());
    const ProcessId firstId = first->id;

    EXPECT_EQ(services->FindProcessIdByName("lookupofficessh.EXE"), firstId);
    EXPECT_EQ(services->FindProcessIdByName("LookupOfficeSSH.exe"), firstId);
    EXPECT_EQ(services->FindProcessIdByName("LOOKUPHOMEssh.exe"), static_cast<ProcessId>(other.pid()));
    EXPECT_EQ(services->FindProcessIdByName("LookupOfficeSSH"), NoProcessId);
    EXPECT_EQ(services->FindProcessIdByName("NowhereSSH.exe"), NoProcessId);

    // Stopping the first one leaves the other of the same name running.
    EXPECT_EQ(services->StopProcess(firstId, 2000), StopOutcome::Closed);
    NamedProcess& stopped = firstId == static_cast<ProcessId>(upper.pid()) ? upper : office;
    NamedProcess& kept = firstId == static_cast<ProcessId>(upper.pid()) ? office : upper;
    EXPECT_TRUE(stopped.waitForEnd(2000));
    EXPECT_TRUE(kept.running());
    EXPECT_TRUE(other.running());
    EXPECT_EQ(services->FindProcessIdByName("LookupOfficeSSH.exe"), static_cast<ProcessId>(kept.pid()));

    // With a folder the whole path is compared.
    EXPECT_EQ(services->FindProcessIdByName(other.path()), static_cast<ProcessId>(other.pid()));
    EXPECT_EQ(services->FindProcessIdByName(dir.file("elsewhere/LookupHomeSSH.exe")), NoProcessId);
}

TEST_F(ProcessServicesTest, StopClosesOnRequestEndsByForceAndRefusesItselfOrTheGone) {
    NamedProcess polite(dir.path(), "PoliteSSH.exe");
    EXPECT_EQ(services->StopProcess(static_cast<ProcessId>(polite.pid()), 2000), StopOutcome::Closed);
    EXPECT_TRUE(polite.waitForEnd(2000));

    // A child that ignores the close request; the pipe says when it is ready to ignore it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t stubborn = fork();
    ASSERT_GE(stubborn, 0);
    if (stubborn == 0) {
        signal(SIGTERM, SIG_IGN);
        const char byte = 1;
        if (write(ready[1], &byte, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(services->StopProcess(static_cast<ProcessId>(stubborn), 50), StopOutcome::Killed);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
    int status = 0; // already ended when the stop returns: a listing right after must not show it
    ASSERT_EQ(waitpid(stubborn, &status, WNOHANG), stubborn);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // Never itself, nor what cannot be opened.
    EXPECT_EQ(services->StopProcess(static_cast<ProcessId>(getpid()), 5), StopOutcome::Failed);
    EXPECT_EQ(services->StopProcess(NoProcessId, 5), StopOutcome::Failed);
    EXPECT_EQ(services->StopProcess(0, 5), StopOutcome::Failed);

    // The id of a process that has ended and been reaped.
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    EXPECT_EQ(services->StopProcess(static_cast<ProcessId>(gone), 5), StopOutcome::Failed);
}

TEST_F(ProcessServicesTest, OwnProcessesAreKnownByTheirExecutableAndOnlyThatOneIsStopped) {
    NamedProcess client(dir.path(), "OwnSSH.exe");
    const std::string executable = std::filesystem::canonical(client.path()).string();
    std::vector<OwnProcess> own;
    ASSERT_TRUE(services->ListOwnProcesses(own));
    EXPECT_EQ(std::count(own.begin(), own.end(), OwnProcess{static_cast<ProcessId>(client.pid()), executable}), 1);

    // The same id with another executable is someone else's process by now: left alone.
    const auto id = static_cast<ProcessId>(client.pid());
    EXPECT_EQ(services->StopOwnProcess(id, executable + ".other", 5), StopOutcome::Failed);
    EXPECT_EQ(services->StopOwnProcess(id, "", 5), StopOutcome::Failed);
    EXPECT_TRUE(client.running());
    EXPECT_TRUE(services->StillRuns({id, executable}));
    EXPECT_FALSE(services->StillRuns({id, executable + ".other"}));
    EXPECT_EQ(services->StopOwnProcess(id, executable, 2000), StopOutcome::Closed);
    EXPECT_TRUE(client.waitForEnd(2000));
    EXPECT_FALSE(services->StillRuns({id, executable}));
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

TEST_F(ProcessServicesTest, KeepRunningDropsWhatEndedOrRunsAnotherExecutableAndHoldsOnlyWhatItIsAsked) {
    NamedProcess first(dir.path(), "FirstSSH.exe");
    NamedProcess second(dir.path(), "SecondSSH.exe");
    const OwnProcess one{static_cast<ProcessId>(first.pid()), std::filesystem::canonical(first.path()).string()};
    const OwnProcess two{static_cast<ProcessId>(second.pid()), std::filesystem::canonical(second.path()).string()};
    const std::size_t before = openDescriptors();

    std::vector<OwnProcess> asked{one, two, {one.id, one.executable + ".other"}, {0, one.executable}};
    services->KeepRunning(asked);
    EXPECT_EQ(asked, (std::vector<OwnProcess>{one, two}));
    // Asked again while nothing changed: the same answer, from what is held.
    services->KeepRunning(asked);
    EXPECT_EQ(asked, (std::vector<OwnProcess>{one, two}));

    // No descriptor left for a pidfd: each is asked the long way, not taken for ended.
    const pid_t full = fork();
    ASSERT_GE(full, 0);
    if (full == 0) {
        std::unique_ptr<ProcessServices> fresh = createSystemProcessServices();
        const rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        while (dup(0) >= 0) {
        }
        std::vector<OwnProcess> mine{one};
        fresh->KeepRunning(mine);
        _exit(mine.size() == 1 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(full, &status, 0), full);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a live process dropped";

    // Ended and not yet reaped (a zombie), as a client is until its end is seen.
    kill(second.pid(), SIGKILL);
    for (int i = 0; i < 400 && processState(second.pid()) != 'Z'; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    services->KeepRunning(asked);
    EXPECT_EQ(asked, (std::vector<OwnProcess>{one}));
    EXPECT_EQ(openDescriptors(), before + 1);

    std::vector<OwnProcess> none;
    services->KeepRunning(none);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(ProcessServicesTest, AForkedCopyOfAProcessIsNotASecondOneOfItsExecutable) {
    // As the client forks to run another program: for a moment the child still runs the client's executable.
    const pid_t copy = fork();
    ASSERT_GE(copy, 0);
    if (copy == 0) {
        for (;;)
            pause();
    }
    std::vector<OwnProcess> own;
    EXPECT_TRUE(services->ListOwnProcesses(own));
    const auto listed = [&own](pid_t pid) {
        return std::any_of(own.begin(), own.end(), [pid](const OwnProcess& p) { return p.id == ProcessId(pid); });
    };
    EXPECT_TRUE(listed(getpid()));
    EXPECT_FALSE(listed(copy));
    EXPECT_EQ(services->ParentOf(static_cast<ProcessId>(copy)), static_cast<ProcessId>(getpid()));
    kill(copy, SIGKILL);
    waitpid(copy, nullptr, 0);
}

} // namespace
} // namespace quorvane
