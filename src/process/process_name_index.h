// One snapshot of process names, folded once, for constant-time lookups by a tunnel's client name.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "process/process_services.h"

namespace quorvane {

// Owns copies of the names it is given; lookups never fail and never allocate for short names.
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
    // Lets the set be searched with a string_view, so a lookup builds no std::string.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };

    bool containsFolded(std::string_view head, std::string_view tail) const;

    std::unordered_set<std::string, NameHash, std::equal_to<>> m_names;
    std::size_t m_count = 0;
};

} // namespace quorvane
