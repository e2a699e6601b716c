// One snapshot of process names, folded once, for constant-time lookups by a tunnel's client name.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "process/process_services.h"

namespace quorvane {

class ProcessNameIndex {
public:
    ProcessNameIndex() = default;
    explicit ProcessNameIndex(const std::vector<ProcessEntry>& snapshot);

    void add(std::string_view name);
    bool empty() const { return m_count == 0; }

    // True when some process has this name, ASCII letters compared without case.
    bool contains(std::string_view clientExeName) const;

    // The picture a tunnel item takes for this snapshot: 1 running, 0 not running, current when
    // the snapshot is empty.
    int pictureFor(std::string_view tunnelName, int currentPicture) const;

private:
    std::unordered_set<std::string> m_names;
    std::size_t m_count = 0;
};

} // namespace quorvane
