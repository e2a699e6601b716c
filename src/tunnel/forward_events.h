// What a running client says about its forwards, read from its log as the log grows.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

namespace fs {
class NoFollowFile;
}
class FileGrowthWatch;

struct ForwardEvents {
    // The server refuses to forward at all ("Administratively prohibited"), or a remote port: the client's words.
    std::optional<std::string> forwardingRefused;
    // A local port the client could not listen on (the port, as the client names it).
    std::optional<std::string> localPortInUse;
    // The client's own check forward: the port it listens on (see kProbeTarget).
    std::optional<int> probePort;
    // The last connection through a forward the far side refused (HOST:PORT), and whether one to the same
    // service went through after it.
    std::optional<std::string> serviceRefused;
    std::optional<std::string> serviceReached;
    bool any() const { return forwardingRefused || localPortInUse || probePort || serviceRefused || serviceReached; }
};

// Reads whole lines of a client's -v output. The connections the program's own check opens are not the
// user's and never count as a service refused or reached.
class ForwardEventReader {
public:
    // Feeds more of the output; a line cut at the end waits for the rest.
    ForwardEvents feed(std::string_view text);

private:
    ForwardEvents line(std::string_view text);

    std::string m_partial;
    // Connections opened whose answer is not known yet, oldest first. One that goes through says nothing:
    // a user's connection still waiting when the user's next one opens, or when more of the output comes
    // later, is taken as through (a refusal follows within a round trip).
    struct Pending {
        std::string target;
        bool fedBefore = false;
    };
    std::deque<Pending> m_pending;
};

// Follows a log file: each read gives what was written since the last one. A file that shrank (trimmed
// or made anew) is followed from its new end, so old lines are never read twice.
class ClientLogFollower {
public:
    // growth, when given, tells whether the file was written since the last read: a quiet file costs nothing.
    // It must outlive the follower.
    explicit ClientLogFollower(std::string path = {}, FileGrowthWatch* growth = nullptr);
    ~ClientLogFollower();
    ClientLogFollower(ClientLogFollower&&) noexcept;
    ClientLogFollower& operator=(ClientLogFollower&&) noexcept;
    const std::string& path() const { return m_path; }
    // At most maxBytes of what is new; older new bytes beyond that are skipped.
    ForwardEvents readNew(std::size_t maxBytes = 64 * 1024);
    // From the file's current end on (after the program trims it).
    void skipToEnd();
    // How far it has read: the file's size at the last look that found it grown or cut.
    std::uintmax_t offset() const { return m_offset; }
    // Lets the file go (it stays open between reads, so that each look is one question about an open file);
    // the next read opens it again. A tunnel folder must not be held open once its client is stopped.
    void release();

private:
    // The file, opened on first use; false while it cannot be.
    bool opened();

    std::string m_path;
    std::unique_ptr<fs::NoFollowFile> m_file;
    FileGrowthWatch* m_growth = nullptr;
    int m_growthToken = -1;
    std::uintmax_t m_offset = 0;
    ForwardEventReader m_reader;
};

} // namespace quorvane
