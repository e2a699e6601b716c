// Starting a client on Windows: through the shell's "open" verb, or directly when a hidden client's output goes to a
// file; a secret reaches it, in the ANSI code page, through a file in the user's temporary folder that only this user
// may open, removed once the client has ended or had time to read it.
#include "process/client_launcher.h"

#include <windows.h>

#include "process/command_line.h"
#include "store/text_codec.h"
#include "store/wide_text_win32.h"

#include <atomic>
#include <bcrypt.h>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <sddl.h>
#include <shellapi.h>
#include <vector>

namespace quorvane {

namespace {

// How long a client may take to read its secret before the file goes anyway.
constexpr DWORD kSecretLifetimeMs = 10000;

// The system's text for an error code, without the trailing line break and full stop.
std::string systemMessage(DWORD code) {
    wchar_t buffer[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                  sizeof buffer / sizeof buffer[0], nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L'.' ||
                          buffer[length - 1] == L' '))
        --length;
    if (length == 0)
        return "System error " + std::to_string(code);
    return toUtf8(buffer, length);
}

DWORD lastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// A name nobody can guess in the user's temporary folder; the random part only keeps others from taking the name
// first, as the file is created anew (never opened when it exists).
std::wstring freshSecretPath() {
    static std::atomic<unsigned> counter{0};
    std::uint64_t random = 0;
    BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    wchar_t name[80];
    swprintf(name, sizeof name / sizeof name[0], L"quorvane-%lu-%u-%016llx.tmp", GetCurrentProcessId(), ++counter,
             static_cast<unsigned long long>(random));
    return std::wstring(folder, length <= MAX_PATH ? length : 0) + name;
}

// Creates the file for this user alone (a protected DACL with one entry) holding bytes. The error code, or
// ERROR_SUCCESS; a file that was created is removed again on failure, one that existed is never touched.
DWORD writeSecretFile(const std::wstring& path, const std::string& bytes) {
    const std::wstring user = currentUserSid();
    if (user.empty())
        return lastErrorOr(ERROR_ACCESS_DENIED);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW((L"D:P(A;;FA;;;" + user + L")").c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return lastErrorOr(ERROR_INVALID_SECURITY_DESCR);
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    // Temporary: kept in the cache rather than written out where that is possible.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    const DWORD openError = file == INVALID_HANDLE_VALUE ? lastErrorOr(ERROR_OPEN_FAILED) : ERROR_SUCCESS;
    LocalFree(descriptor);
    if (openError != ERROR_SUCCESS)
        return openError;
    DWORD error = ERROR_SUCCESS;
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
        error = lastErrorOr(ERROR_WRITE_FAULT);
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = lastErrorOr(ERROR_WRITE_FAULT);
    if (error != ERROR_SUCCESS)
        DeleteFileW(path.c_str());
    return error;
}

struct PendingRemoval {
    std::wstring path;
    HANDLE waited;
};

// Runs once, on a pool thread, when the client has ended or the lifetime is over; it owns its context alone.
void CALLBACK removeSecretFile(PVOID context, BOOLEAN /*timedOut*/) {
    const std::unique_ptr<PendingRemoval> removal(static_cast<PendingRemoval*>(context));
    DeleteFileW(removal->path.c_str());
    CloseHandle(removal->waited);
}

// Takes over process (which may be null when the shell started no new process) and removes path once it has ended
// or after kSecretLifetimeMs. The wait's registration is left in place on purpose: unregistering it before it fires
// would cancel the removal, and the callback may run before the registration's handle is even returned; it costs a
// few bytes per client started.
void removeLater(const std::wstring& path, HANDLE process) {
    // Without a process an event nobody sets stands in, so the lifetime still ends it.
    const HANDLE waited = process ? process : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto removal = std::make_unique<PendingRemoval>(PendingRemoval{path, waited});
    HANDLE wait = nullptr;
    if (waited && RegisterWaitForSingleObject(&wait, waited, removeSecretFile, removal.get(), kSecretLifetimeMs,
                                              WT_EXECUTEONLYONCE)) {
        removal.release(); // the callback's now
        return;
    }
    // Nothing can remove it later: the secret goes now, even if the client may miss it.
    DeleteFileW(path.c_str());
    if (waited)
        CloseHandle(waited);
}

// Closes the handle it holds when it goes.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() {
        if (valid())
            CloseHandle(m_handle);
    }
    bool valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The shell's way, which cannot redirect output. process gets the client's handle, or null when the shell started no
// new process.
DWORD startThroughShell(const LaunchRequest& request, HANDLE& process) {
    const std::wstring file = toWide(request.executable);
    const std::wstring parameters = toWide(request.parameters);
    const std::wstring directory = toWide(request.directory);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = request.visible ? SW_SHOW : SW_HIDE;
    if (!ShellExecuteExW(&info))
        return lastErrorOr(ERROR_FILE_NOT_FOUND);
    process = info.hProcess;
    return ERROR_SUCCESS;
}

// A hidden client with its input from NUL and its output and errors appended to request.outputFile. Only those two
// handles are inherited: nothing else of this program's may keep a file open or a pipe alive in the client.
DWORD startWithOutputFile(const LaunchRequest& request, HANDLE& process) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    // Append access alone puts every write at the current end, as the program may trim the file while the client
    // runs; the sharing lets it read, trim and replace the file meanwhile.
    const ScopedHandle output(CreateFileW(toWide(request.outputFile).c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!output.valid())
        return lastErrorOr(ERROR_OPEN_FAILED);
    // A link or device swapped into the log's place is not written through.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(output.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(output.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_INVALID_NAME;
    const ScopedHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input.valid())
        return lastErrorOr(ERROR_OPEN_FAILED);

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<BYTE> buffer(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (size == 0 || !InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return lastErrorOr(ERROR_INVALID_PARAMETER);
    HANDLE inherited[] = {input.get(), output.get()};
    DWORD error = ERROR_SUCCESS;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                  nullptr, nullptr)) {
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        startup.StartupInfo.hStdInput = input.get();
        startup.StartupInfo.hStdOutput = output.get();
        startup.StartupInfo.hStdError = output.get();
        startup.lpAttributeList = attributes;
        const std::wstring file = toWide(request.executable);
        std::wstring commandLine = toWide(quoteWindowsArgument(request.executable) + " " + request.parameters);
        const std::wstring directory = toWide(request.directory);
        PROCESS_INFORMATION started{};
        if (CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                           CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                           directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo, &started)) {
            CloseHandle(started.hThread);
            process = started.hProcess;
        } else {
            error = lastErrorOr(ERROR_FILE_NOT_FOUND);
        }
    } else {
        error = lastErrorOr(ERROR_INVALID_PARAMETER);
    }
    DeleteProcThreadAttributeList(attributes);
    return error;
}

