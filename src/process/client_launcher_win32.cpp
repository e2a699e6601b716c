// Starting a client on Windows through the shell's "open" verb; a secret reaches it through a file in the user's
// temporary folder that only this user may open, removed once the client has ended or had time to read it.
#include "process/client_launcher.h"

#include <windows.h>

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

// The calling user's SID as text ("S-1-5-21-..."), or empty.
std::wstring currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::wstring text;
    std::vector<BYTE> buffer(size);
    wchar_t* sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
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

class Win32ClientLauncher : public ClientLauncher {
public:
    std::optional<std::string> launch(const LaunchRequest& request) override {
        m_lastStarted = NoProcessId;
        std::wstring secretPath;
        if (!request.secret.empty()) {
            // Without a secretFile() call first the parameters cannot name this path: callers ask for it first.
            secretPath = m_nextSecretPath.empty() ? freshSecretPath() : m_nextSecretPath;
            m_nextSecretPath.clear();
            if (const DWORD error = writeSecretFile(secretPath, request.secret); error != ERROR_SUCCESS)
                return systemMessage(error);
        }

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
        if (!ShellExecuteExW(&info)) {
            const DWORD error = lastErrorOr(ERROR_FILE_NOT_FOUND);
            if (!secretPath.empty())
                DeleteFileW(secretPath.c_str());
            return systemMessage(error);
        }
        if (info.hProcess)
            m_lastStarted = GetProcessId(info.hProcess);
        if (!secretPath.empty())
            removeLater(secretPath, info.hProcess);
        else if (info.hProcess)
            CloseHandle(info.hProcess);
        return std::nullopt;
    }

    ProcessId lastStarted() const override { return m_lastStarted; }

    std::string secretFile() override {
        m_nextSecretPath = freshSecretPath();
        return toUtf8(m_nextSecretPath.data(), m_nextSecretPath.size());
    }

private:
    std::wstring m_nextSecretPath;
    ProcessId m_lastStarted = NoProcessId;
};

} // namespace

std::unique_ptr<ClientLauncher> createSystemLauncher() {
    return std::make_unique<Win32ClientLauncher>();
}

} // namespace quorvane
