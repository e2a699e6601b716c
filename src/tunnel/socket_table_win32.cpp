// Listening sockets on Windows: the IP helper's TCP listener tables with their owning process ids.
#include "tunnel/socket_table.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <iphlpapi.h>

namespace quorvane {

namespace {

// The tables hold ports in network byte order in the low 16 bits.
int portOf(DWORD networkPort) {
    return static_cast<int>(((networkPort & 0xFF) << 8) | ((networkPort >> 8) & 0xFF));
}

// The listener table of one address family; false when the system would not give it.
bool readTable(ULONG family, std::vector<unsigned char>& buffer) {
    // The table can grow between the size query and the read; a few rounds settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, family,
                                                 TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == NO_ERROR)
            return !buffer.empty();
        if (result != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(size + 1024);
    }
    return false;
}

class IpHelperSocketTable : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets;
        // Process 0 is the idle process, which never listens: a table that says 0 does not know.
        const auto socketOf = [&](DWORD networkPort, DWORD pid) {
            const auto id = static_cast<ProcessId>(pid);
            const bool candidate = std::find(candidates.begin(), candidates.end(), id) != candidates.end();
            return ListeningSocket{portOf(networkPort), candidate ? id : NoProcessId, pid == 0};
        };
        std::vector<unsigned char> buffer;
        const bool v4 = readTable(AF_INET, buffer);
        if (v4) {
            const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                sockets.push_back(socketOf(table->table[i].dwLocalPort, table->table[i].dwOwningPid));
        }
        const bool v6 = readTable(AF_INET6, buffer);
        if (v6) {
            const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                sockets.push_back(socketOf(table->table[i].dwLocalPort, table->table[i].dwOwningPid));
        }
        return sockets;
    }
};

} // namespace

std::unique_ptr<SocketTable> createSystemSocketTable() {
    return std::make_unique<IpHelperSocketTable>();
}

} // namespace quorvane
