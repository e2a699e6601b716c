// The passes and ticks: each tunnel's state from what they see, and what follows from it.
#include "service/tunnel_supervisor.h"

#include <algorithm>

namespace quorvane {

namespace {

// Failures a missing network explains: a server that does not answer or cannot be reached.
bool networkFailure(FailureKind kind) {
    return kind == FailureKind::ServerNotAnswering || kind == FailureKind::ConnectionRefused ||
           kind == FailureKind::ClientEnded || kind == FailureKind::ConnectTimedOut ||
           kind == FailureKind::ClosedEarly || kind == FailureKind::NameNotKnown;
}

} // namespace

TunnelSupervisor::TunnelSupervisor(ServiceContext& context, TunnelCatalogue& catalogue, TunnelConnections& connections,
                                   TunnelOpener& opener)
    : m_context(context), m_catalogue(catalogue), m_connections(connections), m_opener(opener) {
    if (m_context.probeSockets) {
        m_probes.emplace(*m_context.probeSockets, m_context.health.clock());
        m_returning.emplace(*m_context.probeSockets, m_context.health.clock());
    }
}

void TunnelSupervisor::setHostLookup(ReturningServers::StartLookup startLookup) {
    if (m_returning)
        m_returning->setStartLookup(std::move(startLookup));
}

bool TunnelSupervisor::pass() {
    m_catalogue.removeLeftovers();
    std::optional<std::vector<OwnProcess>> own = knownClientsStillRunning();
    if (!own) {
        ProcessSnapshot listing;
        const bool listed = m_context.processes.ListProcesses(listing, false);
        m_context.listener->processesListed(listing.entries);
        m_quietPasses = 0;
        m_knownClients.reset();
        // An empty snapshot means the listing failed: the states stay as they were.
        if (!listed || listing.entries.empty())
            return listed;
        own = std::move(listing.own);
    }
    if (m_context.records.names().empty()) {
        m_context.listener->ticksNeeded(false);
        return true;
    }
    // Only the tunnel's own client counts, not any process that shares its name; and a tunnel is
    // connected only once its forward listens.
    TunnelClients clients = TunnelClients::forPlatform(m_tunnelsDirSeen, *own);
    clients.dropForkedCopies(m_context.processes);
    // Kept for the quiet passes, which only a start watch allows.
    if (m_startWatch && !m_knownClients) {
        m_knownClients.emplace();
        for (const std::string& tunnel : m_context.records.names()) {
            const std::vector<OwnProcess>& of = clients.clientsOf(tunnel);
            m_knownClients->insert(m_knownClients->end(), of.begin(), of.end());
        }
    }
    const std::vector<HealthChange> changes =
        m_context.health.pass(clients, m_context.records.names(), [this](const std::string& tunnel) {
            // A client left running by an earlier run keeps its tunnel's reconnection and checks.
            const TunnelDefinition definition = LoadDefinition(m_context.folders.data, tunnel);
            // Its start is not known: no time limit on a connect the program did not make.
            return ClientSetup{localForwardPorts(definition), definition.Riconnessione, 0,
                               m_context.probeSockets ? definition.Sonda : 0, std::chrono::seconds(0)};
        });
    m_context.listener->statesChanged();
    for (const HealthChange& change : changes)
        react(change);
    // A tunnel whose forwards listen now is checked at once, and connected when the check answers.
    lookAtServers();
    restartDueClients();
    // tick() tells whether it is needed from now on.
    if (!needsTicks())
        tick();
    else
        m_context.listener->ticksNeeded(true);
    return true;
}

bool TunnelSupervisor::needsTicks() const {
    if ((m_returning && !m_returning->empty()) || m_context.health.untilNextRestart())
        return true;
    return std::any_of(m_context.records.names().begin(), m_context.records.names().end(),
                       [this](const std::string& tunnel) {
                           const TunnelStatus status = m_context.health.health(tunnel).status;
                           return isUp(status);
                       });
}

std::optional<std::vector<OwnProcess>> TunnelSupervisor::knownClientsStillRunning() {
    // The folder may be moved or linked elsewhere while the program runs: looked up again at every listing.
    if (!m_startWatch || m_tunnelsDirSeen.empty())
        m_tunnelsDirSeen = m_context.clients.tunnelsDir();
    if (!m_startWatch)
        return std::nullopt;
    // Asked every pass, so that what it saw while the listing ran is not told again.
    m_startWatch->follow(m_tunnelsDirSeen, m_context.records.names());
    const bool mayHaveStarted = m_startWatch->mayHaveStarted();
    if (mayHaveStarted || m_context.clientStartedSinceListing || !m_knownClients ||
        m_quietPasses >= kQuietPassesBetweenListings) {
        m_context.clientStartedSinceListing = false;
        m_tunnelsDirSeen = m_context.clients.tunnelsDir();
        return std::nullopt;
    }
    ++m_quietPasses;
    m_context.processes.KeepRunning(*m_knownClients);
    return *m_knownClients;
}

void TunnelSupervisor::react(const HealthChange& change) {
    if (!m_catalogue.has(change.tunnel))
        return;
    const TunnelHealth& now = change.now;
    if (now.status == TunnelStatus::Failed) {
        // A client whose forward cannot work, or whose server no longer answers, is not left logged in.
        const FailureKind kind = now.failure.kind;
        if (kind == FailureKind::LocalPortInUse || kind == FailureKind::ForwardingRefused ||
            kind == FailureKind::ServerNotAnswering || kind == FailureKind::ConnectTimedOut)
            m_context.clients.stopAll(change.tunnel, kClientStopTimeoutMs, kClientEndWait);
        if (isUp(change.before)) {
            if (std::optional<Notice> after =
                    m_connections.runAfter(change.tunnel, LoadDefinition(m_context.folders.data, change.tunnel)))
                m_context.listener->noticed(*after);
        }
        Notice notice = noticeFor(NoticeKind::Dropped, change.tunnel);
        notice.failure = now.failure;
        if (now.failure.kind == FailureKind::HostKeyUnknown && now.failure.hostKey)
            m_context.listener->noticed(Notice{NoticeKind::HostKeyOffered, change.tunnel, {}, {}, 0, {}, now.failure});
        else if (now.failure.kind == FailureKind::HostKeyChanged) {
            // The key kept for the server that showed another: the jump host's own, when it was that one.
            const TunnelDefinition own = LoadDefinition(m_context.folders.data, change.tunnel);
            std::string kept = own.HostKey;
            if (!now.failure.hop.empty()) {
                const std::optional<DefinitionLoad> hop = m_connections.hopOf(change.tunnel, own);
                kept = hop ? hop->definition.HostKey : std::string();
            }
            m_context.listener->noticed(
                Notice{NoticeKind::HostKeyChanged, change.tunnel, kept, {}, 0, {}, now.failure});
        }
        m_context.listener->noticed(notice);
    } else if (now.status == TunnelStatus::Connected && change.before != TunnelStatus::Connected) {
        if (change.before == TunnelStatus::Failed || now.retries > 0)
            m_context.listener->noticed(noticeFor(NoticeKind::Restored, change.tunnel));
        m_opener.openOnConnect(change.tunnel);
    }
}

void TunnelSupervisor::restartDueClients() {
    bool waitingForALook = false;
    for (const std::string& tunnel : m_context.health.restartsDue()) {
        const DefinitionLoad load = m_catalogue.definition(tunnel);
        // A tunnel that went away, or whose definition no longer serves, is not brought back.
        if (!m_catalogue.has(tunnel) || !load.ok() || !load.definition.Riconnessione ||
            checkConnectFields(load.definition)) {
            m_context.health.stopped(tunnel);
            continue;
        }
        const FailureKind kind = m_context.health.health(tunnel).failure.kind;
        const std::optional<WaitingTunnel>& server = m_context.records.at(tunnel).firstServer;
        if (m_returning && networkFailure(kind) && server) {
            // A client started while its server cannot be reached would only hang connecting, and see the server
            // come back late. The first look at the server is waited for (a second or two: a tick tries again).
            const ReturningServers::Verdict verdict = m_returning->verdict(server->host, server->port);
            if (verdict == ReturningServers::Verdict::NotAskedYet) {
                waitingForALook = true;
                continue;
            }
            if (verdict == ReturningServers::Verdict::OutOfReach) {
                m_context.health.postpone(tunnel); // nothing was tried: the wait does not grow
                continue;
            }
            // Many tunnels to one server, all due at its return: a few at a time, the rest at the next look.
            const auto& records = m_context.records.all();
            const int loggingIn =
                static_cast<int>(std::count_if(records.begin(), records.end(), [&](const auto& other) {
                    const std::optional<WaitingTunnel>& to = other.second.firstServer;
                    return to && to->host == server->host && to->port == server->port &&
                           m_context.health.health(other.first).status == TunnelStatus::Connecting &&
                           !m_context.health.forwardsListening(other.first);
                }));
            if (loggingIn >= kLoginsPerServer) {
                waitingForALook = true;
                continue;
            }
        }
        m_context.health.restarting(tunnel);
        for (const Notice& notice : m_connections.startClient(tunnel, load.definition).notices)
            m_context.listener->noticed(notice);
    }
    scheduleNextPass(waitingForALook);
}

void TunnelSupervisor::scheduleNextPass(bool waitingForALook) {
    // A restart falls between two passes: a pass of its own is run then. One waiting for the look at its server
    // is tried again at the next tick, not in a tight loop.
    std::optional<std::chrono::milliseconds> wait;
    if (const auto next = m_context.health.untilNextRestart()) {
        const auto least = std::chrono::milliseconds(waitingForALook ? 1000 : 10);
        wait = std::clamp(*next + std::chrono::milliseconds(10), least, std::chrono::milliseconds(60000));
    }
    // A tunnel coming up is seen connected, and a server's greeting heard, within a fraction of a second.
    if (m_context.health.anyComingUp() || (m_returning && m_returning->asking()))
        wait = std::min(wait.value_or(kQuickPass), kQuickPass);
    if (wait)
        m_context.listener->passDueIn(*wait);
}

void TunnelSupervisor::lookAtServers() {
    if (!m_probes)
        return;
    std::vector<std::string> answered;
    for (const std::string& tunnel : m_probes->look(m_context.health.probeTargets(), &answered)) {
        if (!m_catalogue.has(tunnel))
            continue;
        react(m_context.health.failed(tunnel, {FailureKind::ServerNotAnswering, {}, {}}, true));
        m_context.listener->statesChanged();
        restartDueClients();
    }
    // A started client is connected once its first check has answered.
    for (const std::string& tunnel : answered) {
        if (!m_catalogue.has(tunnel))
            continue;
        if (const std::optional<HealthChange> change = m_context.health.checkAnswered(tunnel)) {
            react(*change);
            m_context.listener->statesChanged();
        }
    }
    lookForReturningServers();
}

WaitingTunnel TunnelSupervisor::firstServerOf(const std::string& tunnel) const {
    TunnelDefinition definition = LoadDefinition(m_context.folders.data, tunnel);
    // Behind a jump host the server this computer can reach is the jump host.
    if (const std::optional<DefinitionLoad> hop = m_connections.hopOf(tunnel, definition))
        definition = hop->definition;
    const int named = portValue(definition.PortaServer);
    return WaitingTunnel{tunnel, definition.IpServer, named != 0 ? named : 22};
}

void TunnelSupervisor::lookForReturningServers() {
    // A server out of reach is asked about once a second whether it is back (its greeting says so), rather than
    // waiting out the backoff: the tunnel is up again as soon as it can be. Names are looked up beside the program.
    std::vector<WaitingTunnel> waiting;
    for (const std::string& tunnel : m_context.records.names()) {
        const TunnelHealth& health = m_context.health.health(tunnel);
        const FailureKind kind = health.failure.kind;
        if (health.status != TunnelStatus::Failed || !networkFailure(kind) || !m_context.health.untilRestart(tunnel))
            continue;
        std::optional<WaitingTunnel>& server = m_context.records.at(tunnel).firstServer;
        if (!server)
            server = firstServerOf(tunnel); // read once while it waits
        waiting.push_back(*server);
        waiting.back().wasOutOfReach =
            kind == FailureKind::ConnectionRefused || kind == FailureKind::ServerNotAnswering;
    }
    // Kept while a tunnel waits or comes up, for the count of logins under way to its server.
    for (auto& [tunnel, record] : m_context.records.all()) {
        if (m_context.health.health(tunnel).status != TunnelStatus::Connecting &&
            !m_context.health.untilRestart(tunnel))
            record.firstServer.reset();
    }
    bool any = false;
    for (const std::string& tunnel : m_returning->look(waiting))
        any = m_context.health.restartNow(tunnel) || any;
    if (any)
        restartDueClients();
}

void TunnelSupervisor::tick() {
    if (m_context.network) {
        const NetworkWatch::Change change = m_context.network->look();
        if (change != NetworkWatch::Change::None) {
            // Links that look up may be dead after a sleep or a new network, and a server that was out
            // of reach may be back: ask every server now, and try every waiting tunnel.
            if (m_probes)
                m_probes->checkAllNow();
            if (m_returning)
                m_returning->askAllAfresh();
            for (const std::string& tunnel : m_context.records.names())
                m_context.health.restartNow(tunnel);
            restartDueClients();
        }
    }
    // A forward the server refuses is told by the client's log as soon as a check has been refused.
    if (const std::vector<HealthChange> changes = m_context.health.readClientWords(); !changes.empty()) {
        for (const HealthChange& change : changes) {
            if (m_catalogue.has(change.tunnel))
                react(change);
        }
        m_context.listener->statesChanged();
    }
    lookAtServers();
    // A restart that fell due between two passes starts now; a waiting tunnel's countdown is shown.
    if (!m_context.health.restartsDue().empty())
        restartDueClients();
    if (m_context.health.untilNextRestart())
        m_context.listener->statesChanged();
    m_context.listener->ticksNeeded(needsTicks());
}

TunnelHealth TunnelSupervisor::health(const std::string& tunnel) const {
    TunnelHealth health = m_context.health.health(tunnel);
    if (const auto wait = m_context.health.untilRestart(tunnel))
        health.retryIn = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(*wait).count());
    const TunnelRecord* record = m_context.records.find(tunnel);
    health.awaitingUser = health.status == TunnelStatus::Failed && record && record->askingUser;
    return health;
}

std::optional<std::uint64_t> TunnelSupervisor::statesRevision() const {
    if (m_context.health.untilNextRestart())
        return std::nullopt;
    return m_context.health.revision() + m_askingRevision;
}

void TunnelSupervisor::awaitUser(const std::string& tunnel, bool asking) {
    ++m_askingRevision;
    m_context.records.at(tunnel).askingUser = asking;
    m_context.listener->statesChanged();
}

CommandResult TunnelSupervisor::reconnectNow(const std::string& tunnel) {
    if (m_context.health.restartNow(tunnel)) {
        restartDueClients();
        return {true, {}};
    }
    return m_connections.connect(tunnel);
}

} // namespace quorvane
