// Listening sockets and established connections on Linux: asked of the kernel through sock_diag (as `ss -tn`
// does), or read from the /proc/net/tcp tables where that is refused; owners found through the candidates' descriptors.
#include "tunnel/socket_table.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace quorvane {

namespace {

constexpr std::string_view kListenState = "0A";
constexpr std::string_view kEstablishedState = "01";

// The whole of text as a number in the given base, or nothing.
template <class Number> bool parseWhole(std::string_view text, Number& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// Each row of one /proc TCP table ("sl local rem st ... uid timeout inode") in the given state, with its local port
// and its inode. False when the table cannot be read (a kernel without IPv6 has no tcp6).
bool readTableRows(const char* path, std::string_view state,
                   const std::function<void(int port, unsigned long inode)>& take) {
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
        if (count < 10 || fields[3] != state)
            continue;
        const std::string_view local = fields[1];
        const auto colon = local.rfind(':');
        if (colon == std::string_view::npos)
            continue;
        int port = 0;
        unsigned long inode = 0;
        if (!parseWhole(local.substr(colon + 1), port, 16) || !parseWhole(fields[9], inode, 10))
            continue;
        take(port, inode);
    }
    return true;
}

// Appends the LISTEN rows of one table and indexes them by inode.
bool readTable(const char* path, std::vector<ListeningSocket>& sockets,
               std::unordered_map<unsigned long, std::vector<std::size_t>>& byInode) {
    return readTableRows(path, kListenState, [&](int port, unsigned long inode) {
        sockets.push_back({port, NoProcessId});
        if (inode != 0) // 0: a socket being torn down, which no descriptor names
            byInode[inode].push_back(sockets.size() - 1);
    });
}

using InodeIndex = std::unordered_map<unsigned long, std::vector<std::size_t>>;

// A netlink socket to the kernel's socket diagnostics, closed with the object.
class DiagSocket {
public:
    DiagSocket() : m_fd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (m_fd < 0)
            return;
        // The kernel answers at once; a second is a hang, not a wait.
        const timeval wait{1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~DiagSocket() {
        if (m_fd >= 0)
            close(m_fd);
    }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Reads the kernel's answer to the dump question numbered sequence, handing each socket to take. False when the
// kernel does not answer (an old kernel, a sandbox that refuses netlink), refuses the question or cuts the answer
// short. The number keeps what is left of an earlier answer cut short from being taken for this one's.
template <class Take> bool readDump(int fd, std::uint32_t sequence, Take&& take) {
    alignas(nlmsghdr) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        int left = static_cast<int>(got);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_seq != sequence)
                continue;
            if (header->nlmsg_type == NLMSG_DONE)
                return true;
            if (header->nlmsg_type == NLMSG_ERROR)
                return false;
            if ((header->nlmsg_type != SOCK_DIAG_BY_FAMILY && header->nlmsg_type != TCPDIAG_GETSOCK) ||
                header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                continue;
            take(*static_cast<const inet_diag_msg*>(NLMSG_DATA(header)));
        }
    }
}

template <class Request>
bool sendDumpRequest(int fd, std::uint16_t type, std::uint32_t sequence, const Request& request) {
    struct {
        nlmsghdr header;
        Request request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = type;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request = request;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) >= 0;
}

// How the kernel is asked: sequence numbers each question; bothAtOnce is cleared by a kernel that refuses the
// older form of the question, which covers IPv4 and IPv6 in one answer.
struct DiagQuestions {
    int fd = -1;
    std::uint32_t sequence = 0;
    bool bothAtOnce = true;
};

// Hands each TCP socket in the given states to take, as the kernel lists them: only those, and no text to parse,
// whatever the number of connections. One answer for both families halves the cost of a pass's look; a kernel
// that refuses it is asked family by family, after restart() has dropped what was taken. False when no answer
// came whole: what take was handed is then not to be trusted.
template <class Take, class Restart>
bool askSockets(DiagQuestions& ask, std::uint32_t states, Take&& take, Restart&& restart) {
    if (ask.bothAtOnce) {
        inet_diag_req both{};
        both.idiag_family = AF_INET; // the kernel answers for every family to this form
        both.idiag_states = states;
        const std::uint32_t sequence = ++ask.sequence;
        if (sendDumpRequest(ask.fd, TCPDIAG_GETSOCK, sequence, both) && readDump(ask.fd, sequence, take))
            return true;
        restart();
    }
    for (const unsigned char family : {AF_INET, AF_INET6}) {
        inet_diag_req_v2 request{};
        request.sdiag_family = family;
        request.sdiag_protocol = IPPROTO_TCP;
        request.idiag_states = states;
        const std::uint32_t sequence = ++ask.sequence;
        if (!sendDumpRequest(ask.fd, SOCK_DIAG_BY_FAMILY, sequence, request) || !readDump(ask.fd, sequence, take))
            return false;
    }
    ask.bothAtOnce = false; // this kernel answers only family by family
    return true;
}

// The listening TCP sockets, indexed by inode. False when the kernel does not answer.
bool askListening(DiagQuestions& ask, std::vector<ListeningSocket>& sockets, InodeIndex& byInode) {
    const auto take = [&](const inet_diag_msg& diag) {
        sockets.push_back({ntohs(diag.id.idiag_sport), NoProcessId});
        if (diag.idiag_inode != 0)
            byInode[diag.idiag_inode].push_back(sockets.size() - 1);
    };
    const auto restart = [&] {
        sockets.clear();
        byInode.clear();
    };
    return askSockets(ask, 1u << TCP_LISTEN, take, restart);
}

// Counts, into counts (one per port, same order), the established TCP connections of the /proc table at path
// whose local port is one of ports. False when the table cannot be read.
bool countInTable(const char* path, const std::vector<int>& ports, std::vector<int>& counts) {
    return readTableRows(path, kEstablishedState, [&](int port, unsigned long) {
        if (const auto at = std::find(ports.begin(), ports.end(), port); at != ports.end())
            ++counts[static_cast<std::size_t>(at - ports.begin())];
    });
}

// Marks the sockets that one process holds open: its descriptors read "socket:[inode]". Returns their inodes.
std::vector<unsigned long> claimSockets(ProcessId pid, std::vector<ListeningSocket>& sockets,
                                        const std::unordered_map<unsigned long, std::vector<std::size_t>>& byInode) {
    std::vector<unsigned long> claimed;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return claimed; // gone, or not ours to look at
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
        if (const auto found = byInode.find(inode); found != byInode.end()) {
            for (std::size_t index : found->second)
                sockets[index].owner = pid;
            claimed.push_back(inode);
        }
    }
    closedir(dir);
    return claimed;
}

