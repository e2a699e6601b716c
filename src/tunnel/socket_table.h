// Which local TCP ports listen, which of a few given processes own them, and how many connections they carry.
#pragma once

#include <memory>
#include <vector>

#include "process/process_services.h"

namespace quorvane {

struct ListeningSocket {
    int port = 0;
    ProcessId owner = NoProcessId;
    // The system named no owner (wine's tables give none): the socket is taken for the client's while one
    // runs, rather than every forward for a stranger's.
    bool ownerUnknown = false;
    bool operator==(const ListeningSocket&) const = default;
};

class SocketTable {
public:
    virtual ~SocketTable() = default;
    // TCP sockets in LISTEN state (IPv4 and IPv6), each with its local port and, when it is one of
    // `candidates`, the owning process (NoProcessId otherwise: someone else's). Empty when the system cannot say.
    virtual std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) = 0;
    // How many established TCP connections (IPv4 and IPv6) have each of ports as their local port, in the order
    // of ports: on loopback those are the connections a forward's listening socket accepted, not the ones made
    // to it. Empty when the system cannot say (as here: a table that only knows listening sockets).
    virtual std::vector<int> connectionsOn(const std::vector<int>& /*ports*/) { return {}; }
};

// The implementation for the platform being built (socket_table_posix.cpp or socket_table_win32.cpp).
std::unique_ptr<SocketTable> createSystemSocketTable();

} // namespace quorvane
