// Fakes of the program's services for window tests: a scripted process table, a recording launcher,
// a notification area that counts its calls.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/tray_backend.h"
#include "process/client_launcher.h"
#include "process/process_services.h"

namespace quorvane::test {

class FakeProcessServices : public ProcessServices {
public:
    bool ListProcesses(ProcessList& target, bool /*fullPath*/) override {
        ++listings;
        if (!available)
            return false;
        target.beginUpdate();
        for (const ProcessEntry& entry : running)
            target.append(entry.name, entry.id);
        target.endUpdate();
        return true;
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

    ProcessId start(const std::string& name) {
        running.push_back({name, nextId});
        return nextId++;
    }

    std::vector<ProcessEntry> running;
    std::vector<std::pair<ProcessId, std::int32_t>> stops;
    bool available = true;
    int listings = 0;
    ProcessId nextId = 1000;
};

// Records every start; "starts" the client in the fake process table when one is given.
class RecordingLauncher : public ClientLauncher {
public:
    explicit RecordingLauncher(FakeProcessServices* processes = nullptr) : m_processes(processes) {}

    std::optional<std::string> launch(const LaunchRequest& request) override {
        requests.push_back(request);
        if (failure)
            return failure;
        if (m_processes)
            m_processes->start(request.executable.substr(request.executable.find_last_of('/') + 1));
        return std::nullopt;
    }

    std::vector<LaunchRequest> requests;
    std::optional<std::string> failure;

private:
    FakeProcessServices* m_processes;
};

class FakeTrayBackend : public TrayBackend {
public:
    struct Counts {
        int adds = 0, modifies = 0, removes = 0;
        bool shown = false;
        bool refuse = false; // no notification area
        QString tip;
        QPoint cursor;
    };

    explicit FakeTrayBackend(Counts& counts) : m_counts(counts) {}
    bool add(const QIcon&, const QString& tip) override {
        ++m_counts.adds;
        m_counts.shown = !m_counts.refuse;
        m_counts.tip = tip;
        return m_counts.shown;
    }
    void modify(const QIcon&, const QString& tip) override {
        ++m_counts.modifies;
        m_counts.tip = tip;
    }
    void remove() override {
        ++m_counts.removes;
        m_counts.shown = false;
    }
    QPoint cursorPos() const override { return m_counts.cursor; }

private:
    Counts& m_counts;
};

} // namespace quorvane::test
