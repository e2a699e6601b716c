// Listening sockets on Linux: the kernel's /proc/net/tcp tables, owners found through the candidates' descriptors.
#include "tunnel/socket_table.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_map>

namespace quorvane {

namespace {

constexpr std::string_view kListenState = "0A";

// The whole of text as a number in the given base, or nothing.
template <class Number> bool parseWhole(std::string_view text, Number& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// Appends the LISTEN rows of one table ("sl local rem st ... uid timeout inode") and indexes them by inode.
// False when the table cannot be read (a kernel without IPv6 has no tcp6).
bool readTable(const char* path, std::vector<ListeningSocket>& sockets,
               std::unordered_map<unsigned long, std::vector<std::size_t>>& byInode) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    std::getline(in, line); // column titles
    while (std::getline(in, line)) {
        std::string_view fields[10];
        std::size_t count = 0;
        std::size_t at = 0;
        while (count < 10) {
            at = line.find_first_not_of(' ', at);
            if (at == std::string::npos)
                break;
            const std::size_t end = std::min(line.find(' ', at), line.size());
            fields[count++] = std::string_view(line).substr(at, end - at);
            at = end;
        }
        if (count < 10 || fields[3] != kListenState)
            continue;
        const std::string_view local = fields[1];
        const auto colon = local.rfind(':');
        if (colon == std::string_view::npos)
            continue;
        int port = 0;
        unsigned long inode = 0;
        if (!parseWhole(local.substr(colon + 1), port, 16) || !parseWhole(fields[9], inode, 10))
            continue;
        sockets.push_back({port, NoProcessId});
        if (inode != 0) // 0: a socket being torn down, which no descriptor names
            byInode[inode].push_back(sockets.size() - 1);
    }
    return true;
}

// Marks the sockets that one process holds open: its descriptors read "socket:[inode]".
void claimSockets(ProcessId pid, std::vector<ListeningSocket>& sockets,
                  const std::unordered_map<unsigned long, std::vector<std::size_t>>& byInode) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return; // gone, or not ours to look at
    constexpr std::string_view kPrefix = "socket:[";
    char target[64];
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const ssize_t length = readlinkat(dirfd(dir), entry->d_name, target, sizeof target - 1);
        if (length <= static_cast<ssize_t>(kPrefix.size()))
            continue;
        const std::string_view link(target, static_cast<std::size_t>(length));
        if (!link.starts_with(kPrefix) || link.back() != ']')
            continue;
        unsigned long inode = 0;
        if (!parseWhole(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), inode, 10))
            continue;
        if (const auto found = byInode.find(inode); found != byInode.end())
            for (std::size_t index : found->second)
                sockets[index].owner = pid;
    }
    closedir(dir);
}

class ProcSocketTable : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets;
        std::unordered_map<unsigned long, std::vector<std::size_t>> byInode;
        const bool v4 = readTable("/proc/net/tcp", sockets, byInode);
        const bool v6 = readTable("/proc/net/tcp6", sockets, byInode);
        if (!v4 && !v6)
            return {};
        for (ProcessId pid : candidates)
            if (pid != NoProcessId && !byInode.empty())
                claimSockets(pid, sockets, byInode);
        return sockets;
    }
};

} // namespace

std::unique_ptr<SocketTable> createSystemSocketTable() {
    return std::make_unique<ProcSocketTable>();
}

} // namespace quorvane
