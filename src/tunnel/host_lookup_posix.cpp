// A name's addresses from getaddrinfo.
#include "tunnel/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quorvane {

std::vector<std::string> resolveHostAddresses(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<std::string> addresses;
    if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* raw = nullptr;
        if (at->ai_family == AF_INET)
            raw = &reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr;
        else if (at->ai_family == AF_INET6)
            raw = &reinterpret_cast<const sockaddr_in6*>(at->ai_addr)->sin6_addr;
        if (raw && ::inet_ntop(at->ai_family, raw, text, sizeof text))
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

} // namespace quorvane
