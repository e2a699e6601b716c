// Windows: RASAPI32.DLL loaded by name on first use and never linked, so systems without dial-up still run.
#include "ras/ras_api.h"

#include <windows.h>

namespace quorvane {

namespace {

using RasEnumEntriesFn = DWORD(WINAPI*)(LPCSTR reserved, LPCSTR phonebook, LPVOID entries, LPDWORD bytes,
                                        LPDWORD count);
using RasEnumConnectionsFn = DWORD(WINAPI*)(LPVOID connections, LPDWORD bytes, LPDWORD count);
using RasGetConnectStatusFn = DWORD(WINAPI*)(HANDLE connection, LPVOID status);
using RasGetErrorStringFn = DWORD(WINAPI*)(UINT code, LPSTR text, DWORD size);

template <typename Fn> Fn entryPoint(HMODULE library, const char* name) {
    // Through the generic function type: the one cast between unrelated signatures that raises no warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

class WindowsRasApi : public RasApi {
public:
    WindowsRasApi() = default;
    WindowsRasApi(const WindowsRasApi&) = delete;
    WindowsRasApi& operator=(const WindowsRasApi&) = delete;
    ~WindowsRasApi() override {
        if (m_library)
            ::FreeLibrary(m_library);
    }

    OsVersion osVersion() const override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        // A build for this compiler's targets only runs on NT 6.1 or later; take that if the system won't say.
        if (!::GetVersionExA(&info))
            return {true, 6, 1};
        return {info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion, info.dwMinorVersion};
    }

    bool load() override {
        if (m_tried)
            return m_dialFound;
        m_tried = true;
        m_library = ::LoadLibraryA("RASAPI32.DLL");
        if (!m_library)
            return false;
        m_dialFound = ::GetProcAddress(m_library, "RasDialA") != nullptr;
        m_enumEntries = entryPoint<RasEnumEntriesFn>(m_library, "RasEnumEntriesA");
        m_enumConnections = entryPoint<RasEnumConnectionsFn>(m_library, "RasEnumConnectionsA");
        m_getConnectStatus = entryPoint<RasGetConnectStatusFn>(m_library, "RasGetConnectStatusA");
        m_getErrorString = entryPoint<RasGetErrorStringFn>(m_library, "RasGetErrorStringA");
        return m_dialFound;
    }

    std::uint32_t enumEntries(const char* phonebook, std::uint8_t* buffer, std::uint32_t& bytes,
                              std::uint32_t& count) override {
        if (!m_enumEntries)
            return ERROR_PROC_NOT_FOUND;
        DWORD size = bytes, entries = 0;
        const DWORD result = m_enumEntries(nullptr, phonebook, buffer, &size, &entries);
        bytes = size;
        count = entries;
        return result;
    }

    std::uint32_t enumConnections(std::uint8_t* buffer, std::uint32_t& bytes, std::uint32_t& count) override {
        if (!m_enumConnections)
            return ERROR_PROC_NOT_FOUND;
        DWORD size = bytes, connections = 0;
        const DWORD result = m_enumConnections(buffer, &size, &connections);
        bytes = size;
        count = connections;
        return result;
    }

    std::uint32_t getConnectStatus(RasHandle connection, std::uint8_t* status) override {
        if (!m_getConnectStatus)
            return ERROR_PROC_NOT_FOUND;
        return m_getConnectStatus(reinterpret_cast<HANDLE>(connection), status);
    }

    std::uint32_t getErrorString(std::uint32_t code, char* text, std::uint32_t size) override {
        if (!m_getErrorString)
            return ERROR_PROC_NOT_FOUND;
        return m_getErrorString(code, text, size);
    }

    std::string systemMessage(std::uint32_t code) const override {
        char buffer[512];
        DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof buffer, nullptr);
        while (length > 0 && static_cast<unsigned char>(buffer[length - 1]) <= ' ')
            --length;
        return std::string(buffer, length);
    }

private:
    bool m_tried = false;
    bool m_dialFound = false;
    HMODULE m_library = nullptr;
    RasEnumEntriesFn m_enumEntries = nullptr;
    RasEnumConnectionsFn m_enumConnections = nullptr;
    RasGetConnectStatusFn m_getConnectStatus = nullptr;
    RasGetErrorStringFn m_getErrorString = nullptr;
};

} // namespace

RasApi& systemRasApi() {
    static WindowsRasApi api;
    return api;
}

} // namespace quorvane
