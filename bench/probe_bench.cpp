// The servers' checks with the real client against a loopback sshd: how soon a frozen server is noticed, and their CPU.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_stats.h"
#include "process/client_launcher.h"
#include "process/process_services.h"
#include "service/tunnel_service.h"
#include "store/tunnel_definition.h"
#include "support/ssh_server.h"
#include "support/temp_dir.h"
#include "tunnel/network_watch.h"
#include "tunnel/probe_sockets.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_health_tracker.h"

namespace {

using namespace quorvane;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

constexpr int kTrials = 5;
constexpr double kDetectionGoalSeconds = 10;
constexpr auto kDetectionLimit = 20s; // a trial not detected by then counts as this long
constexpr int kLoadTunnels = 50;
constexpr auto kLoadWindow = 60s;
constexpr double kCpuGoalPercent = 0.05; // of one core, for all the load's tunnels together
constexpr int kLoginsAtOnce = 8;         // below sshd's MaxStartups (10), which drops logins beyond it
constexpr const char* kCheckAnswered = "Forwarded connection refused by remote: Connect failed";

// ---- processes, from /proc ----

// The fields after the command name ("S 1 ..."), empty when the process is gone.
std::vector<std::string> statFields(pid_t pid) {
    // Read raw: a process that ends meanwhile fails the read, which a stream would throw for.
    std::string stat;
    if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
        char buffer[1024];
        stat.assign(buffer, std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
    }
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream rest(stat.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

// On-CPU seconds: schedstat's nanoseconds where the kernel gives them (plink and sshd are single-threaded, and
// stat's 10 ms ticks are coarser than what one process spends on a minute of checks), else stat's utime + stime.
double cpuSeconds(pid_t pid) {
    if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/schedstat").c_str(), "r")) {
        unsigned long long nanoseconds = 0;
        const bool read = std::fscanf(file, "%llu", &nanoseconds) == 1;
        std::fclose(file);
        if (read && nanoseconds != 0)
            return static_cast<double>(nanoseconds) / 1e9;
    }
    const std::vector<std::string> fields = statFields(pid);
    if (fields.size() < 13)
        return 0;
    return static_cast<double>(std::stoull(fields[11]) + std::stoull(fields[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// This process, every thread.
double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool alive(pid_t pid) {
    const std::vector<std::string> fields = statFields(pid);
    return !fields.empty() && fields[0] != "Z" && fields[0] != "X";
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stoi(name));
        const std::vector<std::string> fields = statFields(pid);
        if (fields.size() > 1 && std::stoi(fields[1]) == parent)
            children.push_back(pid);
    }
    return children;
}

std::vector<pid_t> descendantsOf(pid_t root) {
    std::vector<pid_t> tree = childrenOf(root);
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (const pid_t child : childrenOf(tree[i]))
            tree.push_back(child);
    }
    return tree;
}

// This run's sshd: the child of this process running it (another sshd on the machine is not ours to touch).
pid_t ownSshd() {
    for (const pid_t child : childrenOf(getpid())) {
        std::error_code ec;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ec) == "/usr/sbin/sshd")
            return child;
    }
    throw std::runtime_error("the test server's sshd is not a child of this process");
}

// A free loopback port below the ephemeral range, where the program picks its check forwards' ports: tunnels set
// up before their clients start would otherwise meet one of those on their own port now and then.
int freeUserPort() {
    static int next = 20000 + static_cast<int>(getpid() % 5000);
    for (int tries = 0; tries < 1000; ++tries) {
        const int port = next++;
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free)
            return port;
    }
    throw std::runtime_error("no free loopback port below the ephemeral range");
}

double secondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// ---- the program's side ----

class Listener : public TunnelServiceListener {
public:
    void clientStarted(ProcessId id) override { lastClient = static_cast<pid_t>(id); }
    pid_t lastClient = -1;
};

struct Rig {
    Rig() : folders{work.withSeparator(), work.withSeparator()} {
        work.makeFolder("tunnells");
        std::filesystem::copy_file(test::plinkPath(), work.file("plink.exe"));
        service.setListener(&listener);
        sshd = ownSshd();
    }
    ~Rig() {
        for (const std::string& tunnel : service.tunnels())
            service.disconnect(tunnel);
    }

