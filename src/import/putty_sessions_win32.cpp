// PuTTY's saved sessions on Windows: one registry key each under the user's PuTTY key.
#include "import/putty_sessions.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "store/wide_text_win32.h"

namespace quorvane {

namespace {

constexpr const wchar_t* kSessionsKey = L"Software\\SimonTatham\\PuTTY\\Sessions";
// A session's values are a few hundred short strings; a longer one is not PuTTY's.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class Key {
public:
    Key(HKEY parent, const wchar_t* name) {
        if (::RegOpenKeyExW(parent, name, 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key() {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::map<std::string, std::string> valuesOf(HKEY key) {
    std::map<std::string, std::string> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        DWORD size = 0;
        const LONG listed = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (listed == ERROR_NO_MORE_ITEMS)
            break;
        if (listed != ERROR_SUCCESS || size > kMaxValueBytes)
            continue;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD read = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &read) != ERROR_SUCCESS)
            continue;
        const std::string valueName = toUtf8(name, nameLength);
        if (type == REG_DWORD && read == sizeof(DWORD)) {
            DWORD number = 0;
            std::memcpy(&number, data.data(), sizeof number);
            values[valueName] = std::to_string(number);
        } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
            std::wstring text(data.data(), read / sizeof(wchar_t));
            text.resize(std::wcslen(text.c_str())); // stored with its terminating NUL, or sometimes without
            values[valueName] = toUtf8(text);
        }
    }
    return values;
}

} // namespace

std::vector<PuttySession> readPuttySessions(const std::string&) {
    std::vector<PuttySession> sessions;
    const Key all(HKEY_CURRENT_USER, kSessionsKey);
    if (!all.get())
        return sessions;
    for (DWORD index = 0; sessions.size() < kPuttyMaxSessions; ++index) {
        wchar_t name[256]; // registry key names are 255 characters at most
        DWORD nameLength = 256;
        const LONG listed = ::RegEnumKeyExW(all.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_NO_MORE_ITEMS)
            break;
        if (listed != ERROR_SUCCESS)
            continue;
        PuttySession session;
        session.name = decodePuttySessionName(toUtf8(name, nameLength));
        const Key key(all.get(), name);
        if (key.get())
            session.values = valuesOf(key.get());
        else
            session.unreadable =
                "Unable to read HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\" + toUtf8(name, nameLength);
        sessions.push_back(std::move(session));
    }
    return sessions;
}

} // namespace quorvane
