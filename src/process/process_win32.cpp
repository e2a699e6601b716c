// Process services on Windows: ToolHelp snapshot, token user and image path for this user's own processes,
// WM_CLOSE to top-level windows, forced end.
#include "process/process_services.h"

#include <windows.h>

#include "store/wide_text_win32.h"

#include <cwchar>
#include <tlhelp32.h>
#include <vector>

namespace quorvane {

namespace {

// The snapshot reports no name for the idle process.
constexpr const char* kSystemIdleProcess = "System Idle Process";

std::string fileNamePart(const std::string& path) {
    const auto cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
    ~OwnedHandle() {
        if (m_handle)
            CloseHandle(m_handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The user a process runs as, read from its token; unknown (equal to no one) when the token cannot be read.
class ProcessUser {
public:
    explicit ProcessUser(HANDLE process) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(process, TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        m_buffer.resize(size);
        if (size == 0 || !GetTokenInformation(token, TokenUser, m_buffer.data(), size, &size))
            m_buffer.clear();
        CloseHandle(token);
    }

    bool sameAs(const ProcessUser& other) const {
        return !m_buffer.empty() && !other.m_buffer.empty() && EqualSid(sid(), other.sid());
    }

private:
    PSID sid() const { return reinterpret_cast<const TOKEN_USER*>(m_buffer.data())->User.Sid; }

    std::vector<BYTE> m_buffer; // a TOKEN_USER and the SID it points into
};

// A path with its short (8.3) components in their long form; the path itself when the system cannot say.
std::wstring longForm(const std::wstring& path) {
    if (path.find(L'~') == std::wstring::npos)
        return path; // no short component: spare the file system the look-up
    std::wstring buffer(path.size() + MAX_PATH, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return path;
    buffer.resize(length);
    return buffer;
}

// Full path of the process's executable in its Win32 form with long names, as fs::canonicalPath spells a tunnel's
// client copy (the system resolves links when it opens the image), or empty.
std::wstring imagePath(HANDLE process) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) {
            buffer.resize(length);
            return longForm(buffer);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

BOOL CALLBACK postCloseToProcess(HWND window, LPARAM param) {
    const DWORD target = *reinterpret_cast<const DWORD*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == target)
        PostMessageW(window, WM_CLOSE, 0, 0);
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

        const bool wantsOwn = target.wantsOwnExecutables();
        // Read once per listing, and only when wanted (a null handle gives an unknown user).
        const ProcessUser me(wantsOwn ? GetCurrentProcess() : nullptr);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            std::string name;
            if (entry.th32ProcessID == 0) {
                name = kSystemIdleProcess;
            } else {
                name = toUtf8(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
                if (!fullPath)
                    name = fileNamePart(name);
                if (wantsOwn)
                    reportIfOwn(target, entry.th32ProcessID, me);
            }
            target.append(name, entry.th32ProcessID);
        }
        return true;
    }

    StopOutcome StopProcess(ProcessId id, std::int32_t timeoutMs) override { return stop(id, nullptr, timeoutMs); }

    StopOutcome StopOwnProcess(ProcessId id, const std::string& executable, std::int32_t timeoutMs) override {
        return stop(id, &executable, timeoutMs);
    }

private:
    static void reportIfOwn(ProcessList& target, DWORD id, const ProcessUser& me) {
        const OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
        // An ended process stays listed while a handle to it is open (the program's own end watch holds one
        // for each client it started): it runs no more.
        if (!process.get() || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 ||
            !ProcessUser(process.get()).sameAs(me))
            return;
        const std::wstring path = imagePath(process.get());
        if (!path.empty())
            target.appendOwnExecutable(id, toUtf8(path.data(), path.size()));
    }

    // With executable, the process is checked on the very handle that is then stopped, so an id reused by
    // another program meanwhile is never stopped in its place.
    static StopOutcome stop(ProcessId id, const std::string* executable, std::int32_t timeoutMs) {
        if (id == GetCurrentProcessId())
            return StopOutcome::Failed;
        const DWORD access = SYNCHRONIZE | PROCESS_TERMINATE | (executable ? PROCESS_QUERY_LIMITED_INFORMATION : 0);
        const OwnedHandle process(OpenProcess(access, FALSE, id));
        if (!process.get())
            return StopOutcome::Failed;
        if (executable) {
            const std::wstring path = imagePath(process.get());
            if (path.empty() || !sameIgnoringCase(path, toWide(*executable)) ||
                !ProcessUser(process.get()).sameAs(ProcessUser(GetCurrentProcess())))
                return StopOutcome::Failed;
        }

        DWORD target = id;
        EnumWindows(postCloseToProcess, reinterpret_cast<LPARAM>(&target));
        // A negative timeout becomes INFINITE (0xFFFFFFFF) for -1, as the system reads it.
        if (WaitForSingleObject(process.get(), static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
            return StopOutcome::Closed;
        if (!TerminateProcess(process.get(), 0))
            return StopOutcome::Failed;
        // The end is asynchronous: a listing taken right after would still show the process.
        WaitForSingleObject(process.get(), kForcedEndWaitMs);
        return StopOutcome::Killed;
    }
};

} // namespace

std::unique_ptr<ProcessServices> createSystemProcessServices() {
    return std::make_unique<Win32ProcessServices>();
}

} // namespace quorvane