    // A tunnel to the test server, checked every `sonda` seconds (0: never).
    void make(const std::string& name, int sonda) {
        if (!service.has(name) && !service.add(name).done)
            throw std::runtime_error("the add command made no tunnel " + name);
        TunnelDefinition d;
        d.IpServer = "127.0.0.1";
        d.PortaServer = std::to_string(server.port());
        d.Username = server.user();
        d.Password = server.password();
        d.PortaLocale = std::to_string(freeUserPort());
        d.IpServizio = "127.0.0.1";
        d.PortaServizio = std::to_string(server.port());
        d.Sonda = sonda;
        service.save(name, d);
    }
    pid_t connect(const std::string& name) {
        const CommandResult result = service.connect(name);
        if (!result.done)
            throw std::runtime_error("connect refused for " + name);
        return listener.lastClient;
    }
    bool connected(const std::string& name) const { return service.health(name).status == TunnelStatus::Connected; }

    test::SshServer server; // first: it points HOME, where the clients find the host key, at its folder
    test::TempDir work;
    ProgramFolders folders;
    std::unique_ptr<ProcessServices> processes = createSystemProcessServices();
    std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
    std::unique_ptr<SocketTable> sockets = createSystemSocketTable();
    SystemClock clock;
    TunnelHealthTracker health{folders.data, *sockets, clock};
    std::unique_ptr<ProbeSockets> probes = createSystemProbeSockets();
    std::unique_ptr<NetworkWatch> network = createSystemNetworkWatch();
    TunnelService service{folders, *processes, *launcher, health, probes.get(), network.get()};
    Listener listener;
    pid_t sshd = -1;
};

// The program's timers: a tick every second, a pass every third.
class Timers {
public:
    explicit Timers(TunnelService& service) : m_service(service), m_next(Steady::now()) {}

    // Runs them up to `until`, which then is now.
    void runTo(Steady::time_point until) {
        while (m_next <= until)
            step();
        std::this_thread::sleep_until(until);
    }
    // Runs them until done() holds (true) or limit has passed (false); done() is asked after each of them, and
    // every `poll` between them when given.
    bool runUntil(const std::function<bool()>& done, Steady::duration limit, Steady::duration poll = {}) {
        const auto end = Steady::now() + limit;
        while (!done()) {
            const auto now = Steady::now();
            if (now > end)
                return false;
            if (poll != Steady::duration{} && now + poll < m_next)
                std::this_thread::sleep_for(poll);
            else
                step();
        }
        return true;
    }
    // One tick (with its pass when due), at its time; returns when it started.
    Steady::time_point step() {
        // Ticks missed while the caller did something else are not made up in a burst, as with Qt's timers.
        if (m_next + 1s < Steady::now())
            m_next = Steady::now();
        std::this_thread::sleep_until(m_next);
        const auto started = Steady::now();
        if (m_count++ % 3 == 0)
            m_service.pass();
        m_service.tick();
        m_next += 1s;
        return started;
    }

private:
    TunnelService& m_service;
    Steady::time_point m_next;
    long m_count = 0;
};

std::size_t countIn(const std::string& path, const std::string& words) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(words) != std::string::npos;
    return count;
}

// ---- detection of a frozen server ----

struct Detection {
    std::vector<double> latencies;
    double plinkQuiet = 0; // the longest a frozen server went unnoticed by the client itself
};

std::string lastLines(const std::string& path, std::size_t count) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
        text += "    " + lines[i] + "\n";
    return text;
}

