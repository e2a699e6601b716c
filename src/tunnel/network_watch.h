// Tells, when asked, whether the machine's network changed or the machine slept since the last look.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace quorvane {

class NetworkWatch {
public:
    virtual ~NetworkWatch() = default;
    enum class Change { None, Network, Wake };
    // Never blocks. Network: an interface, address or route came, went or changed. Wake: the wall clock ran
    // ahead of the awake clock by more than WakeDetector::kThreshold since the last look (the machine was
    // suspended). When both happened, Wake is told: it is the larger news and usually brings the other.
    virtual Change look() = 0;
};

// The implementation for the platform being built (network_watch_posix.cpp or network_watch_win32.cpp).
std::unique_ptr<NetworkWatch> createSystemNetworkWatch();

// The wake rule every platform shares: between two looks, the wall clock kept counting while the machine slept
// and the awake clock did not, so the wall clock ran ahead. Readings are times since any fixed origin.
class WakeDetector {
public:
    using Reading = std::function<std::chrono::nanoseconds()>;
    // Less than this is drift or a look that came late, not a sleep.
    static constexpr std::chrono::seconds kThreshold{5};

    // The first look compares against the clocks as they read now.
    WakeDetector(Reading wall, Reading awake);
    // True when the machine slept since the previous look (or since construction).
    bool slept();

private:
    Reading m_wall;
    Reading m_awake;
    std::chrono::nanoseconds m_lastWall;
    std::chrono::nanoseconds m_lastAwake;
};

// The wall clock (std::chrono::system_clock), for WakeDetector.
std::chrono::nanoseconds wallTime();
// A clock that stops while the machine sleeps, for WakeDetector (in the platform file).
std::chrono::nanoseconds awakeTime();

} // namespace quorvane
