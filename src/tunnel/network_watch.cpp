// The wake rule shared by the platforms' network watches.
#include "tunnel/network_watch.h"

#include <utility>

namespace quorvane {

WakeDetector::WakeDetector(Reading wall, Reading awake)
    : m_wall(std::move(wall)), m_awake(std::move(awake)), m_lastWall(m_wall()), m_lastAwake(m_awake()) {}

bool WakeDetector::slept() {
    const std::chrono::nanoseconds wall = m_wall();
    const std::chrono::nanoseconds awake = m_awake();
    // A wall clock set back makes this negative; set forward by hand it looks like a sleep, which costs only a
    // check of the tunnels.
    const std::chrono::nanoseconds ahead = (wall - m_lastWall) - (awake - m_lastAwake);
    m_lastWall = wall;
    m_lastAwake = awake;
    return ahead > kThreshold;
}

std::chrono::nanoseconds wallTime() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
}

} // namespace quorvane