Detection detectFrozenServer(Rig& rig, Timers& timers) {
    Detection result;
    const std::string name = "Frozen";
    rig.make(name, kDefaultProbeSeconds);
    const std::string log = rig.health.clientLog(name);
    const double limit = std::chrono::duration<double>(kDetectionLimit).count();
    for (int trial = 0; trial < kTrials; ++trial) {
        const pid_t client = rig.connect(name);
        // The first check's answer, seen within 10 ms of it.
        if (!timers.runUntil([&] { return rig.connected(name) && countIn(log, kCheckAnswered) > 0; }, 20s, 10ms))
            throw std::runtime_error("no answered check within 20 s; the client's last words:\n" + lastLines(log, 5));
        // Frozen at a different point of the checks' cycle each time, the first just after an answer: the worst.
        const double offset = 0.05 + trial * static_cast<double>(kDefaultProbeSeconds) / kTrials;
        timers.runTo(Steady::now() +
                     std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(offset)));
        const std::vector<pid_t> sessions = descendantsOf(rig.sshd);
        const auto frozen = Steady::now();
        for (const pid_t session : sessions)
            kill(session, SIGSTOP);
        double latency = limit;
        std::string otherwise;
        while (secondsSince(frozen) < limit) {
            const bool clientUp = alive(client) && rig.connected(name);
            const auto tick = timers.step();
            const TunnelHealth health = rig.service.health(name);
            if (health.status != TunnelStatus::Failed)
                continue;
            if (health.failure.kind == FailureKind::ServerNotAnswering) {
                latency = secondsSince(frozen);
                if (clientUp)
                    result.plinkQuiet =
                        std::max(result.plinkQuiet, std::chrono::duration<double>(tick - frozen).count());
            } else {
                otherwise = "failed for another reason (" + std::to_string(static_cast<int>(health.failure.kind)) +
                            "); the client's last words:\n" + lastLines(log, 5);
            }
            break;
        }
        result.latencies.push_back(latency);
        std::printf("  trial %d: frozen %.2f s after a check was answered, noticed after %.2f s%s\n", trial + 1, offset,
                    latency, latency >= limit ? " (not within the limit)" : "");
        if (!otherwise.empty())
            std::printf("  %s", otherwise.c_str());
        for (const pid_t session : sessions)
            kill(session, SIGCONT);
        rig.service.disconnect(name);
        timers.runUntil([&] { return !alive(client); }, 5s);
    }
    return result;
}

// ---- the checks' CPU ----

struct Cpu {
    double program = 0;
    double clients = 0;
    double server = 0;
    std::size_t checks = 0; // answered during the window, as the clients' logs tell
};

Cpu loadCpu(Rig& rig, Timers& timers, int sonda) {
    std::vector<std::string> names;
    std::map<std::string, pid_t> clients;
    for (int i = 0; i < kLoadTunnels; ++i) {
        names.push_back("Load" + std::to_string(i));
        rig.make(names.back(), sonda);
    }
    for (std::size_t first = 0; first < names.size(); first += kLoginsAtOnce) {
        const std::size_t end = std::min(names.size(), first + kLoginsAtOnce);
        for (std::size_t i = first; i < end; ++i)
            clients[names[i]] = rig.connect(names[i]);
        // Set-up only, outside the measured window: passes more often than the timers', to connect sooner.
        const auto deadline = Steady::now() + 30s;
        while (!std::all_of(names.begin() + static_cast<long>(first), names.begin() + static_cast<long>(end),
                            [&](const std::string& name) { return rig.connected(name); })) {
            if (Steady::now() > deadline) {
                std::string states;
                for (std::size_t i = first; i < end; ++i) {
                    const TunnelHealth health = rig.service.health(names[i]);
                    states += " " + names[i] + ":" + std::to_string(static_cast<int>(health.status)) + "/" +
                              std::to_string(static_cast<int>(health.failure.kind));
                }
                throw std::runtime_error(
                    "the load's tunnels did not all connect within 30 s (status/failure:" + states +
                    "); the last one's log:\n" + lastLines(rig.health.clientLog(names[end - 1]), 5));
            }
            std::this_thread::sleep_for(200ms);
            rig.service.pass();
        }
    }
    timers.runTo(Steady::now() + 3s); // the first checks, which come at once, are not the steady cost

    const auto sample = [&](std::map<pid_t, double>& sessions, std::size_t& checks) {
        Cpu cpu;
        cpu.program = ownCpuSeconds();
        for (const auto& [name, pid] : clients) {
            cpu.clients += cpuSeconds(pid);
            checks += countIn(rig.health.clientLog(name), kCheckAnswered);
        }
        for (const pid_t session : descendantsOf(rig.sshd))
            sessions[session] = cpuSeconds(session);
        return cpu;
    };
    std::map<pid_t, double> sessionsBefore;
    std::map<pid_t, double> sessionsAfter;
    std::size_t checksBefore = 0;
    std::size_t checksAfter = 0;
    const Cpu before = sample(sessionsBefore, checksBefore);
    timers.runTo(Steady::now() + kLoadWindow);
    const Cpu after = sample(sessionsAfter, checksAfter);

    Cpu used{after.program - before.program, after.clients - before.clients, 0, checksAfter - checksBefore};
    for (const auto& [session, seconds] : sessionsAfter) {
        const auto start = sessionsBefore.find(session);
        used.server += seconds - (start == sessionsBefore.end() ? 0 : start->second);
    }
    const auto dropped =
        std::count_if(names.begin(), names.end(), [&](const std::string& name) { return !rig.connected(name); });
    for (const std::string& name : names)
        rig.service.disconnect(name);
    timers.runUntil([&] { return descendantsOf(rig.sshd).empty(); }, 10s);
    if (dropped != 0)
        throw std::runtime_error(std::to_string(dropped) + " of the load's tunnels dropped during the window");
    return used;
}

