// TRasConnection: phonebook entries, active dial-up connections and their states through a RasApi.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ras/ras_api.h"

namespace quorvane {

using RasConnRecord = std::array<std::uint8_t, raslayout::kRasConnRecordSize>;

// The active connections: owned copies of RASCONN records, in the platform's order.
// An index outside the list gives handle 0, an empty name and a zero-filled record.
class TConnectionList {
public:
    int Count() const { return static_cast<int>(m_records.size()); }
    RasHandle Handle(int index) const;
    std::string EntryName(int index) const; // at most 256 characters
    RasConnRecord Item(int index) const;
    void Add(const RasConnRecord& record) { m_records.push_back(record); }
    void Clear() { m_records.clear(); }

private:
    bool valid(int index) const { return index >= 0 && index < Count(); }
    std::vector<RasConnRecord> m_records;
};

// One phonebook entry; flags and phonebook are only reported from level 2 on.
struct RasEntry {
    std::string name;
    int flags = 0;
    std::string phonebook;
};

// Fills table with the non-empty entries of the phonebook (empty: the system's), sorted by name without
// regard to letter case. Returns the library's result, 1157 without the library; the table is emptied first.
std::uint32_t EnumEntries(RasApi& api, int level, const std::string& phonebook, std::vector<RasEntry>& table);

// Reports through result codes and texts only: nothing here throws. The api is not owned and must outlive it.
class TRasConnection {
public:
    explicit TRasConnection(RasApi& api);

    int ApiLevel() const { return m_level; }

    bool LoadRasApi() { return m_api.load(); }
    // False without the library, and then LastResult is 1157 and StateText says so.
    bool RasAvailable();

    // EntryNames emptied, then refilled from the phonebook on success.
    std::uint32_t ReadEntryNames();
    // Connections replaced when the platform's list differs byte for byte; ConnectionsChanged says whether.
    std::uint32_t RefreshConnections();
    // Sets StateCode, StateText, LastResult and StateSource 1, raises OnStateChanged, returns StateText.
    std::string PollStatus(RasHandle handle, int subEntry);
    std::string ErrorText(int code);
    std::string StateToText();

    std::uint16_t StateCode() const { return m_stateCode; }
    const std::string& StateText() const { return m_stateText; }
    std::uint8_t StateSource() const { return m_stateSource; }
    int LastResult() const { return m_lastResult; }
    const std::vector<std::string>& EntryNames() const { return m_entryNames; }
    const std::vector<RasEntry>& Entries() const { return m_entries; }
    const TConnectionList& Connections() const { return m_connections; }
    bool ConnectionsChanged() const { return m_connectionsChanged; }

    const std::string& PhoneBookPath() const { return m_phoneBookPath; }
    void SetPhoneBookPath(const std::string& path); // stored trimmed

    // Dialling settings; kept for completeness, nothing here dials.
    int SubEntry = 0, CallbackId = 0, CountryID = 0, CountryCode = 0, EntryOptions = 0, DialMode = 0;

    // Called synchronously after every state notification.
    std::function<void(TRasConnection&)> OnStateChanged;

private:
    void notAvailable();

    RasApi& m_api;
    const int m_level;
    std::uint16_t m_stateCode = 0;
    std::string m_stateText;
    std::uint8_t m_stateSource = 0;
    int m_lastResult = 0;
    std::vector<std::string> m_entryNames;
    std::vector<RasEntry> m_entries;
    TConnectionList m_connections;
    bool m_connectionsChanged = false;
    std::string m_phoneBookPath;
};

} // namespace quorvane
