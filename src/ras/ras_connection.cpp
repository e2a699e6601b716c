// The dial-up component's logic: structure versions, entry enumeration, connection list and state texts.
#include "ras/ras_connection.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace quorvane {

namespace {

using namespace raslayout;

constexpr int kMaxConnections = 8;
constexpr char kNotAvailableText[] = "RASAPI32.DLL Not Available";

const std::pair<std::uint16_t, const char*> kStateTexts[] = {
    {0, "Opening Serial Port"},          {1, "Serial Port Opened"},
    {2, "Connecting/Dialling"},          {3, "Connected/Answered"},
    {4, "Connected/Negotiation"},        {5, "Validating User and Password"},
    {6, "Authentication Notification"},  {8, "Authentication Call Back"},
    {10, "Projection Started"},          {11, "Calculating Link speed"},
    {12, "Authentication acknowledged"}, {13, "Reauthenticating"},
    {14, "Login Authenticated"},         {15, "Preparing for Callback"},
    {16, "Waiting for Modem Reset"},     {17, "Waiting for Callback"},
    {18, "Projection Completion"},       {19, "Start Authentication"},
    {20, "Callback Complete"},           {21, "Logon to Network"},
    {22, "Extra Channel Connected"},     {23, "Extra Channel Disconnected"},
    {4096, "Interactive Terminal"},      {4097, "Retry Authentication"},
    {4098, "Callback Set By Caller"},    {4099, "Password Expires"},
    {4100, "Paused for Authentication"}, {8192, "Connected/Online"},
    {8193, "Disconnected/Offline"},
};

std::uint32_t readU32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void writeU32(std::uint8_t* at, std::size_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    std::memcpy(at, &word, sizeof word);
}

// A fixed character array up to its first zero; never reads past its end.
std::string readText(const std::uint8_t* at, std::size_t chars) {
    const auto* begin = reinterpret_cast<const char*>(at);
    return std::string(begin, std::find(begin, begin + chars, '\0'));
}

std::string unknownState(int code) {
    return "Unknown State (" + std::to_string(code) + ")";
}

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lessWithoutCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return foldCase(x) < foldCase(y); });
}

// The text an entry sorts by: its name, flags and phonebook, tab-separated.
std::string sortLine(const RasEntry& entry) {
    return entry.name + '\t' + std::to_string(entry.flags) + '\t' + entry.phonebook;
}

// A zero-filled buffer of the given size with the structure version written into its first dwSize.
std::vector<std::uint8_t> versionedBuffer(std::size_t bytes, std::size_t dwSize) {
    std::vector<std::uint8_t> buffer(std::max(bytes, dwSize), 0);
    writeU32(buffer.data(), dwSize);
    return buffer;
}

int clampedLevel(int level) {
    return std::clamp(level, 0, 3);
}

} // namespace

int rasApiLevel(const OsVersion& os) {
    if (!os.ntPlatform)
        return 0;
    if (os.major < 5)
        return 1;
    return os.minor == 0 ? 2 : 3;
}

RasHandle TConnectionList::Handle(int index) const {
    if (!valid(index))
        return 0;
    RasHandle handle = 0;
    std::memcpy(&handle, m_records[index].data() + kRasConn.hrasconn, sizeof handle);
    return handle;
}

std::string TConnectionList::EntryName(int index) const {
    if (!valid(index))
        return {};
    return readText(m_records[index].data() + kRasConn.szEntryName, kEntryNameChars - 1);
}

RasConnRecord TConnectionList::Item(int index) const {
    return valid(index) ? m_records[index] : RasConnRecord{};
}

std::uint32_t EnumEntries(RasApi& api, int level, const std::string& phonebook, std::vector<RasEntry>& table) {
    table.clear();
    if (!api.load())
        return kRasLibraryNotAvailable;

    level = clampedLevel(level);
    const std::size_t stride = kRasEntryName.sizeByLevel[level];
    const char* book = phonebook.empty() ? nullptr : phonebook.c_str();

    // First ask with room for one entry; the library answers with the size the whole phonebook needs.
    std::vector<std::uint8_t> buffer = versionedBuffer(stride, stride);
    auto bytes = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t count = 0;
    std::uint32_t result = api.enumEntries(book, buffer.data(), bytes, count);
    if ((result != 0 && result != kRasBufferTooSmall) || count == 0)
        return result;

    buffer = versionedBuffer(bytes, stride);
    bytes = static_cast<std::uint32_t>(buffer.size());
    count = 0;
    result = api.enumEntries(book, buffer.data(), bytes, count);
    if (result != 0 || count == 0)
        return result;

    const std::size_t fits = buffer.size() / stride;
    for (std::size_t i = 0; i < std::min<std::size_t>(count, fits); ++i) {
        const std::uint8_t* record = buffer.data() + i * stride;
        RasEntry entry;
        entry.name = readText(record + kRasEntryName.szEntryName, kEntryNameChars);
        if (entry.name.empty())
            continue;
        if (level >= 2) {
            entry.flags = static_cast<int>(readU32(record + kRasEntryName.dwFlags));
            entry.phonebook = readText(record + kRasEntryName.szPhonebookPath, kPathChars + 1);
        }
        table.push_back(std::move(entry));
    }
    std::stable_sort(table.begin(), table.end(),
                     [](const RasEntry& a, const RasEntry& b) { return lessWithoutCase(sortLine(a), sortLine(b)); });
    return 0;
}

