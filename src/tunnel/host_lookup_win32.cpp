// A name's addresses from GetAddrInfoW.
#include "tunnel/host_lookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "store/wide_text_win32.h"

namespace quorvane {

namespace {

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text); // an address literal is ASCII
    return out;
}

} // namespace

std::vector<std::string> resolveHostAddresses(const std::string& name) {
    std::vector<std::string> addresses;
    WSADATA data;
    if (name.empty() || ::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return addresses;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(toWide(name).c_str(), nullptr, &hints, &found) == 0) {
        for (const ADDRINFOW* at = found; at; at = at->ai_next) {
            wchar_t text[INET6_ADDRSTRLEN] = {};
            const void* raw = nullptr;
            if (at->ai_family == AF_INET)
                raw = &reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr;
            else if (at->ai_family == AF_INET6)
                raw = &reinterpret_cast<const sockaddr_in6*>(at->ai_addr)->sin6_addr;
            if (raw && ::InetNtopW(at->ai_family, raw, text, INET6_ADDRSTRLEN))
                addresses.push_back(narrow(text));
        }
        ::FreeAddrInfoW(found);
    }
    ::WSACleanup();
    return addresses;
}

} // namespace quorvane
