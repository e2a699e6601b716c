// PuTTY's saved sessions on POSIX systems: one file each in PuTTY's own folder of the user's home.
#include "import/putty_sessions.h"

#include "store/file_system.h"

namespace quorvane {

namespace {

// A session holds a few hundred short lines.
constexpr std::size_t kSessionMaxBytes = 64 * 1024;

} // namespace

std::vector<PuttySession> readPuttySessions(const std::string& home) {
    const char separator = fs::separator();
    // Where PuTTY itself looks: the XDG folder when it exists, else the older one.
    std::string folder = home + separator + ".config" + separator + "putty";
    if (!fs::folderExists(folder))
        folder = home + separator + ".putty";
    folder += separator + std::string("sessions");
    std::vector<PuttySession> sessions;
    for (const std::string& file : fs::listOrdinaryFiles(folder)) {
        if (sessions.size() == kPuttyMaxSessions)
            break;
        PuttySession session;
        session.name = decodePuttySessionName(file);
        std::string bytes;
        const std::string path = folder + separator + file;
        const fs::FileStatus status = readUserFile(path, kSessionMaxBytes, bytes);
        if (status == fs::FileStatus::Ok)
            session.values = parsePuttySessionFile(bytes);
        else
            session.unreadable = fs::fileProblemWords(status, path, kSessionMaxBytes);
        sessions.push_back(std::move(session));
    }
    return sessions;
}

} // namespace quorvane
