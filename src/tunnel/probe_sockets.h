// Short TCP conversations that never block: a look whether a far end answers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

class ProbeSockets {
public:
    virtual ~ProbeSockets() = default;
    using Handle = std::intptr_t;
    static constexpr Handle kNoHandle = -1;
    // Starts a TCP connection to an IP literal (IPv4 or IPv6, e.g. "127.0.0.1", "::1") and port without
    // waiting. kNoHandle when the address is not an IP literal, the port is outside 1..65535 or no socket could
    // be made. Never resolves names.
    virtual Handle open(const std::string& address, int port) = 0;
    enum class State {
        Pending,  // still connecting, or connected with nothing heard yet
        Answered, // the far end closed or reset the connection, or sent bytes
        Refused,  // the connection could not be made (refused, unreachable)
    };
    // A look without waiting. For Answered, the first bytes received (at most 64) go to *firstBytes when given.
    // Once a handle has left Pending, later looks repeat the same outcome; an unknown handle is Refused.
    virtual State look(Handle handle, std::string* firstBytes = nullptr) = 0;
    virtual void close(Handle handle) = 0;
    // Closes without the closing exchange (a reset): for a far end that is the program's own client, which has
    // nothing more to say, so that neither side keeps the connection's remains around.
    virtual void abort(Handle handle) { close(handle); }
    // A TCP port on 127.0.0.1 free right now (bound to port 0 and let go), 0 when none could be had.
    virtual int freeLoopbackPort() = 0;
};

// The implementation for the platform being built (probe_sockets_posix.cpp or probe_sockets_win32.cpp).
// Handles still open when it is destroyed are closed with it.
std::unique_ptr<ProbeSockets> createSystemProbeSockets();

// True for an IPv4 or IPv6 literal (what open() accepts).
bool isIpLiteral(const std::string& address);

} // namespace quorvane