class ProcSocketTable : public SocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets;
        InodeIndex byInode;
        if (!diagnostics() || !askListening(m_ask, sockets, byInode)) {
            m_diag.reset(); // an answer cut short may still be on its way: the next look asks afresh
            sockets.clear();
            byInode.clear();
            const bool v4 = readTable("/proc/net/tcp", sockets, byInode);
            const bool v6 = readTable("/proc/net/tcp6", sockets, byInode);
            if (!v4 && !v6)
                return {};
        }
        // Reading a client's descriptors costs a call per descriptor. While no listening socket has come since
        // the last look and a client still holds every one it held then, it holds the same ones now: a socket
        // does not change hands, and a closed one leaves the table.
        const bool anyNew = std::any_of(byInode.begin(), byInode.end(),
                                        [this](const auto& entry) { return !m_seen.count(entry.first); });
        std::unordered_map<ProcessId, std::vector<unsigned long>> held;
        for (ProcessId pid : candidates) {
            if (pid == NoProcessId || byInode.empty())
                continue;
            const auto before = m_held.find(pid);
            const bool same = !anyNew && before != m_held.end() &&
                              std::all_of(before->second.begin(), before->second.end(),
                                          [&](unsigned long inode) { return byInode.count(inode) > 0; });
            if (!same) {
                held[pid] = claimSockets(pid, sockets, byInode);
                continue;
            }
            for (unsigned long inode : before->second)
                for (std::size_t index : byInode.at(inode))
                    sockets[index].owner = pid;
            held[pid] = before->second;
        }
        m_held = std::move(held);
        m_seen.clear();
        for (const auto& entry : byInode)
            m_seen.insert(entry.first);
        return sockets;
    }

    std::vector<int> connectionsOn(const std::vector<int>& ports) override {
        if (ports.empty())
            return {};
        std::vector<int> counts(ports.size(), 0);
        const auto count = [&](const inet_diag_msg& diag) {
            const int port = ntohs(diag.id.idiag_sport);
            if (const auto at = std::find(ports.begin(), ports.end(), port); at != ports.end())
                ++counts[static_cast<std::size_t>(at - ports.begin())];
        };
        const auto restart = [&] { std::fill(counts.begin(), counts.end(), 0); };
        if (diagnostics() && askSockets(m_ask, 1u << TCP_ESTABLISHED, count, restart))
            return counts;
        m_diag.reset();
        std::fill(counts.begin(), counts.end(), 0);
        const bool v4 = countInTable("/proc/net/tcp", ports, counts);
        const bool v6 = countInTable("/proc/net/tcp6", ports, counts);
        if (!v4 && !v6)
            return {};
        return counts;
    }

private:
    // Kept between looks: every pass asks, and a socket of its own each time would cost three more calls.
    // False when no netlink socket can be had.
    bool diagnostics() {
        if (!m_diag || m_diag->fd() < 0)
            m_diag = std::make_unique<DiagSocket>();
        m_ask.fd = m_diag->fd();
        return m_ask.fd >= 0;
    }

    std::unique_ptr<DiagSocket> m_diag;
    DiagQuestions m_ask;                                              // its numbering runs on across sockets
    std::unordered_map<ProcessId, std::vector<unsigned long>> m_held; // each candidate's listening inodes
    std::unordered_set<unsigned long> m_seen;                         // every listening inode, at the last look
};

} // namespace

std::unique_ptr<SocketTable> createSystemSocketTable() {
    return std::make_unique<ProcSocketTable>();
}

} // namespace quorvane