class Win32ClientLauncher : public ClientLauncher {
public:
    std::optional<std::string> launch(const LaunchRequest& request) override {
        m_lastStarted = NoProcessId;
        std::wstring secretPath;
        std::wstring hopSecretPath;
        // Without a secretFile() call first the parameters cannot name these paths: callers ask for them first.
        if (const std::optional<std::string> failure = placeSecret(request.secret, m_nextSecretPath, secretPath))
            return failure;
        if (const std::optional<std::string> failure =
                placeSecret(request.hopSecret, m_nextHopSecretPath, hopSecretPath)) {
            if (!secretPath.empty())
                DeleteFileW(secretPath.c_str());
            return failure;
        }

        HANDLE process = nullptr;
        const DWORD error = !request.visible && !request.outputFile.empty() ? startWithOutputFile(request, process)
                                                                            : startThroughShell(request, process);
        if (error != ERROR_SUCCESS) {
            for (const std::wstring& path : {secretPath, hopSecretPath})
                if (!path.empty())
                    DeleteFileW(path.c_str());
            return systemMessage(error);
        }
        if (process)
            m_lastStarted = GetProcessId(process);
        if (!hopSecretPath.empty()) {
            HANDLE copy = nullptr;
            if (process)
                DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS);
            removeLater(hopSecretPath, copy);
        }
        if (!secretPath.empty())
            removeLater(secretPath, process);
        else if (process)
            CloseHandle(process);
        return std::nullopt;
    }

    ProcessId lastStarted() const override { return m_lastStarted; }

    std::string secretFile() override {
        m_nextSecretPath = freshSecretPath();
        return toUtf8(m_nextSecretPath.data(), m_nextSecretPath.size());
    }

    std::string hopSecretFile() override {
        m_nextHopSecretPath = freshSecretPath();
        return toUtf8(m_nextHopSecretPath.data(), m_nextHopSecretPath.size());
    }

private:
    // The secret written to the path named before (or a fresh one): the error text, or nothing.
    static std::optional<std::string> placeSecret(const std::string& secret, std::wstring& named, std::wstring& path) {
        if (secret.empty())
            return std::nullopt;
        path = named.empty() ? freshSecretPath() : named;
        named.clear();
        // The client reads the file as bytes in the ANSI code page, as it reads its command line.
        if (!fitsAnsi(secret)) {
            path.clear();
            return std::string("The password holds characters the system's code page cannot pass to the client");
        }
        if (const DWORD error = writeSecretFile(path, encodeAnsi(secret)); error != ERROR_SUCCESS) {
            path.clear();
            return systemMessage(error);
        }
        return std::nullopt;
    }

    std::wstring m_nextSecretPath;
    std::wstring m_nextHopSecretPath;
    ProcessId m_lastStarted = NoProcessId;
};

} // namespace

std::unique_ptr<ClientLauncher> createSystemLauncher() {
    return std::make_unique<Win32ClientLauncher>();
}

} // namespace quorvane
