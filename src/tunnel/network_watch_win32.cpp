// Network changes on Windows from the IP helper's change notifications; awake time from the unbiased interrupt time.
#include "tunnel/network_watch.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <iphlpapi.h>
#include <netioapi.h>
#include <windows.h>

namespace quorvane {

namespace {

class IpHelperNetworkWatch : public NetworkWatch {
public:
    IpHelperNetworkWatch() {
        // A registration that fails (an old or emulated system) only leaves that kind of change untold.
        if (NotifyIpInterfaceChange(AF_UNSPEC, &onInterface, &m_changed, FALSE, &m_interfaces) != NO_ERROR)
            m_interfaces = nullptr;
        if (NotifyUnicastIpAddressChange(AF_UNSPEC, &onAddress, &m_changed, FALSE, &m_addresses) != NO_ERROR)
            m_addresses = nullptr;
        if (NotifyRouteChange2(AF_UNSPEC, &onRoute, &m_changed, FALSE, &m_routes) != NO_ERROR)
            m_routes = nullptr;
    }
    ~IpHelperNetworkWatch() override {
        // Returns only once no callback is running, so m_changed outlives every use.
        for (HANDLE handle : {m_interfaces, m_addresses, m_routes})
            if (handle)
                CancelMibChangeNotify2(handle);
    }
    IpHelperNetworkWatch(const IpHelperNetworkWatch&) = delete;
    IpHelperNetworkWatch& operator=(const IpHelperNetworkWatch&) = delete;

    Change look() override {
        // Both sides are consulted every time so that neither carries old news into the next look.
        const bool network = m_changed.exchange(false);
        const bool slept = m_wake.slept();
        return slept ? Change::Wake : network ? Change::Network : Change::None;
    }

private:
    // These run on a system thread: they touch nothing but the flag.
    static void WINAPI onInterface(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) { mark(context); }
    static void WINAPI onAddress(PVOID context, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) { mark(context); }
    static void WINAPI onRoute(PVOID context, PMIB_IPFORWARD_ROW2, MIB_NOTIFICATION_TYPE) { mark(context); }
    static void mark(PVOID context) { static_cast<std::atomic<bool>*>(context)->store(true); }

    std::atomic<bool> m_changed{false};
    HANDLE m_interfaces = nullptr;
    HANDLE m_addresses = nullptr;
    HANDLE m_routes = nullptr;
    WakeDetector m_wake{wallTime, awakeTime};
};

} // namespace

// std::chrono::steady_clock with mingw-w64 reads QueryPerformanceCounter, which keeps counting through sleep;
// the unbiased interrupt time does not.
std::chrono::nanoseconds awakeTime() {
    ULONGLONG hundreds = 0;
    QueryUnbiasedInterruptTime(&hundreds);
    return std::chrono::nanoseconds(static_cast<long long>(hundreds) * 100);
}

std::unique_ptr<NetworkWatch> createSystemNetworkWatch() {
    return std::make_unique<IpHelperNetworkWatch>();
}

} // namespace quorvane
