// Listening sockets and established connections on Windows: the IP helper's TCP tables (listeners with their
// owning process ids), read off the caller's thread.
#include "tunnel/socket_table.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <iphlpapi.h>

namespace quorvane {

namespace {

// The tables hold ports in network byte order in the low 16 bits.
int portOf(DWORD networkPort) {
    return static_cast<int>(((networkPort & 0xFF) << 8) | ((networkPort >> 8) & 0xFF));
}

// Wine's tables name no owner (process 0 for every socket), and looking for one there scans every process of
// the machine and can hang the caller for minutes: under wine the table without owners is asked.
bool ownersKnown() {
    static const bool known = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return !(ntdll && GetProcAddress(ntdll, "wine_get_version"));
    }();
    return known;
}

// The listener table of one address family; false when the system would not give it.
bool readTable(ULONG family, TCP_TABLE_CLASS kind, std::vector<unsigned char>& buffer) {
    // The table can grow between the size query and the read; a few rounds settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD result =
            GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, family, kind, 0);
        if (result == NO_ERROR)
            return !buffer.empty();
        if (result != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(size + 1024);
    }
    return false;
}

std::vector<ListeningSocket> query(const std::vector<ProcessId>& candidates) {
    std::vector<ListeningSocket> sockets;
    // Process 0 is the idle process, which never listens: a table that says 0 does not know.
    const auto socketOf = [&](DWORD networkPort, DWORD pid) {
        const auto id = static_cast<ProcessId>(pid);
        const bool candidate = std::find(candidates.begin(), candidates.end(), id) != candidates.end();
        return ListeningSocket{portOf(networkPort), candidate ? id : NoProcessId, pid == 0};
    };
    std::vector<unsigned char> buffer;
    if (!ownersKnown()) {
        if (readTable(AF_INET, TCP_TABLE_BASIC_LISTENER, buffer)) {
            const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                sockets.push_back(socketOf(table->table[i].dwLocalPort, 0));
        }
        if (readTable(AF_INET6, TCP_TABLE_BASIC_LISTENER, buffer)) {
            const auto* table = reinterpret_cast<const MIB_TCP6TABLE*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                sockets.push_back(socketOf(table->table[i].dwLocalPort, 0));
        }
        return sockets;
    }
    if (readTable(AF_INET, TCP_TABLE_OWNER_PID_LISTENER, buffer)) {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            sockets.push_back(socketOf(table->table[i].dwLocalPort, table->table[i].dwOwningPid));
    }
    if (readTable(AF_INET6, TCP_TABLE_OWNER_PID_LISTENER, buffer)) {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            sockets.push_back(socketOf(table->table[i].dwLocalPort, table->table[i].dwOwningPid));
    }
    return sockets;
}

// The connections whose local port is one of ports, counted per port; empty when the system gives no table.
std::vector<int> countConnections(const std::vector<int>& ports) {
    std::vector<int> counts(ports.size(), 0);
    const auto count = [&](DWORD networkPort, DWORD state) {
        if (state != MIB_TCP_STATE_ESTAB)
            return;
        const auto at = std::find(ports.begin(), ports.end(), portOf(networkPort));
        if (at != ports.end())
            ++counts[static_cast<std::size_t>(at - ports.begin())];
    };
    std::vector<unsigned char> buffer;
    bool any = false;
    if (!ownersKnown()) {
        if (readTable(AF_INET, TCP_TABLE_BASIC_CONNECTIONS, buffer)) {
            any = true;
            const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                count(table->table[i].dwLocalPort, table->table[i].dwState);
        }
        if (readTable(AF_INET6, TCP_TABLE_BASIC_CONNECTIONS, buffer)) {
            any = true;
            const auto* table = reinterpret_cast<const MIB_TCP6TABLE*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i)
                count(table->table[i].dwLocalPort, static_cast<DWORD>(table->table[i].State));
        }
        return any ? counts : std::vector<int>{};
    }
    if (readTable(AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, buffer)) {
        any = true;
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            count(table->table[i].dwLocalPort, table->table[i].dwState);
    }
    if (readTable(AF_INET6, TCP_TABLE_OWNER_PID_CONNECTIONS, buffer)) {
        any = true;
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            count(table->table[i].dwLocalPort, table->table[i].dwState);
    }
    return any ? counts : std::vector<int>{};
}

// The tables are read on a thread of their own, and a look waits for them a second at most: under wine the
// system's answer can take minutes, and the window must not hang meanwhile. A read still running when the next
// look comes is not started again; that look says nothing (as when the system cannot say). The threads are the
// system's own, waited for on their handles: no lock is shared with a read that may never return.
class IpHelperSocketTable : public SocketTable {
public:
    ~IpHelperSocketTable() override {
        if (m_running)
            CloseHandle(m_running); // a read that never returned keeps its own share of the query
    }

    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets;
        offThread([candidates](Read& read) { read.sockets = query(candidates); },
                  [&](Read& read) { sockets = std::move(read.sockets); });
        return sockets;
    }

    std::vector<int> connectionsOn(const std::vector<int>& ports) override {
        std::vector<int> counts;
        if (ports.empty())
            return counts;
        offThread([ports](Read& read) { read.counts = countConnections(ports); },
                  [&](Read& read) { counts = std::move(read.counts); });
        return counts;
    }

private:
    static constexpr DWORD kWaitMs = 1000;
    struct Read {
        std::function<void(Read&)> work;
        std::vector<ListeningSocket> sockets;
        std::vector<int> counts;
    };

    // Runs work on a thread of its own and hands its result to done, unless it takes too long (or an earlier
    // read still runs): then done is not called.
    void offThread(std::function<void(Read&)> work, const std::function<void(Read&)>& done) {
        if (m_running) {
            if (WaitForSingleObject(m_running, 0) == WAIT_TIMEOUT)
                return;
            CloseHandle(m_running);
            m_running = nullptr;
        }
        auto read = std::make_shared<Read>();
        read->work = std::move(work);
        auto* share = new std::shared_ptr<Read>(read);
        const HANDLE thread = CreateThread(nullptr, 0, &IpHelperSocketTable::run, share, 0, nullptr);
        if (!thread) {
            delete share;
            read->work(*read);
            done(*read);
            return;
        }
        if (WaitForSingleObject(thread, kWaitMs) != WAIT_OBJECT_0) {
            m_running = thread;
            return;
        }
        CloseHandle(thread);
        done(*read);
    }

    static DWORD WINAPI run(LPVOID parameter) {
        const std::unique_ptr<std::shared_ptr<Read>> share(static_cast<std::shared_ptr<Read>*>(parameter));
        (*share)->work(**share);
        return 0;
    }

    HANDLE m_running = nullptr;
};

} // namespace

std::unique_ptr<SocketTable> createSystemSocketTable() {
    return std::make_unique<IpHelperSocketTable>();
}

} // namespace quorvane
