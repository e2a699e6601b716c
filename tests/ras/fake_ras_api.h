// A dial-up library in memory that writes its answers in the Windows structure layouts.
#pragma once

#include "ras/ras_api.h"
#include "ras/ras_connection.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::test {

class FakeRasApi : public RasApi {
public:
    struct Connection {
        RasHandle handle;
        std::string name;
    };
    struct Status {
        std::uint32_t result = 0; // of the call itself
        std::uint32_t state = 8192;
        std::uint32_t error = 0;
    };

    OsVersion os{true, 5, 1};
    bool available = true;
    std::uint32_t enumEntriesResult = 0;
    std::vector<RasEntry> entries;
    std::vector<Connection> connections;
    std::map<RasHandle, Status> statuses; // a handle not listed answers 6, "invalid handle"
    std::map<std::uint32_t, std::string> errorStrings, systemMessages;

    int libraryCalls = 0;
    std::vector<std::size_t> entrySizes, connSizes, statusSizes; // dwSize of each call
    std::vector<std::optional<std::string>> phonebooks;
    std::vector<RasHandle> polled;
    bool dirtyBuffer = false; // something beyond dwSize was not zero

    OsVersion osVersion() const override { return os; }
    bool load() override { return available; }

    std::uint32_t enumEntries(const char* phonebook, std::uint8_t* buffer, std::uint32_t& bytes,
                              std::uint32_t& count) override {
        const std::size_t size = take(buffer, bytes, entrySizes);
        phonebooks.push_back(phonebook ? std::optional<std::string>(phonebook) : std::nullopt);
        count = static_cast<std::uint32_t>(entries.size());
        if (enumEntriesResult != 0)
            return enumEntriesResult;
        if (bytes < count * size)
            return tooSmall(bytes, count * size);
        const auto& at = raslayout::kRasEntryName;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::uint8_t* record = buffer + i * size;
            put(record, size);
            std::strncpy(reinterpret_cast<char*>(record + at.szEntryName), entries[i].name.c_str(), 256);
            if (size > at.dwFlags) {
                put(record + at.dwFlags, static_cast<std::uint32_t>(entries[i].flags));
                std::strncpy(reinterpret_cast<char*>(record + at.szPhonebookPath), entries[i].phonebook.c_str(), 260);
            }
        }
        return 0;
    }

    std::uint32_t enumConnections(std::uint8_t* buffer, std::uint32_t& bytes, std::uint32_t& count) override {
        const std::size_t size = take(buffer, bytes, connSizes);
        count = static_cast<std::uint32_t>(connections.size());
        if (bytes < count * size)
            return tooSmall(bytes, count * size);
        for (std::size_t i = 0; i < connections.size(); ++i) {
            std::uint8_t* record = buffer + i * size;
            put(record, size);
            std::memcpy(record + raslayout::kRasConn.hrasconn, &connections[i].handle, sizeof(RasHandle));
            std::strncpy(reinterpret_cast<char*>(record + raslayout::kRasConn.szEntryName), connections[i].name.c_str(),
                         256);
        }
        return 0;
    }

    std::uint32_t getConnectStatus(RasHandle connection, std::uint8_t* status) override {
        take(status, 0, statusSizes);
        polled.push_back(connection);
        const auto found = statuses.find(connection);
        if (found == statuses.end())
            return 6;
        put(status + raslayout::kRasConnStatus.rasconnstate, found->second.state);
        put(status + raslayout::kRasConnStatus.dwError, found->second.error);
        return found->second.result;
    }

    std::uint32_t getErrorString(std::uint32_t code, char* text, std::uint32_t size) override {
        ++libraryCalls;
        const auto found = errorStrings.find(code);
        if (found == errorStrings.end())
            return 87;
        std::strncpy(text, found->second.c_str(), size - 1);
        return 0;
    }

    std::string systemMessage(std::uint32_t code) const override {
        const auto found = systemMessages.find(code);
        return found == systemMessages.end() ? std::string() : found->second;
    }

private:
    static void put(std::uint8_t* at, std::size_t value) {
        const auto word = static_cast<std::uint32_t>(value);
        std::memcpy(at, &word, sizeof word);
    }

    static std::uint32_t tooSmall(std::uint32_t& bytes, std::size_t needed) {
        bytes = static_cast<std::uint32_t>(needed);
        return kRasBufferTooSmall;
    }

    // The caller's dwSize, noting it and whether the rest of the buffer (bytes long, 0: dwSize) came zero-filled.
    std::size_t take(const std::uint8_t* buffer, std::size_t bytes, std::vector<std::size_t>& sizes) {
        ++libraryCalls;
        std::uint32_t size = 0;
        std::memcpy(&size, buffer, sizeof size);
        sizes.push_back(size);
        bytes = bytes == 0 ? size : bytes;
        dirtyBuffer = dirtyBuffer || std::any_of(buffer + 4, buffer + bytes, [](std::uint8_t b) { return b != 0; });
        return size;
    }
};

} // namespace quorvane::test
