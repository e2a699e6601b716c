// Linux: the kernel tells of every open of a file in a watched folder, and starting a program opens its file.
#include "process/client_start_watch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <sys/inotify.h>
#include <unistd.h>

#include "process/process_services.h"
#include "store/inotify_posix.h"

namespace quorvane {

namespace {

// The end of a client copy's name ("OfficeSSH.exe"); a folder copied from Windows may spell it in any case.
bool looksLikeClientCopy(std::string_view fileName) {
    constexpr std::string_view kSuffix = "ssh.exe";
    return fileName.size() >= kSuffix.size() &&
           foldAsciiCase(std::string(fileName.substr(fileName.size() - kSuffix.size()))) == kSuffix;
}

class InotifyStartWatch : public ClientStartWatch {
public:
    void follow(const std::string& tunnelsDir, const std::vector<std::string>& tunnels) override {
        if (m_watching && tunnelsDir == m_dir && tunnels == m_tunnels)
            return;
        rewatch(tunnelsDir, tunnels);
    }

    bool mayHaveStarted() override {
        bool started = !m_watching || m_unread;
        m_unread = false;
        m_inotify.drain([&](const inotify_event& event) { started = counts(event) || started; });
        return started;
    }

private:
    void rewatch(const std::string& tunnelsDir, const std::vector<std::string>& tunnels) {
        m_dir = tunnelsDir;
        m_tunnels = tunnels;
        m_watching = false;
        m_unread = true;
        if (m_inotify.fd() < 0)
            return;
        for (const int watch : m_watches)
            inotify_rm_watch(m_inotify.fd(), watch);
        m_watches.clear();
        // Events of the removed watches may still be queued: they are read, and the first pass lists anyway.
        constexpr uint32_t kFolderChanges =
            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        m_root = inotify_add_watch(m_inotify.fd(), tunnelsDir.c_str(), kFolderChanges);
        if (m_root < 0)
            return;
        m_watches.push_back(m_root);
        for (const std::string& tunnel : tunnels) {
            const std::string folder = tunnelsDir + '/' + tunnel;
            const int watch =
                inotify_add_watch(m_inotify.fd(), folder.c_str(), kFolderChanges | IN_OPEN | IN_DONT_FOLLOW);
            // A folder that cannot be watched (the kernel's limit on watches) leaves every pass listing.
            if (watch < 0)
                return;
            m_watches.push_back(watch);
        }
        m_watching = true;
    }

    bool counts(const inotify_event& event) {
        // Lost events, or a watched folder gone or moved: nothing can be told until the folders are watched again.
        if ((event.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
            if (std::find(m_watches.begin(), m_watches.end(), event.wd) != m_watches.end() ||
                (event.mask & IN_Q_OVERFLOW) != 0)
                m_watching = false;
            return true;
        }
        if (event.wd == m_root)
            return true;
        // In a tunnel's folder only its client copy matters: the definition and the log are read by every pass.
        return event.len > 0 && looksLikeClientCopy(std::string_view(event.name));
    }

    InotifyDescriptor m_inotify;
    int m_root = -1;
    bool m_watching = false;
    bool m_unread = true;
    std::string m_dir;
    std::vector<std::string> m_tunnels;
    std::vector<int> m_watches;
};

} // namespace

std::unique_ptr<ClientStartWatch> createSystemClientStartWatch() {
    return std::make_unique<InotifyStartWatch>();
}

} // namespace quorvane
