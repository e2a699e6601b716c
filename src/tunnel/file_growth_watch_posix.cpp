// Linux: one inotify descriptor for every followed log, read without waiting once per round.
#include "tunnel/file_growth_watch.h"

#include <cerrno>
#include <climits>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_set>

namespace quorvane {

namespace {

class InotifyGrowthWatch : public FileGrowthWatch {
public:
    InotifyGrowthWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~InotifyGrowthWatch() override {
        if (m_fd >= 0)
            close(m_fd);
    }
    InotifyGrowthWatch(const InotifyGrowthWatch&) = delete;
    InotifyGrowthWatch& operator=(const InotifyGrowthWatch&) = delete;

    Token watch(const fs::NoFollowFile& file) override {
        if (m_fd < 0 || !file.isOpen())
            return kNotWatched;
        // Through the open descriptor: the very file that is read, whatever its path names by now.
        const std::string self = "/proc/self/fd/" + std::to_string(file.nativeHandle());
        const int token = inotify_add_watch(m_fd, self.c_str(), IN_MODIFY);
        if (token < 0)
            return kNotWatched;
        m_watched.insert(token);
        markWritten(token);
        return token;
    }

    void unwatch(Token token) override {
        if (token == kNotWatched || m_watched.erase(token) == 0)
            return;
        forget(token);
        inotify_rm_watch(m_fd, token);
    }

    void collect() override {
        if (m_fd < 0 || m_watched.empty())
            return;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = read(m_fd, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                return;
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_Q_OVERFLOW) {
                    // Events were lost: any file may have been written.
                    for (const Token token : m_watched)
                        markWritten(token);
                } else if (m_watched.count(event->wd)) {
                    if (event->mask & IN_IGNORED)
                        markGone(event->wd);
                    markWritten(event->wd);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int m_fd;
    std::unordered_set<Token> m_watched;
};

} // namespace

std::unique_ptr<FileGrowthWatch> createFileGrowthWatch() {
    return std::make_unique<InotifyGrowthWatch>();
}

} // namespace quorvane
