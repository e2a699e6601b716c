// Process services: list running processes, find one by executable name, stop one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

using ProcessId = std::uint32_t;
inline constexpr ProcessId NoProcessId = 0xFFFFFFFF;

enum class StopOutcome { Failed = 0, Closed = 1, Killed = 2 };

// Caller-owned target of ListProcesses: entries are appended, never cleared or sorted.
// Additions are bracketed by beginUpdate/endUpdate (endUpdate runs even when enumeration stops early).
class ProcessList {
public:
    virtual ~ProcessList() = default;
    virtual void beginUpdate() {}
    virtual void endUpdate() {}
    virtual void append(const std::string& name, ProcessId id) = 0;
};

struct ProcessEntry {
    std::string name;
    ProcessId id = 0;
};

class VectorProcessList : public ProcessList {
public:
    void append(const std::string& name, ProcessId id) override { entries.push_back({name, id}); }
    std::vector<ProcessEntry> entries;
};

class ProcessServices {
public:
    virtual ~ProcessServices() = default;

    // Appends one entry per running process in the system's enumeration order: the bare executable
    // file name (fullPath false) or its full path (true), with the process id. False when the
    // enumeration could not be performed; the list is then unchanged.
    virtual bool ListProcesses(ProcessList& target, bool fullPath) = 0;

    // Id of the first process whose name equals name without regard to letter case, from a fresh
    // listing (full paths when name holds '\\', '/' or ':'), or NoProcessId.
    virtual ProcessId FindProcessIdByName(const std::string& name);

    // Close request, wait at most timeoutMs for the end, then forced end. Never stops the calling
    // process; NoProcessId, 0 and processes that cannot be opened give Failed.
    virtual StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) = 0;
};

// The implementation for the platform being built (process_posix.cpp or process_win32.cpp).
std::unique_ptr<ProcessServices> createSystemProcessServices();

// Letter case folding used to compare executable names: A-Z to a-z, nothing else changes.
std::string foldAsciiCase(std::string text);

} // namespace quorvane