TRasConnection::TRasConnection(RasApi& api) : m_api(api), m_level(clampedLevel(rasApiLevel(api.osVersion()))) {}

void TRasConnection::notAvailable() {
    m_lastResult = static_cast<int>(kRasLibraryNotAvailable);
    m_stateText = kNotAvailableText;
}

bool TRasConnection::RasAvailable() {
    if (LoadRasApi())
        return true;
    notAvailable();
    return false;
}

void TRasConnection::SetPhoneBookPath(const std::string& path) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(path.begin(), path.end(), isBlank);
    const auto last = std::find_if_not(path.rbegin(), std::make_reverse_iterator(first), isBlank).base();
    m_phoneBookPath.assign(first, last);
}

std::uint32_t TRasConnection::ReadEntryNames() {
    m_entryNames.clear();
    const std::uint32_t result = EnumEntries(m_api, m_level, m_phoneBookPath, m_entries);
    if (!LoadRasApi()) {
        notAvailable();
        return result;
    }
    m_lastResult = static_cast<int>(result);
    if (result == 0) {
        for (const RasEntry& entry : m_entries)
            m_entryNames.push_back(entry.name);
    }
    return result;
}

std::uint32_t TRasConnection::RefreshConnections() {
    m_connectionsChanged = false;
    if (!LoadRasApi()) {
        notAvailable();
        return kRasLibraryNotAvailable;
    }

    const std::size_t stride = kRasConn.sizeByLevel[m_level];
    std::vector<std::uint8_t> buffer = versionedBuffer(kMaxConnections * kRasConnRecordSize, stride);
    auto bytes = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t count = 0;
    std::uint32_t result = m_api.enumConnections(buffer.data(), bytes, count);
    if (result == kRasBufferTooSmall) {
        // More connections than the list keeps: take them all, then keep the first ones.
        buffer = versionedBuffer(bytes, stride);
        bytes = static_cast<std::uint32_t>(buffer.size());
        count = 0;
        result = m_api.enumConnections(buffer.data(), bytes, count);
    }
    m_lastResult = static_cast<int>(result);

    const std::size_t n = std::min<std::size_t>({count, kMaxConnections, buffer.size() / stride});
    std::vector<RasConnRecord> fresh(n, RasConnRecord{});
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(buffer.data() + i * stride, stride, fresh[i].begin());

    if (n > 0) {
        bool changed = static_cast<std::size_t>(m_connections.Count()) != n;
        for (std::size_t i = 0; !changed && i < n; ++i)
            changed = m_connections.Item(static_cast<int>(i)) != fresh[i];
        if (changed) {
            m_connections.Clear();
            for (const RasConnRecord& record : fresh)
                m_connections.Add(record);
            m_connectionsChanged = true;
        }
    } else if (m_connections.Count() > 0) {
        m_connections.Clear();
        m_connectionsChanged = true;
    }
    return result;
}

std::string TRasConnection::PollStatus(RasHandle handle, int /*subEntry*/) {
    m_stateCode = static_cast<std::uint16_t>(kRasInvalidPortHandle);
    m_stateText = unknownState(kRasInvalidPortHandle);
    m_lastResult = static_cast<int>(kRasInvalidPortHandle);

    if (handle != 0) {
        if (!LoadRasApi()) {
            m_lastResult = static_cast<int>(kRasLibraryNotAvailable);
        } else {
            const std::size_t dwSize = kRasConnStatus.sizeByLevel[m_level];
            std::vector<std::uint8_t> status = versionedBuffer(dwSize, dwSize);
            const std::uint32_t result = m_api.getConnectStatus(handle, status.data());
            m_lastResult = static_cast<int>(result);
            if (result == 0) {
                m_stateCode = static_cast<std::uint16_t>(readU32(status.data() + kRasConnStatus.rasconnstate));
                const std::uint32_t error = readU32(status.data() + kRasConnStatus.dwError);
                if (error > 600)
                    m_lastResult = static_cast<int>(error);
            }
        }
    }

    if (m_lastResult == 0)
        m_stateText = StateToText();
    else if (m_lastResult >= 601)
        m_stateText = ErrorText(m_lastResult);
    else if (m_lastResult == 6)
        m_stateText = "Disconnected";
    else if (m_lastResult == 8)
        m_stateText = "Not enough memory";
    else if (m_lastResult == 600)
        m_stateText = "Device Connecting/Dialling";

    m_stateSource = 1;
    if (OnStateChanged)
        OnStateChanged(*this);
    return m_stateText;
}

std::string TRasConnection::ErrorText(int code) {
    if (!LoadRasApi()) {
        notAvailable();
        return kNotAvailableText;
    }
    if (code < 0)
        return {};
    char text[256] = {};
    m_api.getErrorString(static_cast<std::uint32_t>(code), text, sizeof text);
    text[sizeof text - 1] = '\0';
    if (text[0] != '\0')
        return text;
    return m_api.systemMessage(static_cast<std::uint32_t>(code));
}

std::string TRasConnection::StateToText() {
    for (const auto& [code, text] : kStateTexts) {
        if (code == m_stateCode)
            return text;
    }
    if (m_stateCode <= 600)
        return unknownState(m_stateCode);
    return ErrorText(m_stateCode);
}

} // namespace quorvane
