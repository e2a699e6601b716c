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

// How long a stop waits for a forced end to take effect.
inline constexpr std::int32_t kForcedEndWaitMs = 2000;

// Caller-owned target of ListProcesses: entries are appended, never cleared or sorted.
// Additions are bracketed by beginUpdate/endUpdate (endUpdate runs even when enumeration stops early).
class ProcessList {
public:
    virtual ~ProcessList() = default;
    virtual void beginUpdate() {}
    virtual void endUpdate() {}
    virtual void append(const std::string& name, ProcessId id) = 0;

    // When true, every process of the calling user whose executable can be read is also reported
    // to appendOwnExecutable, with the executable's full path, before its append.
    virtual bool wantsOwnExecutables() const { return false; }
    virtual void appendOwnExecutable(ProcessId /*id*/, const std::string& /*executable*/) {}
};

struct ProcessEntry {
    std::string name;
    ProcessId id = 0;
};

// A process of the calling user and the full path of its executable file (as the system reports it,
// links resolved; a deleted file keeps its former path).
struct OwnProcess {
    ProcessId id = 0;
    std::string executable;
    bool operator==(const OwnProcess&) const = default;
};

class VectorProcessList : public ProcessList {
public:
    void append(const std::string& name, ProcessId id) override { entries.push_back({name, id}); }
    std::vector<ProcessEntry> entries;
};

// Every process by name, and this user's with their executables: what tells a tunnel's own client.
class ProcessSnapshot : public VectorProcessList {
public:
    bool wantsOwnExecutables() const override { return true; }
    void appendOwnExecutable(ProcessId id, const std::string& executable) override { own.push_back({id, executable}); }
    std::vector<OwnProcess> own;
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

    // Close request, wait at most timeoutMs for the end, then forced end, awaited up to kForcedEndWaitMs so
    // that a listing right after no longer shows the process. Never stops the calling process; NoProcessId, 0
    // and processes that cannot be opened give Failed.
    virtual StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) = 0;

    // This user's processes with their executables, in enumeration order, forked copies left out (see
    // DropForkedCopies). False when the enumeration could not be performed.
    bool ListOwnProcesses(std::vector<OwnProcess>& processes);

    // The process that started id, or NoProcessId when that cannot be told.
    virtual ProcessId ParentOf(ProcessId id);

    // Leaves out each process whose parent runs the same executable: a program's brief copy of itself (a
    // fork on its way to run another program, as the client does to gather randomness) is not a second
    // instance of it. Parents are asked only where two processes share an executable.
    void DropForkedCopies(std::vector<OwnProcess>& processes);

    // Whether the process still runs the executable a listing reported for it, for this user.
    virtual bool StillRuns(const OwnProcess& process);

    // Leaves out of processes those that no longer run (as StillRuns tells). Asked again and again of the same
    // few processes, a platform may hold each one and answer for all at once.
    virtual void KeepRunning(std::vector<OwnProcess>& processes);

    // StopProcess, but only while id is still a process of the calling user running executable
    // (as ListOwnProcesses reported it); any other process gives Failed and is left alone.
    virtual StopOutcome StopOwnProcess(ProcessId id, const std::string& executable, std::int32_t timeoutMs) = 0;
};

// The implementation for the platform being built (process_posix.cpp or process_win32.cpp).
std::unique_ptr<ProcessServices> createSystemProcessServices();

// Letter case folding used to compare executable names: A-Z to a-z, nothing else changes.
std::string foldAsciiCase(std::string text);

} // namespace quorvane
