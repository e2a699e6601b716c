// Network changes on Linux from the kernel's routing netlink messages; the steady clock stops during suspend.
#include "tunnel/network_watch.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#endif

namespace quorvane {

namespace {

class NetlinkNetworkWatch : public NetworkWatch {
public:
    NetlinkNetworkWatch() { m_socket = openSocket(); }
    ~NetlinkNetworkWatch() override {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    NetlinkNetworkWatch(const NetlinkNetworkWatch&) = delete;
    NetlinkNetworkWatch& operator=(const NetlinkNetworkWatch&) = delete;

    Change look() override {
        // Both sides are consulted every time so that neither carries old news into the next look.
        const bool network = drain();
        const bool slept = m_wake.slept();
        return slept ? Change::Wake : network ? Change::Network : Change::None;
    }

private:
    // -1 where there is no routing netlink (not Linux, or a sandbox forbids it): only wakes are told then.
    static int openSocket() {
#ifdef __linux__
        const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd < 0)
            return -1;
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups =
            RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
#else
        return -1;
#endif
    }

    // Reads every pending message; true when any came.
    bool drain() {
        if (m_socket < 0)
            return false;
        bool any = false;
        char buffer[8192];
        for (;;) {
            const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                any = true;
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else if (got < 0 && errno == ENOBUFS) {
                any = true; // the queue overflowed: messages were lost, so something surely changed
            } else {
                return any; // EAGAIN: drained
            }
        }
    }

    int m_socket = -1;
    WakeDetector m_wake{wallTime, awakeTime};
};

} // namespace

std::chrono::nanoseconds awakeTime() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<NetworkWatch> createSystemNetworkWatch() {
    return std::make_unique<NetlinkNetworkWatch>();
}

} // namespace quorvane
