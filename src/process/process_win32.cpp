// Process services on Windows: ToolHelp snapshot, WM_CLOSE to top-level windows, forced end.
#include "process/process_services.h"

#include <windows.h>

#include <cstring>
#include <tlhelp32.h>

namespace quorvane {

namespace {

// The snapshot reports no name for the idle process.
constexpr const char* kSystemIdleProcess = "System Idle Process";

std::string fileNamePart(const std::string& path) {
    const auto cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

BOOL CALLBACK postCloseToProcess(HWND window, LPARAM param) {
    const DWORD target = *reinterpret_cast<const DWORD*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == target)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

class Win32ProcessServices : public ProcessServices {
public:
    bool ListProcesses(ProcessList& target, bool fullPath) override {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return false;
        struct Finish {
            HANDLE snapshot;
            ProcessList& list;
            ~Finish() {
                CloseHandle(snapshot);
                list.endUpdate();
            }
        };
        target.beginUpdate();
        Finish finish{snapshot, target};

        PROCESSENTRY32 entry;
        std::memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            std::string name;
            if (entry.th32ProcessID == 0) {
                name = kSystemIdleProcess;
            } else {
                name.assign(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
                if (!fullPath)
                    name = fileNamePart(name);
            }
            target.append(name, entry.th32ProcessID);
        }
        return true;
    }

    StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) override {
        if (id == GetCurrentProcessId())
            return StopOutcome::Failed;
        const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        if (!process)
            return StopOutcome::Failed;

        DWORD target = id;
        EnumWindows(postCloseToProcess, reinterpret_cast<LPARAM>(&target));

        StopOutcome outcome = StopOutcome::Failed;
        // A negative timeout becomes INFINITE (0xFFFFFFFF) for -1, as the system reads it.
        if (WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
            outcome = StopOutcome::Closed;
        else if (TerminateProcess(process, 0))
            outcome = StopOutcome::Killed;
        CloseHandle(process);
        return outcome;
    }
};

} // namespace

std::unique_ptr<ProcessServices> createSystemProcessServices() {
    return std::make_unique<Win32ProcessServices>();
}

} // namespace quorvane