double percentOfCore(double cpuSeconds) {
    return 100.0 * cpuSeconds / std::chrono::duration<double>(kLoadWindow).count();
}

} // namespace

int main() {
    if (const std::string gap = test::sshPrerequisiteGap(); !gap.empty()) {
        std::fprintf(stderr, "%s\n", gap.c_str());
        return test::prerequisitesRequired() ? 1 : 0;
    }
    try {
        Rig rig;
        Timers timers(rig.service);

        std::printf("frozen server, checks every %d s (the default), timeout %lld s:\n", kDefaultProbeSeconds,
                    static_cast<long long>(LivenessProbes::kTimeout.count()));
        const Detection detection = detectFrozenServer(rig, timers);
        const double worst = *std::max_element(detection.latencies.begin(), detection.latencies.end());
        std::printf("frozen server noticed after: median %.2f s, max %.2f s over %d trials (goal max <= %.0f s); "
                    "plink alone, in the same trials: > %.1f s (still running and connected when the check told)\n",
                    bench::medianOf(detection.latencies), worst, kTrials, kDetectionGoalSeconds, detection.plinkQuiet);

        std::printf("CPU over %lld s with %d tunnels, checks off (Sonda 0) then on (Sonda %d):\n",
                    static_cast<long long>(kLoadWindow.count()), kLoadTunnels, kDefaultProbeSeconds);
        const Cpu off = loadCpu(rig, timers, 0);
        const Cpu on = loadCpu(rig, timers, kDefaultProbeSeconds);
        const double program = on.program - off.program;
        const double others = (on.clients + on.server) - (off.clients + off.server);
        const double total = percentOfCore(program + others);
        std::printf("  off: program %.2f s, clients %.2f s, server %.2f s; on: program %.2f s, clients %.2f s, "
                    "server %.2f s; %zu checks answered while on\n",
                    off.program, off.clients, off.server, on.program, on.clients, on.server, on.checks);
        const double tunnelHours = kLoadTunnels * std::chrono::duration<double>(kLoadWindow).count() / 3600;
        std::printf("checks' CPU with %d tunnels: program %.3f %%, clients+server %.3f %%, total %.3f %% of one core "
                    "(goal <= %.2f %%); %.2f CPU s per tunnel-hour\n",
                    kLoadTunnels, percentOfCore(program), percentOfCore(others), total, kCpuGoalPercent,
                    (program + others) / tunnelHours);

        const bool met = worst <= kDetectionGoalSeconds && total <= kCpuGoalPercent;
        std::printf("%s\n", met ? "both goals met" : "goal missed");
        return met ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "probe_bench: %s\n", error.what());
        return 1;
    }
}
