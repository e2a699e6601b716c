// Windows: RASAPI32.DLL loaded by name on first use and never linked, so systems without dial-up still run.
// The wide entry points are called and their records turned into the ANSI layouts, with UTF-8 text.
#include "ras/ras_api.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <ras.h>
#include <vector>

#include "store/wide_text_win32.h"

namespace quorvane {

namespace {

using namespace raslayout;

// The library's answer to a dwSize it does not know.
constexpr DWORD kRasInvalidSize = 632;

constexpr RasConnLayout kWideConn = rasConnLayout(sizeof(void*), sizeof(wchar_t));
constexpr RasConnStatusLayout kWideStatus = rasConnStatusLayout(sizeof(wchar_t));
constexpr RasEntryNameLayout kWideEntryName = rasEntryNameLayout(sizeof(wchar_t));
// The newest layouts, narrow and wide, are the system's own structures (the status has grown since).
static_assert(kRasConn.sizeByLevel[3] == sizeof(RASCONNA) && kRasConn.luid == offsetof(RASCONNA, luid));
static_assert(kWideConn.sizeByLevel[3] == sizeof(RASCONNW) && kWideConn.luid == offsetof(RASCONNW, luid));
static_assert(kWideConn.szPhonebook == offsetof(RASCONNW, szPhonebook));
static_assert(kWideStatus.szPhoneNumber == offsetof(RASCONNSTATUSW, szPhoneNumber));
static_assert(kRasConnStatus.szPhoneNumber == offsetof(RASCONNSTATUSA, szPhoneNumber));
static_assert(kRasEntryName.sizeByLevel[3] == sizeof(RASENTRYNAMEA));
static_assert(kWideEntryName.sizeByLevel[3] == sizeof(RASENTRYNAMEW));
static_assert(kWideEntryName.szPhonebookPath == offsetof(RASENTRYNAMEW, szPhonebookPath));

using RasEnumEntriesFn = DWORD(WINAPI*)(LPCWSTR reserved, LPCWSTR phonebook, LPVOID entries, LPDWORD bytes,
                                        LPDWORD count);
using RasEnumConnectionsFn = DWORD(WINAPI*)(LPVOID connections, LPDWORD bytes, LPDWORD count);
using RasGetConnectStatusFn = DWORD(WINAPI*)(HANDLE connection, LPVOID status);
using RasGetErrorStringFn = DWORD(WINAPI*)(UINT code, LPWSTR text, DWORD size);

template <typename Fn> Fn entryPoint(HMODULE library, const char* name) {
    // Through the generic function type: the one cast between unrelated signatures that raises no warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

std::uint32_t readU32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void writeU32(std::uint8_t* at, std::uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

// The level whose size the caller wrote into the first record, or -1 for a size of no level.
int levelOfSize(const std::array<std::size_t, 4>& sizes, std::uint32_t size) {
    for (int level = 3; level >= 0; --level) {
        if (sizes[static_cast<std::size_t>(level)] == size)
            return level;
    }
    return -1;
}

// A wide text field copied into a narrow one of `chars` bytes as UTF-8, zero-terminated and cut at a whole character.
void copyText(const std::uint8_t* wide, std::size_t chars, std::uint8_t* narrow) {
    std::vector<wchar_t> text(chars);
    std::memcpy(text.data(), wide, chars * sizeof(wchar_t));
    std::string utf8 = toUtf8(text.data(), wcsnlen(text.data(), chars));
    std::size_t length = std::min(utf8.size(), chars - 1);
    while (length > 0 && length < utf8.size() && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(narrow, utf8.data(), length);
    narrow[length] = 0;
}

// Room for as many wide records as the caller's buffer holds narrow ones, the first with its wide size.
std::vector<std::uint8_t> wideRecords(std::uint32_t bytes, std::size_t narrowSize, std::size_t wideSize) {
    std::vector<std::uint8_t> wide(std::max<std::size_t>(bytes / narrowSize, 1) * wideSize, 0);
    writeU32(wide.data(), static_cast<std::uint32_t>(wideSize));
    return wide;
}

// The wide byte count the library asked for, as the narrow one the caller must offer.
std::uint32_t narrowBytes(DWORD wideBytes, std::size_t narrowSize, std::size_t wideSize) {
    return static_cast<std::uint32_t>((wideBytes + wideSize - 1) / wideSize * narrowSize);
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
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        // A build for this compiler's targets only runs on NT 6.1 or later; take that if the system won't say.
        if (!::GetVersionExW(&info))
            return {true, 6, 1};
        return {info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion, info.dwMinorVersion};
    }

    bool load() override {
        if (m_tried)
            return m_dialFound;
        m_tried = true;
        m_library = ::LoadLibraryW(L"RASAPI32.DLL");
        if (!m_library)
            return false;
        m_dialFound = ::GetProcAddress(m_library, "RasDialW") != nullptr;
        m_enumEntries = entryPoint<RasEnumEntriesFn>(m_library, "RasEnumEntriesW");
        m_enumConnections = entryPoint<RasEnumConnectionsFn>(m_library, "RasEnumConnectionsW");
        m_getConnectStatus = entryPoint<RasGetConnectStatusFn>(m_library, "RasGetConnectStatusW");
        m_getErrorString = entryPoint<RasGetErrorStringFn>(m_library, "RasGetErrorStringW");
        return m_dialFound;
    }

    std::uint32_t enumEntries(const char* phonebook, std::uint8_t* buffer, std::uint32_t& bytes,
                              std::uint32_t& count) override {
        if (!m_enumEntries)
            return ERROR_PROC_NOT_FOUND;
        const int level = levelOfSize(kRasEntryName.sizeByLevel, readU32(buffer));
        if (level < 0)
            return kRasInvalidSize;
        const std::size_t narrowSize = kRasEntryName.sizeByLevel[static_cast<std::size_t>(level)];
        const std::size_t wideSize = kWideEntryName.sizeByLevel[static_cast<std::size_t>(level)];
        std::vector<std::uint8_t> wide = wideRecords(bytes, narrowSize, wideSize);
        const std::wstring book = phonebook ? toWide(phonebook) : std::wstring();
        DWORD size = static_cast<DWORD>(wide.size()), entries = 0;
        const DWORD result = m_enumEntries(nullptr, phonebook ? book.c_str() : nullptr, wide.data(), &size, &entries);
        count = entries;
        if (result != ERROR_SUCCESS) {
            bytes = result == kRasBufferTooSmall ? narrowBytes(size, narrowSize, wideSize) : bytes;
            return result;
        }
        const std::size_t n = std::min<std::size_t>(entries, bytes / narrowSize);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* from = wide.data() + i * wideSize;
            std::uint8_t* to = buffer + i * narrowSize;
            std::memset(to, 0, narrowSize);
            writeU32(to, static_cast<std::uint32_t>(narrowSize));
            copyText(from + kWideEntryName.szEntryName, kEntryNameChars, to + kRasEntryName.szEntryName);
            if (level >= 2) {
                writeU32(to + kRasEntryName.dwFlags, readU32(from + kWideEntryName.dwFlags));
                copyText(from + kWideEntryName.szPhonebookPath, kPathChars + 1, to + kRasEntryName.szPhonebookPath);
            }
        }
        bytes = static_cast<std::uint32_t>(n * narrowSize);
        return result;
    }

    std::uint32_t enumConnections(std::uint8_t* buffer, std::uint32_t& bytes, std::uint32_t& count) override {
        if (!m_enumConnections)
            return ERROR_PROC_NOT_FOUND;
        const int level = levelOfSize(kRasConn.sizeByLevel, readU32(buffer));
        if (level < 0)
            return kRasInvalidSize;
        const std::size_t narrowSize = kRasConn.sizeByLevel[static_cast<std::size_t>(level)];
        const std::size_t wideSize = kWideConn.sizeByLevel[static_cast<std::size_t>(level)];
        std::vector<std::uint8_t> wide = wideRecords(bytes, narrowSize, wideSize);
        DWORD size = static_cast<DWORD>(wide.size()), connections = 0;
        const DWORD result = m_enumConnections(wide.data(), &size, &connections);
        count = connections;
        if (result != ERROR_SUCCESS) {
            bytes = result == kRasBufferTooSmall ? narrowBytes(size, narrowSize, wideSize) : bytes;
            return result;
        }
        const std::size_t n = std::min<std::size_t>(connections, bytes / narrowSize);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* from = wide.data() + i * wideSize;
            std::uint8_t* to = buffer + i * narrowSize;
            std::memset(to, 0, narrowSize);
            writeU32(to, static_cast<std::uint32_t>(narrowSize));
            std::memcpy(to + kRasConn.hrasconn, from + kWideConn.hrasconn, sizeof(void*));
            copyText(from + kWideConn.szEntryName, kEntryNameChars, to + kRasConn.szEntryName);
            copyText(from + kWideConn.szDeviceType, kDeviceTypeChars, to + kRasConn.szDeviceType);
            copyText(from + kWideConn.szDeviceName, kDeviceNameChars, to + kRasConn.szDeviceName);
            if (level >= 1) {
                copyText(from + kWideConn.szPhonebook, kPathChars, to + kRasConn.szPhonebook);
                // dwSubEntry and the entry's GUID, then the flags and LUID where the level has them.
                const std::size_t numbers = (level >= 3   ? kRasConn.luid + 8
                                             : level == 2 ? kRasConn.dwFlags
                                                          : kRasConn.guidEntry) -
                                            kRasConn.dwSubEntry;
                std::memcpy(to + kRasConn.dwSubEntry, from + kWideConn.dwSubEntry, numbers);
            }
        }
        bytes = static_cast<std::uint32_t>(n * narrowSize);
        return result;
    }

    std::uint32_t getConnectStatus(RasHandle connection, std::uint8_t* status) override {
        if (!m_getConnectStatus)
            return ERROR_PROC_NOT_FOUND;
        const int level = levelOfSize(kRasConnStatus.sizeByLevel, readU32(status));
        if (level < 0)
            return kRasInvalidSize;
        const std::size_t narrowSize = kRasConnStatus.sizeByLevel[static_cast<std::size_t>(level)];
        std::vector<std::uint8_t> wide = wideRecords(1, 1, kWideStatus.sizeByLevel[static_cast<std::size_t>(level)]);
        const DWORD result = m_getConnectStatus(reinterpret_cast<HANDLE>(connection), wide.data());
        if (result != ERROR_SUCCESS)
            return result;
        // The state and error words come first, at the same places in both layouts.
        std::memcpy(status + kRasConnStatus.rasconnstate, wide.data() + kWideStatus.rasconnstate, 8);
        copyText(wide.data() + kWideStatus.szDeviceType, kDeviceTypeChars, status + kRasConnStatus.szDeviceType);
        copyText(wide.data() + kWideStatus.szDeviceName, kDeviceNameChars, status + kRasConnStatus.szDeviceName);
        if (narrowSize > kRasConnStatus.szPhoneNumber)
            copyText(wide.data() + kWideStatus.szPhoneNumber, kPhoneNumberChars, status + kRasConnStatus.szPhoneNumber);
        return result;
    }

    std::uint32_t getErrorString(std::uint32_t code, char* text, std::uint32_t size) override {
        if (!m_getErrorString)
            return ERROR_PROC_NOT_FOUND;
        if (size == 0)
            return ERROR_INSUFFICIENT_BUFFER;
        std::vector<wchar_t> wide(512, L'\0');
        const DWORD result = m_getErrorString(code, wide.data(), static_cast<DWORD>(wide.size()));
        if (result != ERROR_SUCCESS)
            return result;
        std::vector<std::uint8_t> field(wide.size() * sizeof(wchar_t), 0);
        std::memcpy(field.data(), wide.data(), field.size());
        std::vector<std::uint8_t> narrow(size, 0);
        copyText(field.data(), std::min<std::size_t>(size, wide.size()), narrow.data());
        std::memcpy(text, narrow.data(), size);
        return result;
    }

    std::string systemMessage(std::uint32_t code) const override {
        wchar_t buffer[512];
        DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof buffer / sizeof buffer[0], nullptr);
        while (length > 0 && buffer[length - 1] <= L' ')
            --length;
        return toUtf8(buffer, length);
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
