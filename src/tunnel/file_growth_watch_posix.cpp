// Linux: one inotify descriptor for every followed log, read without waiting once per round.
#include "tunnel/file_growth_watch.h"

#include <cerrno>
#include <climits>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "store/inotify_posix.h"

namespace quorvane {

namespace {

class InotifyGrowthWatch : public FileGrowthWatch {
public:
    Token watch(const fs::NoFollowFile& file) override {
        if (m_inotify.fd() < 0 || !file.isOpen())
            return kNotWatched;
        // Through the open descriptor: the very file that is read, whatever its path names by now.
        const std::string self = "/proc/self/fd/" + std::to_string(file.nativeHandle());
        const int descriptor = inotify_add_watch(m_inotify.fd(), self.c_str(), IN_MODIFY);
        if (descriptor < 0)
            return kNotWatched;
        // The system has one watch per file: two followers of one file (a second name of it) get a token each.
        const Token token = m_nextToken++;
        m_tokens[descriptor].push_back(token);
        m_descriptorOf.emplace(token, descriptor);
        markWritten(token);
        return token;
    }

    void unwatch(Token token) override {
        const auto found = m_descriptorOf.find(token);
        if (found == m_descriptorOf.end())
            return;
        const int descriptor = found->second;
        m_descriptorOf.erase(found);
        forget(token);
        std::vector<Token>& sharing = m_tokens[descriptor];
        std::erase(sharing, token);
        if (sharing.empty()) {
            m_tokens.erase(descriptor);
            inotify_rm_watch(m_inotify.fd(), descriptor);
        }
    }

    void collect() override {
        if (m_inotify.fd() < 0 || m_tokens.empty())
            return;
        m_inotify.drain([this](const inotify_event& event) {
            if (event.mask & IN_Q_OVERFLOW) {
                // Events were lost: any file may have been written.
                for (const auto& [descriptor, tokens] : m_tokens)
                    for (const Token token : tokens)
                        markWritten(token);
            } else if (const auto found = m_tokens.find(event.wd); found != m_tokens.end()) {
                for (const Token token : found->second) {
                    if (event.mask & IN_IGNORED)
                        markGone(token);
                    markWritten(token);
                }
            }
        });
    }

private:
    InotifyDescriptor m_inotify;
    Token m_nextToken = 0;
    std::unordered_map<int, std::vector<Token>> m_tokens; // by the system's watch descriptor
    std::unordered_map<Token, int> m_descriptorOf;
};

} // namespace

std::unique_ptr<FileGrowthWatch> createFileGrowthWatch() {
    return std::make_unique<InotifyGrowthWatch>();
}

} // namespace quorvane
