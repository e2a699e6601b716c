// A server's name looked up on a thread of its own, so that a network that is down never holds the program.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class HostLookup {
public:
    // Starts looking name up at once. The lookup may outlive this object (a resolver can hang for long): it
    // then ends on its own, and its answer is dropped.
    explicit HostLookup(const std::string& name);
    // A lookup already answered (for tests, and for names that need none).
    explicit HostLookup(std::vector<std::string> addresses);
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // Nothing while the lookup runs; then the addresses as IP literals (none: the name is not known, or the
    // system could not be asked). Never waits.
    std::optional<std::vector<std::string>> result() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

// The name's addresses as IP literals, asked of the system's resolver; waits for its answer.
std::vector<std::string> resolveHostAddresses(const std::string& name);

} // namespace quorvane
