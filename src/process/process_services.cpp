// Platform-neutral process services: the name lookup shared by every platform, and case folding.
#include "process/process_services.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

std::string foldAsciiCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

namespace {

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Keeps only the first match: later entries are not even compared.
class FirstMatch : public ProcessList {
public:
    explicit FirstMatch(const std::string& name) : m_name(name) {}
    void append(const std::string& name, ProcessId id) override {
        if (!m_matched && equalIgnoringAsciiCase(name, m_name)) {
            m_matched = true;
            found = id;
        }
    }
    ProcessId found = NoProcessId;

private:
    const std::string& m_name;
    bool m_matched = false;
};

} // namespace

bool ProcessServices::ListOwnProcesses(std::vector<OwnProcess>& processes) {
    ProcessSnapshot snapshot;
    const bool listed = ListProcesses(snapshot, true);
    DropForkedCopies(snapshot.own);
    processes.insert(processes.end(), snapshot.own.begin(), snapshot.own.end());
    return listed;
}

ProcessId ProcessServices::ParentOf(ProcessId) {
    return NoProcessId;
}

void ProcessServices::DropForkedCopies(std::vector<OwnProcess>& processes) {
    std::unordered_map<std::string_view, std::vector<ProcessId>> byExecutable;
    for (const OwnProcess& process : processes)
        byExecutable[process.executable].push_back(process.id);
    std::vector<ProcessId> copies;
    for (const auto& [executable, ids] : byExecutable) {
        if (ids.size() < 2)
            continue;
        for (const ProcessId id : ids) {
            const ProcessId parent = ParentOf(id);
            if (parent != NoProcessId && parent != id && std::find(ids.begin(), ids.end(), parent) != ids.end())
                copies.push_back(id);
        }
    }
    std::erase_if(processes, [&copies](const OwnProcess& process) {
        return std::find(copies.begin(), copies.end(), process.id) != copies.end();
    });
}

bool ProcessServices::StillRuns(const OwnProcess& process) {
    std::vector<OwnProcess> processes;
    ListOwnProcesses(processes);
    return std::find(processes.begin(), processes.end(), process) != processes.end();
}

void ProcessServices::KeepRunning(std::vector<OwnProcess>& processes) {
    std::erase_if(processes, [this](const OwnProcess& process) { return !StillRuns(process); });
}

ProcessId ProcessServices::FindProcessIdByName(const std::string& name) {
    // A folder or drive part means the caller wants full paths compared.
    const bool fullPath = name.find_first_of("\\/:") != std::string::npos;
    FirstMatch match(name);
    if (!ListProcesses(match, fullPath))
        return NoProcessId;
    return match.found;
}

} // namespace quorvane
