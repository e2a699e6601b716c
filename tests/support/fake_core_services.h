// Qt-free fakes of the program's services: a scripted process table, listening sockets, a recording
// launcher and a clock the test moves.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "process/client_launcher.h"
#include "process/command_line.h"
#include "process/process_services.h"
#include "store/file_system.h"
#include "tunnel/probe_sockets.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_monitor.h"

namespace quorvane::test {

class FakeProcessServices : public ProcessServices {
public:
    bool ListProcesses(ProcessList& target, bool /*fullPath*/) override {
        ++listings;
        if (!available)
            return false;
        target.beginUpdate();
        for (const ProcessEntry& entry : running) {
            const auto own = executables.find(entry.id);
            if (own != executables.end() && target.wantsOwnExecutables())
                target.appendOwnExecutable(entry.id, own->second);
            target.append(entry.name, entry.id);
        }
        target.endUpdate();
        return true;
    }

    bool StillRuns(const OwnProcess& process) override {
        const auto own = executables.find(process.id);
        return available && own != executables.end() && own->second == process.executable;
    }

    StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) override {
        stops.emplace_back(id, timeoutMs);
        const auto found =
            std::find_if(running.begin(), running.end(), [id](const auto& entry) { return entry.id == id; });
        if (found == running.end())
            return StopOutcome::Failed;
        running.erase(found);
        return StopOutcome::Killed;
    }

    StopOutcome StopOwnProcess(ProcessId id, const std::string& executable, std::int32_t timeoutMs) override {
        const auto own = executables.find(id);
        if (own == executables.end() || own->second != executable || refuseStops)
            return StopOutcome::Failed;
        return StopProcess(id, timeoutMs);
    }

    // A process known by its name alone: another user's, or another program's.
    ProcessId start(const std::string& name) {
        running.push_back({name, nextId});
        return nextId++;
    }

    // A process of this user running the executable at that full path (either separator, for Windows).
    ProcessId startOwn(const std::string& executable) {
        executables[nextId] = executable;
        return start(executable.substr(executable.find_last_of("/\\") + 1));
    }

    // The process ends on its own.
    void end(ProcessId id) {
        running.erase(
            std::remove_if(running.begin(), running.end(), [id](const auto& entry) { return entry.id == id; }),
            running.end());
        executables.erase(id);
    }

    std::vector<ProcessEntry> running;
    std::map<ProcessId, std::string> executables;
    std::vector<std::pair<ProcessId, std::int32_t>> stops;
    bool available = true;
    bool refuseStops = false; // a process that cannot be stopped (another user's, say)
    int listings = 0;
    ProcessId nextId = 1000;
};

// Listening sockets: each running client's forward, and ports other programs hold.
class FakeSocketTable : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets;
        // A client that is no longer a candidate has ended, and its socket with it.
        for (const auto& [id, port] : forwards) {
            if (std::find(candidates.begin(), candidates.end(), id) != candidates.end())
                sockets.push_back({port, id});
        }
        for (const int port : takenByOthers)
            sockets.push_back({port, NoProcessId});
        return sockets;
    }

    std::vector<int> connectionsOn(const std::vector<int>& ports) override {
        ++connectionLooks;
        if (!countsKnown)
            return {};
        std::vector<int> counts;
        for (const int port : ports)
            counts.push_back(connections.count(port) ? connections.at(port) : 0);
        return counts;
    }

    std::map<ProcessId, int> forwards;
    std::vector<int> takenByOthers;
    std::map<int, int> connections; // established connections by local port
    bool countsKnown = true;
    int connectionLooks = 0;
};

// Records every start; "starts" the client in the fake process table when one is given, with its
// forward listening when a socket table is given.
class RecordingLauncher : public ClientLauncher {
public:
    explicit RecordingLauncher(FakeProcessServices* processes = nullptr, FakeSocketTable* sockets = nullptr)
        : m_processes(processes), m_sockets(sockets) {}

    std::optional<std::string> launch(const LaunchRequest& request) override {
        requests.push_back(request);
        if (failure)
            return failure;
        if (m_processes) {
            m_lastStarted = m_processes->startOwn(fs::canonicalPath(request.executable));
            const auto forward = request.parameters.find(" -L ");
            if (m_sockets && forward != std::string::npos)
                m_sockets->forwards[m_lastStarted] =
                    std::atoi(request.parameters.c_str() + forward + 4); // "-L PORT:host:port"
        }
        return std::nullopt;
    }

    ProcessId lastStarted() const override { return m_lastStarted; }

    // Only a name for the parameters: nothing reads it.
    std::string secretFile() override { return "/dev/fd/3"; }
    std::string hopSecretFile() override { return "/dev/fd/4"; }

    std::vector<LaunchRequest> requests;
    std::optional<std::string> failure;

private:
    FakeProcessServices* m_processes;
    FakeSocketTable* m_sockets;
    ProcessId m_lastStarted = NoProcessId;
};

// Time that passes only when the test says so.
class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return start + elapsed; }
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::milliseconds elapsed{0};
};

// Checks that go where the test says: every connection opened gets `answer`, which a test may change per handle.
class FakeProbeSockets : public ProbeSockets {
public:
    Handle open(const std::string& address, int port) override {
        opened.emplace_back(address, port);
        states[next] = answer;
        return next++;
    }
    State look(Handle handle, std::string* firstBytes) override {
        const auto found = states.find(handle);
        if (found == states.end())
            return State::Refused;
        if (firstBytes && found->second == State::Answered)
            *firstBytes = banner;
        return found->second;
    }
    void close(Handle handle) override { states.erase(handle); }
    int freeLoopbackPort() override { return freePort; }

    State answer = State::Answered;
    std::string banner = "SSH-2.0-test";
    int freePort = 50999;
    std::vector<std::pair<std::string, int>> opened;
    std::map<Handle, State> states;
    Handle next = 1;
};

} // namespace quorvane::test
