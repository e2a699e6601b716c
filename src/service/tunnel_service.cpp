// The tunnel commands and the periodic pass, carried out on the folders and the clients, never shown.
#include "service/tunnel_service.h"

#include <algorithm>
#include <filesystem>

#include "process/key_generator.h"
#include "process/program_runner.h"
#include "service/definition_prefetch.h"
#include "store/file_system.h"
#include "store/paths.h"
#include "store/program_settings.h"
#include "store/tunnel_rename.h"

namespace quorvane {

namespace {

// Why each program that is not approved did not run, and how to approve it.
std::vector<Notice> notApproved(const std::string& tunnel, const std::vector<ConnectPlan::Program>& programs) {
    std::vector<Notice> notices;
    for (const ConnectPlan::Program& program : programs)
        notices.push_back(
            Notice{NoticeKind::ProgramNotApproved, tunnel, program.command, programSlotKey(program.slot)});
    return notices;
}

// Failures a missing network explains: a server that does not answer or cannot be reached.
bool networkFailure(FailureKind kind) {
    return kind == FailureKind::ServerNotAnswering || kind == FailureKind::ConnectionRefused ||
           kind == FailureKind::ClientEnded || kind == FailureKind::ConnectTimedOut ||
           kind == FailureKind::ClosedEarly || kind == FailureKind::NameNotKnown;
}

// What a client was started with, as far as watching it goes.
ClientSetup setupFor(const TunnelDefinition& definition, int probePort, int probeSeconds) {
    return ClientSetup{localForwardPorts(definition), definition.Riconnessione, probePort, probeSeconds,
                       std::chrono::seconds(definition.AttesaConnessione)};
}

Notice noticeFor(NoticeKind kind, const std::string& tunnel) {
    return Notice{kind, tunnel};
}

CommandResult refused(NoticeKind kind, const std::string& tunnel) {
    return {false, {noticeFor(kind, tunnel)}};
}

// A definition (or a file of one) that cannot serve, in the store's words.
Notice unusable(const std::string& tunnel, std::string words) {
    Notice notice = noticeFor(NoticeKind::DefinitionUnusable, tunnel);
    notice.detail = std::move(words);
    return notice;
}

} // namespace

TunnelService::TunnelService(ProgramFolders folders, ProcessServices& processes, ClientLauncher& launcher,
                             TunnelHealthTracker& health, ProbeSockets* probes, NetworkWatch* network)
    : m_folders(std::move(folders)), m_processes(processes), m_launcher(launcher), m_health(health),
      m_clients(processes, paths::TunnelsDirForListing(m_folders.data)), m_probeSockets(probes), m_network(network),
      m_approvals(m_folders.data) {
    if (m_probeSockets) {
        m_probes.emplace(*m_probeSockets, m_health.clock());
        m_returning.emplace(*m_probeSockets, m_health.clock());
    }
}

TunnelService::~TunnelService() = default;

// ---- the list ----

void TunnelService::list(const std::function<void()>& letEventsThrough) {
    TExpandedFolder walker(letEventsThrough);
    // A folder inside a tunnel is no tunnel: every command builds its paths from the name alone, so a
    // row for it would act on the tunnel of that name. Not walking them also keeps a huge tree cheap.
    walker.SetEnterSubfolders(false);
    walker.SetFolder(fs::resolve(paths::TunnelsDirForListing(m_folders.data)));
    m_tunnels = walker.GetFolderNames();
    m_listed = std::unordered_set<std::string>(m_tunnels.begin(), m_tunnels.end());
    m_leftoversPending = true;
    m_listener->tunnelsChanged();
}

void TunnelService::removeLeftovers() {
    if (!m_leftoversPending)
        return;
    m_leftoversPending = false;
    // One look at each tunnel folder's names; nothing below it is read.
    for (const std::string& tunnel : m_tunnels)
        removeLeftoverFiles(m_folders.data, tunnel);
}

bool TunnelService::has(const std::string& tunnel) const {
    return m_listed.count(tunnel) > 0;
}

bool TunnelService::sameNameListed(const std::string& name, const std::string& except) const {
    const std::string folded = foldAsciiCase(name);
    return std::any_of(m_tunnels.begin(), m_tunnels.end(),
                       [&](const std::string& listed) { return listed != except && foldAsciiCase(listed) == folded; });
}

LoadReport TunnelService::load(const LoadHooks& hooks) {
    LoadReport report;
    list(hooks.letEventsThrough);
    // One snapshot serves every automatic connection: a tunnel whose client already runs (after a
    // restore from the notification area) must not get a second session.
    std::optional<TunnelClients> running;
    // A copy: a hook may let a pass run, and nothing may change the list under the loop.
    const std::vector<std::string> tunnels = m_tunnels;
    DefinitionPrefetch definitions(paths::TunnelsDirForListing(m_folders.data), tunnels);
    if (hooks.listed)
        hooks.listed();
    for (std::size_t index = 0; index < tunnels.size(); ++index) {
        const std::string& tunnel = tunnels[index];
        const DefinitionLoad load = definitions.take(index);
        if (!load.ok() && load.problem != DefinitionProblem::Missing)
            report.unusable.push_back(load.message()); // loads empty, so it is not connected
        if (hooks.reading)
            hooks.reading(tunnel);
        if (!load.definition.AutoConnessione || m_disconnectedByUser.count(tunnel))
            continue;
        if (!running)
            running = m_clients.snapshot();
        // A second row of the same name must not start another one either.
        if (running->isRunning(tunnel) ||
            std::find(report.started.begin(), report.started.end(), tunnel) != report.started.end())
            continue;
        CommandResult result = connect(tunnel, hooks.beforeStart, hooks.approve);
        report.notices.insert(report.notices.end(), result.notices.begin(), result.notices.end());
        report.started.push_back(tunnel);
    }
    // One pass after all the connects, not one per connect.
    if (!report.started.empty())
        pass();
    return report;
}

// ---- commands ----

CommandResult TunnelService::add(const std::string& name) {
    // A name is one folder name: anything else would build paths outside the tunnels folder.
    if (name.empty() || !paths::isValidTunnelName(name))
        return refused(NoticeKind::NameInvalid, name);
    const std::string folder = paths::TunnelFolderForAdd(m_folders.data, name);
    // An existing tunnel (any letter case) keeps its definition and gets no second row.
    if (fs::folderExists(folder) || sameNameListed(name))
        return refused(NoticeKind::NameTaken, name);
    if (!fs::createFolder(folder)) {
        Notice notice = noticeFor(NoticeKind::FolderNotCreated, name);
        notice.detail = "Unable to write to " + paths::DefinitionFileForAdd(folder);
        return {false, {notice}};
    }
    std::string source = paths::PlinkSource(m_folders.program);
    if (!fs::fileExists(source)) {
        const std::string onPath = fs::findOnPath("plink");
        if (!onPath.empty())
            source = onPath;
    }
    const bool copied = fs::copyFile(source, paths::ClientCopyForAdd(m_folders.data, name));
    CreateDefaultDefinition(folder);
    m_tunnels.push_back(name);
    m_listed.insert(name);
    m_listener->tunnelsChanged();
    CommandResult result{true, {}};
    if (!copied)
        result.notices.push_back(noticeFor(NoticeKind::ClientNotCopied, name));
    return result;
}

CommandResult TunnelService::exportTunnel(const std::string& tunnel, const std::string& file, bool withSecrets) const {
    const DefinitionLoad load = definition(tunnel);
    // A cut value would be exported cut, as if whole.
    if (!load.ok()) {
        return {false, {unusable(tunnel, load.message())}};
    }
    TunnelDefinition exported = load.definition;
    if (!withSecrets) {
        exported.Password.clear();
        exported.HostKey.clear();
    }
    try {
        exportDefinition(file, exported);
    } catch (const StoreError& error) {
        return {false, {unusable(tunnel, error.what())}};
    }
    return {true, {}};
}

TunnelService::ImportCheck TunnelService::checkImport(const std::string& file) const {
    ImportCheck check;
    const DefinitionLoad load = loadDefinitionFile(file);
    if (!load.ok()) {
        check.notices.push_back(unusable({}, load.message()));
        return check;
    }
    check.definition = load.definition;
    // The file's own name, less its extension; the bytes as given, so a name that is not UTF-8 stays as it is.
    std::string base = file.substr(file.find_last_of(fs::separator() == '/' ? "/" : "\\/") + 1);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0)
        base.erase(dot);
    if (base.empty() || !paths::isValidTunnelName(base))
        base = "Tunnell";
    check.name = freeName(base);
    return check;
}

std::string TunnelService::freeName(const std::string& base) const {
    std::string name = base;
    for (int number = 2; sameNameListed(name) || fs::folderExists(paths::TunnelFolderForAdd(m_folders.data, name));
         ++number)
        name = base + " " + std::to_string(number);
    return name;
}

CommandResult TunnelService::importCandidates(const std::vector<ImportCandidate>& chosen,
                                              std::vector<std::string>& made) {
    CommandResult result{true, {}};
    for (const ImportCandidate& candidate : chosen) {
        if (!candidate.importable())
            continue;
        const std::string name = freeName(candidate.tunnelName.empty() ? "Tunnell" : candidate.tunnelName);
        CommandResult imported = importTunnel(name, candidate.definition);
        result.notices.insert(result.notices.end(), imported.notices.begin(), imported.notices.end());
        if (!imported.done) {
            result.done = false;
            continue;
        }
        made.push_back(name);
        if (!candidate.keyToConvert.empty())
            if (std::optional<Notice> notConverted = convertImportedKey(name, candidate))
                result.notices.push_back(*notConverted);
    }
    return result;
}

std::optional<Notice> TunnelService::convertImportedKey(const std::string& tunnel, const ImportCandidate& candidate) {
    const std::string& key = candidate.keyToConvert;
    std::string puttygen = fs::resolve(paths::KeyGenerator(m_folders.program));
    if (!fs::fileExists(puttygen) && !fs::findOnPath("puttygen").empty())
        puttygen = fs::findOnPath("puttygen");
    const std::string ppk = key.substr(key.find_last_of(fs::separator() == '/' ? "/" : "\\/") + 1) + ".ppk";
    KeyResult converted = convertKey(puttygen, key, clientFolder(tunnel) + fs::separator() + ppk);
    if (converted.ok) {
        TunnelDefinition definition = candidate.definition;
        definition.FileChiave = ppk; // inside the tunnel's folder, so named relative to it
        try {
            save(tunnel, definition);
            return std::nullopt;
        } catch (const StoreError& error) {
            converted.error = error.what();
        }
    }
    Notice notice = noticeFor(NoticeKind::KeyNotConverted, tunnel);
    notice.subject = key;
    notice.detail = converted.error;
    return notice;
}

CommandResult TunnelService::importTunnel(const std::string& name, const TunnelDefinition& definition) {
    CommandResult added = add(name);
    if (!added.done)
        return added;
    try {
        save(name, definition);
    } catch (const StoreError& error) {
        // Half an import is no tunnel: the one just made goes again.
        remove(name);
        return {false, {unusable(name, error.what())}};
    }
    return added;
}

DefinitionLoad TunnelService::definition(const std::string& tunnel) const {
    return loadDefinitionChecked(m_folders.data, tunnel);
}

void TunnelService::save(const std::string& tunnel, const TunnelDefinition& definition) {
    SaveDefinition(m_folders.data, tunnel, definition);
}

CommandResult TunnelService::reconnectNow(const std::string& tunnel) {
    if (m_health.restartNow(tunnel)) {
        restartDueClients();
        return {true, {}};
    }
    return connect(tunnel);
}

TunnelHealth TunnelService::health(const std::string& tunnel) const {
    TunnelHealth health = m_health.health(tunnel);
    if (const auto wait = m_health.untilRestart(tunnel))
        health.retryIn = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(*wait).count());
    health.awaitingUser = health.status == TunnelStatus::Failed && m_askingUser.count(tunnel) > 0;
    return health;
}

std::optional<std::uint64_t> TunnelService::statesRevision() const {
    if (m_health.untilNextRestart())
        return std::nullopt;
    return m_health.revision() + m_askingRevision;
}

void TunnelService::awaitUser(const std::string& tunnel, bool asking) {
    ++m_askingRevision;
    if (asking)
        m_askingUser.insert(tunnel);
    else
        m_askingUser.erase(tunnel);
    m_listener->statesChanged();
}

void TunnelService::tick() {
    if (m_network) {
        const NetworkWatch::Change change = m_network->look();
        if (change != NetworkWatch::Change::None) {
            // Links that look up may be dead after a sleep or a new network, and a server that was out
            // of reach may be back: ask every server now, and try every waiting tunnel.
            if (m_probes)
                m_probes->checkAllNow();
            if (m_returning)
                m_returning->askAllAfresh();
            for (const std::string& tunnel : m_tunnels)
                m_health.restartNow(tunnel);
            restartDueClients();
        }
    }
    // A forward the server refuses is told by the client's log as soon as a check has been refused.
    if (const std::vector<HealthChange> changes = m_health.readClientWords(); !changes.empty()) {
        for (const HealthChange& change : changes) {
            if (has(change.tunnel))
                react(change);
        }
        m_listener->statesChanged();
    }
    lookAtServers();
    // A restart that fell due between two passes starts now; a waiting tunnel's countdown is shown.
    if (!m_health.restartsDue().empty())
        restartDueClients();
    if (m_health.untilNextRestart())
        m_listener->statesChanged();
    m_listener->ticksNeeded(needsTicks());
}

void TunnelService::lookAtServers() {
    if (!m_probes)
        return;
    std::vector<std::string> answered;
    for (const std::string& tunnel : m_probes->look(m_health.probeTargets(), &answered)) {
        if (!has(tunnel))
            continue;
        react(m_health.failed(tunnel, {FailureKind::ServerNotAnswering, {}, {}}, true));
        m_listener->statesChanged();
        restartDueClients();
    }
    // A started client is connected once its first check has answered.
    for (const std::string& tunnel : answered) {
        if (!has(tunnel))
            continue;
        if (const std::optional<HealthChange> change = m_health.checkAnswered(tunnel)) {
            react(*change);
            m_listener->statesChanged();
        }
    }
    lookForReturningServers();
}

WaitingTunnel TunnelService::firstServerOf(const std::string& tunnel) const {
    TunnelDefinition definition = LoadDefinition(m_folders.data, tunnel);
    // Behind a jump host the server this computer can reach is the jump host.
    if (!definition.PassaPer.empty() && has(definition.PassaPer))
        definition = LoadDefinition(m_folders.data, definition.PassaPer);
    const int named = portValue(definition.PortaServer);
    return WaitingTunnel{tunnel, definition.IpServer, named != 0 ? named : 22};
}

void TunnelService::lookForReturningServers() {
    // A server out of reach is asked about once a second whether it is back (its greeting says so), rather than
    // waiting out the backoff: the tunnel is up again as soon as it can be. Names are looked up beside the program.
    std::vector<WaitingTunnel> waiting;
    for (const std::string& tunnel : m_tunnels) {
        const TunnelHealth& health = m_health.health(tunnel);
        const FailureKind kind = health.failure.kind;
        if (health.status != TunnelStatus::Failed || !networkFailure(kind) || !m_health.untilRestart(tunnel))
            continue;
        auto [at, added] = m_serverOf.try_emplace(tunnel);
        if (added)
            at->second = firstServerOf(tunnel); // read once while it waits
        waiting.push_back(at->second);
        waiting.back().wasOutOfReach =
            kind == FailureKind::ConnectionRefused || kind == FailureKind::ServerNotAnswering;
    }
    // Kept while a tunnel waits or comes up, for the count of logins under way to its server.
    std::erase_if(m_serverOf, [this](const auto& entry) {
        const std::string& tunnel = entry.first;
        return !has(tunnel) ||
               (m_health.health(tunnel).status != TunnelStatus::Connecting && !m_health.untilRestart(tunnel));
    });
    bool any = false;
    for (const std::string& tunnel : m_returning->look(waiting))
        any = m_health.restartNow(tunnel) || any;
    if (any)
        restartDueClients();
}

std::string TunnelService::clientFolder(const std::string& tunnel) const {
    return fs::resolve(paths::ClientWorkingFolder(paths::ClientExePath(m_folders.data, tunnel)));
}

PlannedConnect TunnelService::planConnect(const std::string& tunnel) const {
    PlannedConnect planned;
    const DefinitionLoad load = definition(tunnel);
    // A definition that is a link, no file, unreadable or outsized is named and not connected.
    if (!load.ok() && load.problem != DefinitionProblem::Missing) {
        planned.notices.push_back(unusable(tunnel, load.message()));
        return planned;
    }
    const TunnelDefinition& definition = load.definition;
    // A value the client would misread (an option, a port that is none) is refused, never passed.
    if (const std::optional<FieldProblem> problem = checkConnectFields(definition)) {
        Notice notice = noticeFor(NoticeKind::FieldRefused, tunnel);
        notice.field = problem;
        planned.notices.push_back(notice);
        return planned;
    }
    if (!definition.FileChiave.empty()) {
        const std::string keyPath = keyFilePath(tunnel, definition.FileChiave);
        if (!fs::fileExists(keyPath)) {
            Notice notice = noticeFor(NoticeKind::KeyFileMissing, tunnel);
            notice.subject = keyPath;
            planned.notices.push_back(notice);
            return planned;
        }
    }
    JumpCheck jump = jumpFor(tunnel, definition);
    if (jump.refusal) {
        planned.notices.push_back(*jump.refusal);
        return planned;
    }
    // A running client keeps its port: a second one could only fail to bind it, and the next
    // disconnect would stop the working one.
    const bool clientRuns = m_clients.snapshot().isRunning(tunnel);
    const std::string line =
        clientRuns ? std::string() : displayConnectCommandLine(definition, jump.jump ? &*jump.jump : nullptr);
    planned.plan = ConnectPlan{tunnel, definition, line, clientRuns, std::move(jump.jump)};
    if (!clientRuns)
        planned.plan->unapproved = unapprovedPrograms(tunnel, definition);
    return planned;
}

std::string TunnelService::keyFilePath(const std::string& tunnel, const std::string& keyFile) const {
    // The client runs in the tunnel's folder, where a relative key file is looked for.
    if (std::filesystem::u8path(keyFile).is_absolute())
        return keyFile;
    return paths::ClientWorkingFolder(paths::ClientExePath(m_folders.data, tunnel)) + fs::separator() + keyFile;
}

TunnelService::JumpCheck TunnelService::jumpFor(const std::string& tunnel, const TunnelDefinition& definition) const {
    const std::string& name = definition.PassaPer;
    if (name.empty())
        return {};
    const auto refused = [&](JumpProblem problem, std::string detail = {}, std::optional<FieldProblem> field = {}) {
        Notice notice = noticeFor(NoticeKind::JumpUnusable, tunnel);
        notice.subject = name;
        notice.code = static_cast<int>(problem);
        notice.detail = std::move(detail);
        notice.field = field;
        return JumpCheck{std::nullopt, notice};
    };
    if (name == tunnel)
        return refused(JumpProblem::Itself);
    if (!has(name))
        return refused(JumpProblem::NotListed);
    const DefinitionLoad load = this->definition(name);
    if (!load.ok())
        return refused(JumpProblem::Unusable, load.message());
    const TunnelDefinition& hop = load.definition;
    // One hop: a chain would need the jump host's client to start one of its own.
    if (!hop.PassaPer.empty())
        return refused(JumpProblem::Chained);
    if (const std::optional<FieldProblem> problem = checkJumpFields(hop))
        return refused(JumpProblem::FieldRefused, {}, problem);
    JumpClient jump;
    jump.definition = hop;
    jump.program = fs::resolve(paths::PlinkSource(m_folders.program));
    if (!hop.FileChiave.empty()) {
        jump.keyFile = keyFilePath(name, hop.FileChiave);
        if (!fs::fileExists(jump.keyFile))
            return refused(JumpProblem::KeyFileMissing, jump.keyFile);
    }
    return {jump, std::nullopt};
}

std::vector<ConnectPlan::Program> TunnelService::unapprovedPrograms(const std::string& tunnel,
                                                                    const TunnelDefinition& definition) const {
    std::vector<ConnectPlan::Program> unapproved;
    if (!m_approvals.approved(tunnel, ProgramSlot::Before, definition.Prima))
        unapproved.push_back({ProgramSlot::Before, definition.Prima});
    if (!splitWindowsCommandLine(definition.Dopo).empty() &&
        !m_approvals.approved(tunnel, ProgramSlot::After, definition.Dopo))
        unapproved.push_back({ProgramSlot::After, definition.Dopo});
    return unapproved;
}

CommandResult TunnelService::approvePrograms(const std::string& tunnel, const TunnelDefinition& definition, bool before,
                                             bool after) {
    bool saved = !before || m_approvals.approve(tunnel, ProgramSlot::Before, definition.Prima);
    saved = (!after || m_approvals.approve(tunnel, ProgramSlot::After, definition.Dopo)) && saved;
    if (saved)
        return {true, {}};
    Notice notice = noticeFor(NoticeKind::ApprovalNotSaved, tunnel);
    notice.detail = fs::resolve(settingsFile(m_folders.data));
    return {true, {notice}};
}

CommandResult TunnelService::start(const ConnectPlan& plan) {
    m_disconnectedByUser.erase(plan.tunnel);
    if (plan.clientRuns)
        return {true, {}};
    CommandResult result = startClient(plan.tunnel, plan.definition);
    // Opened once when this connect is through; a restart after a drop is not a connect of the user's.
    if (result.done && plan.definition.ApriAllaConnessione)
        m_openOnConnect.insert(plan.tunnel);
    return result;
}

QuickOpen TunnelService::quickOpen(const std::string& tunnel) const {
    const TunnelDefinition definition = LoadDefinition(m_folders.data, tunnel);
    int port = 0;
    const std::string& local = definition.PortaLocale;
    if (!local.empty() && local.size() <= 5 &&
        std::all_of(local.begin(), local.end(), [](char c) { return c >= '0' && c <= '9'; }))
        port = std::stoi(local);
    return planQuickOpen(definition.Apri, port);
}

bool TunnelService::quickOpenApproved(const std::string& tunnel) const {
    return m_approvals.approved(tunnel, ProgramSlot::Open, LoadDefinition(m_folders.data, tunnel).Apri);
}

CommandResult TunnelService::openProgram(const std::string& tunnel, bool approve) {
    const TunnelDefinition definition = LoadDefinition(m_folders.data, tunnel);
    const QuickOpen open = quickOpen(tunnel);
    Notice notice = noticeFor(NoticeKind::OpenRefused, tunnel);
    notice.subject = definition.Apri;
    if (open.kind == QuickOpenKind::Refused) {
        notice.code = static_cast<int>(open.problem);
        return {false, {notice}};
    }
    if (open.kind != QuickOpenKind::Program)
        return {false, {}};
    std::vector<Notice> notices;
    if (approve)
        notices = approveQuickOpen(tunnel, definition.Apri).notices;
    // A definition may come from someone else: its program runs once the user says so.
    if (!m_approvals.approved(tunnel, ProgramSlot::Open, definition.Apri)) {
        notice.kind = NoticeKind::OpenNotApproved;
        return {false, {notice}};
    }
    if (const std::optional<std::string> failure =
            m_launcher.launch(programLaunch(open.target, clientFolder(tunnel)))) {
        notice.kind = NoticeKind::OpenFailed;
        notice.detail = *failure;
        notices.push_back(notice);
        return {false, notices};
    }
    return {true, notices};
}

CommandResult TunnelService::approveQuickOpen(const std::string& tunnel, const std::string& value) {
    if (m_approvals.approve(tunnel, ProgramSlot::Open, value))
        return {true, {}};
    Notice notice = noticeFor(NoticeKind::ApprovalNotSaved, tunnel);
    notice.detail = fs::resolve(settingsFile(m_folders.data));
    return {true, {notice}};
}

void TunnelService::openOnConnect(const std::string& tunnel) {
    if (!m_openOnConnect.erase(tunnel))
        return;
    const QuickOpen open = quickOpen(tunnel);
    if (open.kind == QuickOpenKind::Url) {
        m_listener->openRequested(tunnel, open.target);
        return;
    }
    if (open.kind == QuickOpenKind::Nothing)
        return;
    for (const Notice& notice : openProgram(tunnel).notices)
        m_listener->noticed(notice);
}

CommandResult TunnelService::connect(const std::string& tunnel,
                                     const std::function<void(const ConnectPlan&)>& beforeStart,
                                     const std::function<bool(const ConnectPlan&)>& approve) {
    PlannedConnect planned = planConnect(tunnel);
    if (!planned.plan)
        return {false, planned.notices};
    // A definition may come from someone else: the programs it names run once the user says so.
    std::vector<Notice> notices;
    if (!planned.plan->unapproved.empty()) {
        if (!approve)
            return {false, notApproved(tunnel, planned.plan->unapproved)};
        if (!approve(*planned.plan))
            return {false, {}};
        notices = approvePrograms(tunnel, planned.plan->definition).notices;
    }
    if (beforeStart && !planned.plan->clientRuns) {
        beforeStart(*planned.plan);
        // The box it showed ran a loop of its own, where a trusted server key may have started the client: a second
        // one could only fail to bind the port, and the next disconnect would stop the working one.
        planned.plan->clientRuns = m_clients.snapshot().isRunning(tunnel);
    }
    CommandResult started = start(*planned.plan);
    started.notices.insert(started.notices.begin(), notices.begin(), notices.end());
    return started;
}

std::optional<Notice> TunnelService::runBefore(const std::string& tunnel, const TunnelDefinition& definition) {
    if (definition.Prima.empty())
        return std::nullopt;
    const ProgramRun run = runProgramAndWait(definition.Prima, clientFolder(tunnel), kBeforeProgramMs);
    if (run.started && run.finished && run.exitCode == 0)
        return std::nullopt;
    Notice notice = noticeFor(!run.started    ? NoticeKind::BeforeNotStarted
                              : !run.finished ? NoticeKind::BeforeTimedOut
                                              : NoticeKind::BeforeFailed,
                              tunnel);
    notice.subject = definition.Prima;
    notice.detail = run.error;
    notice.code = run.exitCode;
    return notice;
}

std::optional<Notice> TunnelService::runAfter(const std::string& tunnel, const TunnelDefinition& definition) {
    if (splitWindowsCommandLine(definition.Dopo).empty())
        return std::nullopt;
    if (!m_approvals.approved(tunnel, ProgramSlot::After, definition.Dopo))
        return Notice{NoticeKind::AfterNotApproved, tunnel, definition.Dopo, programSlotKey(ProgramSlot::After)};
    // Started, not waited for: nothing the user does may hang on it.
    const LaunchRequest request = programLaunch(definition.Dopo, clientFolder(tunnel));
    const std::optional<std::string> failure = m_launcher.launch(request);
    if (!failure)
        return std::nullopt;
    Notice notice = noticeFor(NoticeKind::AfterFailed, tunnel);
    notice.subject = definition.Dopo;
    notice.detail = *failure;
    return notice;
}

CommandResult TunnelService::startClient(const std::string& tunnel, const TunnelDefinition& definition) {
    // Every start asks, restarts included: the definition may have changed since the connect.
    if (const std::vector<ConnectPlan::Program> unapproved = unapprovedPrograms(tunnel, definition);
        !unapproved.empty()) {
        m_health.stopped(tunnel);
        return {false, notApproved(tunnel, unapproved)};
    }
    // Looked at before anything runs: a log that cannot be used stops the start.
    std::string outputFile;
    if (!definition.Debug) {
        std::string problem;
        outputFile = m_health.freshClientLog(tunnel, problem);
        if (!problem.empty()) {
            m_health.stopped(tunnel);
            Notice notice = noticeFor(NoticeKind::LaunchFailed, tunnel);
            notice.detail = problem;
            return {false, {notice}};
        }
    }
    if (std::optional<Notice> failed = runBefore(tunnel, definition)) {
        // Shown failed, with the program's words; and no restart loop over a program that keeps failing.
        const FailureKind kind = failed->kind == NoticeKind::BeforeFailed     ? FailureKind::BeforeFailed
                                 : failed->kind == NoticeKind::BeforeTimedOut ? FailureKind::BeforeTimedOut
                                                                              : FailureKind::BeforeNotStarted;
        const std::string detail = kind == FailureKind::BeforeFailed ? std::to_string(failed->code) : failed->detail;
        m_health.failed(tunnel, {kind, detail, {}}, true);
        m_listener->statesChanged();
        return {false, {*failed}};
    }
    JumpCheck jump = jumpFor(tunnel, definition);
    if (jump.refusal) {
        m_health.stopped(tunnel);
        return {false, {*jump.refusal}};
    }
    // A hidden client's words go to its log, where -v makes it name a forward the server refuses; a client
    // whose server is to be checked gets a forward of its own for the checks.
    ClientExtras extras;
    if (jump.jump) {
        jump.jump->passwordFile = m_launcher.hopSecretFile();
        extras.jump = &*jump.jump;
    }
    extras.verbose = !definition.Debug;
    if (m_probeSockets && definition.Sonda > 0)
        extras.probePort = m_probeSockets->freeLoopbackPort();
    LaunchRequest request;
    request.executable = fs::resolve(paths::ClientExePath(m_folders.data, tunnel));
    request.parameters = buildConnectCommandLine(definition, m_launcher.secretFile(), extras);
    request.secret = definition.Password;
    if (jump.jump)
        request.hopSecret = jump.jump->definition.Password;
    request.directory = clientFolder(tunnel);
    request.visible = definition.Debug;
    request.outputFile = outputFile;
    if (const std::optional<std::string> failure = m_launcher.launch(request)) {
        Notice notice = noticeFor(NoticeKind::LaunchFailed, tunnel);
        notice.detail = *failure;
        return {false, {notice}};
    }
    m_health.started(tunnel, setupFor(definition, extras.probePort, extras.probePort != 0 ? definition.Sonda : 0));
    m_listNext = true;
    m_listener->clientStarted(m_launcher.lastStarted());
    return {true, {}};
}

CommandResult TunnelService::disconnect(const std::string& tunnel) {
    // Stopped by the user: no failure to report, nothing to restart, no automatic connect until they say so.
    m_health.stopped(tunnel);
    m_disconnectedByUser.insert(tunnel);
    m_openOnConnect.erase(tunnel);
    CommandResult result{true, {}};
    const TunnelClientControl::FirstStop stop = m_clients.stopFirst(tunnel, kStopTimeoutMs);
    if (stop == TunnelClientControl::FirstStop::Failed) {
        result = refused(NoticeKind::StopFailed, tunnel);
    } else if (stop == TunnelClientControl::FirstStop::Stopped) {
        if (m_clients.snapshot().isRunning(tunnel))
            result.done = false; // another client of the tunnel still runs
        else if (std::optional<Notice> after = runAfter(tunnel, LoadDefinition(m_folders.data, tunnel)))
            result.notices.push_back(*after);
    }
    return result;
}

BatchResult TunnelService::connectAll(const std::function<bool(const ConnectPlan&)>& approve) {
    BatchResult batch;
    // A copy: a question to the user lets a pass run, and nothing may change the list under the loop.
    const std::vector<std::string> tunnels = m_tunnels;
    for (const std::string& tunnel : tunnels) {
        const TunnelStatus status = m_health.health(tunnel).status;
        if (!has(tunnel) || status == TunnelStatus::Connected || status == TunnelStatus::Connecting)
            continue;
        batch.outcomes.push_back({tunnel, connect(tunnel, {}, approve)});
    }
    return batch;
}

BatchResult TunnelService::disconnectAll() {
    BatchResult batch;
    const TunnelClients running = m_clients.snapshot();
    const std::vector<std::string> tunnels = m_tunnels;
    for (const std::string& tunnel : tunnels) {
        const bool runs = running.isRunning(tunnel);
        // A tunnel waiting for its next try has no client, but would start one.
        if (!runs && !m_health.untilRestart(tunnel))
            continue;
        m_health.stopped(tunnel);
        m_disconnectedByUser.insert(tunnel);
        m_openOnConnect.erase(tunnel);
        CommandResult result{true, {}};
        if (!runs) {
            batch.outcomes.push_back({tunnel, result});
            continue;
        }
        if (!m_clients.stopAll(tunnel, kStopTimeoutMs, kClientEndWait))
            result = refused(NoticeKind::StopFailed, tunnel);
        else if (std::optional<Notice> after = runAfter(tunnel, LoadDefinition(m_folders.data, tunnel)))
            result.notices.push_back(*after);
        batch.outcomes.push_back({tunnel, result});
    }
    return batch;
}

CommandResult TunnelService::rename(const std::string& tunnel, const std::string& newName) {
    if (newName == tunnel || !paths::isValidTunnelName(newName))
        return {false, {}};
    // The client runs from the folder's copy: renaming under it would cut the tunnel off the program.
    if (m_clients.snapshot().isRunning(tunnel))
        return refused(NoticeKind::RenameWhileRunning, tunnel);
    const RenameOutcome outcome =
        sameNameListed(newName, tunnel) ? RenameOutcome::NameTaken : renameTunnel(m_folders.data, tunnel, newName);
    switch (outcome) {
    case RenameOutcome::Renamed:
        m_approvals.carryOver(tunnel, newName); // the user approved the programs, not the name
        if (m_disconnectedByUser.erase(tunnel))
            m_disconnectedByUser.insert(newName);
        m_serverOf.erase(tunnel);
        m_health.forget(tunnel);
        std::replace(m_tunnels.begin(), m_tunnels.end(), tunnel, newName);
        m_listed.erase(tunnel);
        m_listed.insert(newName);
        followRename(tunnel, newName);
        m_listener->tunnelsChanged();
        return {true, {}};
    case RenameOutcome::NameTaken:
        return refused(NoticeKind::NameTaken, tunnel);
    case RenameOutcome::Failed:
        break;
    }
    return refused(NoticeKind::RenameFailed, tunnel);
}

void TunnelService::followRename(const std::string& oldName, const std::string& newName) {
    // The tunnels that went through it keep doing so under its new name.
    for (const std::string& other : m_tunnels) {
        DefinitionLoad load = definition(other);
        if (!load.ok() || load.definition.PassaPer != oldName)
            continue;
        load.definition.PassaPer = newName;
        try {
            save(other, load.definition);
        } catch (const StoreError&) {
            // Left naming the old one: its next connect says that no tunnel has that name.
        }
    }
}

TunnelService::RemovalCheck TunnelService::checkRemoval(const std::string& tunnel) const {
    // Never delete outside the tunnels folder; a hand-made folder of such a name is named, not ignored.
    if (!paths::isValidTunnelName(tunnel))
        return {{noticeFor(NoticeKind::NameUnmanageable, tunnel)}, false};
    // The folder goes with its definition and keys: there is no way back, so the user says so first.
    return {{}, fs::folderExists(paths::TunnelFolderForDelete(m_folders.data, tunnel))};
}

CommandResult TunnelService::remove(const std::string& tunnel) {
    if (!paths::isValidTunnelName(tunnel))
        return refused(NoticeKind::NameUnmanageable, tunnel);
    // Every client of the tunnel ends first: one left running would outlive its folder, out of the
    // program's reach, and a client still ending keeps its executable busy on some systems.
    m_health.stopped(tunnel);
    if (!m_clients.stopAll(tunnel, kStopTimeoutMs, kClientEndWait))
        return refused(NoticeKind::StopFailed, tunnel);
    const std::string folder = paths::TunnelFolderForDelete(m_folders.data, tunnel);
    if (!fs::folderExists(folder))
        return {false, {}};
    const std::string resolved = fs::resolve(folder);
    // An interrupted save's temporary file is hidden from the listing and would keep the folder.
    fs::removeLeftoverTemporaryFiles(resolved);
    for (const std::string& file : fs::listOrdinaryFiles(resolved))
        fs::deleteFile(resolved + fs::separator() + file);
    if (!fs::removeFolder(resolved))
        return refused(NoticeKind::FolderNotRemoved, tunnel);
    m_approvals.forget(tunnel);
    m_disconnectedByUser.erase(tunnel);
    m_openOnConnect.erase(tunnel);
    m_serverOf.erase(tunnel);
    m_health.forget(tunnel);
    m_tunnels.erase(std::find(m_tunnels.begin(), m_tunnels.end(), tunnel));
    m_listed.erase(tunnel);
    m_listener->tunnelsChanged();
    return {true, {}};
}

CommandResult TunnelService::trustHostKey(const std::string& tunnel, const std::string& fingerprint, bool ofJumpHost) {
    const DefinitionLoad load = definition(tunnel);
    if (!load.ok()) {
        return {false, {unusable(tunnel, load.message())}};
    }
    TunnelDefinition trusted = load.definition;
    if (ofJumpHost) {
        const std::string& hop = trusted.PassaPer;
        const DefinitionLoad hopLoad = hop.empty() || !has(hop) ? DefinitionLoad{} : definition(hop);
        if (!hopLoad.ok()) {
            Notice notice = noticeFor(NoticeKind::JumpUnusable, tunnel);
            notice.subject = hop;
            notice.code = static_cast<int>(hopLoad.problem == DefinitionProblem::None ? JumpProblem::NotListed
                                                                                      : JumpProblem::Unusable);
            notice.detail = hopLoad.message();
            return {false, {notice}};
        }
        TunnelDefinition hopTrusted = hopLoad.definition;
        hopTrusted.HostKey = fingerprint;
        save(hop, hopTrusted);
    } else {
        trusted.HostKey = fingerprint;
        save(tunnel, trusted);
    }
    // The user may have connected it while the question waited.
    if (!has(tunnel) || m_clients.snapshot().isRunning(tunnel))
        return {true, {}};
    return startClient(tunnel, trusted);
}

void TunnelService::openKeyGenerator() {
    LaunchRequest request;
    request.executable = fs::resolve(paths::KeyGenerator(m_folders.program));
    request.visible = true;
    m_launcher.launch(request);
}

// ---- states ----

bool TunnelService::pass() {
    removeLeftovers();
    std::optional<std::vector<OwnProcess>> own = knownClientsStillRunning();
    if (!own) {
        ProcessSnapshot listing;
        const bool listed = m_processes.ListProcesses(listing, false);
        m_listener->processesListed(listing.entries);
        m_quietPasses = 0;
        m_knownClients.reset();
        // An empty snapshot means the listing failed: the states stay as they were.
        if (!listed || listing.entries.empty())
            return listed;
        own = std::move(listing.own);
    }
    if (m_tunnels.empty()) {
        m_listener->ticksNeeded(false);
        return true;
    }
    // Only the tunnel's own client counts, not any process that shares its name; and a tunnel is
    // connected only once its forward listens.
    TunnelClients clients = TunnelClients::forPlatform(m_tunnelsDirSeen, *own);
    clients.dropForkedCopies(m_processes);
    // Kept for the quiet passes, which only a start watch allows.
    if (m_startWatch && !m_knownClients) {
        m_knownClients.emplace();
        for (const std::string& tunnel : m_tunnels) {
            const std::vector<OwnProcess>& of = clients.clientsOf(tunnel);
            m_knownClients->insert(m_knownClients->end(), of.begin(), of.end());
        }
    }
    const std::vector<HealthChange> changes = m_health.pass(clients, m_tunnels, [this](const std::string& tunnel) {
        // A client left running by an earlier run keeps its tunnel's reconnection and checks.
        const TunnelDefinition definition = LoadDefinition(m_folders.data, tunnel);
        // Its start is not known: no time limit on a connect the program did not make.
        ClientSetup setup = setupFor(definition, 0, m_probeSockets ? definition.Sonda : 0);
        setup.connectTimeout = std::chrono::seconds(0);
        return setup;
    });
    m_listener->statesChanged();
    for (const HealthChange& change : changes)
        react(change);
    // A tunnel whose forwards listen now is checked at once, and connected when the check answers.
    lookAtServers();
    restartDueClients();
    // tick() tells whether it is needed from now on.
    if (!needsTicks())
        tick();
    else
        m_listener->ticksNeeded(true);
    return true;
}

bool TunnelService::needsTicks() const {
    if ((m_returning && !m_returning->empty()) || m_health.untilNextRestart())
        return true;
    return std::any_of(m_tunnels.begin(), m_tunnels.end(), [this](const std::string& tunnel) {
        const TunnelStatus status = m_health.health(tunnel).status;
        return status == TunnelStatus::Connecting || status == TunnelStatus::Connected;
    });
}

std::optional<std::vector<OwnProcess>> TunnelService::knownClientsStillRunning() {
    // The folder may be moved or linked elsewhere while the program runs: looked up again at every listing.
    if (!m_startWatch || m_tunnelsDirSeen.empty())
        m_tunnelsDirSeen = m_clients.tunnelsDir();
    if (!m_startWatch)
        return std::nullopt;
    // Asked every pass, so that what it saw while the listing ran is not told again.
    m_startWatch->follow(m_tunnelsDirSeen, m_tunnels);
    const bool mayHaveStarted = m_startWatch->mayHaveStarted();
    if (mayHaveStarted || m_listNext || !m_knownClients || m_quietPasses >= kQuietPassesBetweenListings) {
        m_listNext = false;
        m_tunnelsDirSeen = m_clients.tunnelsDir();
        return std::nullopt;
    }
    ++m_quietPasses;
    m_processes.KeepRunning(*m_knownClients);
    return *m_knownClients;
}

void TunnelService::react(const HealthChange& change) {
    if (!has(change.tunnel))
        return;
    const TunnelHealth& now = change.now;
    if (now.status == TunnelStatus::Failed) {
        // A client whose forward cannot work, or whose server no longer answers, is not left logged in.
        const FailureKind kind = now.failure.kind;
        if (kind == FailureKind::LocalPortInUse || kind == FailureKind::ForwardingRefused ||
            kind == FailureKind::ServerNotAnswering || kind == FailureKind::ConnectTimedOut)
            m_clients.stopAll(change.tunnel, kStopTimeoutMs, kClientEndWait);
        if (change.before == TunnelStatus::Connected || change.before == TunnelStatus::Connecting) {
            if (std::optional<Notice> after = runAfter(change.tunnel, LoadDefinition(m_folders.data, change.tunnel)))
                m_listener->noticed(*after);
        }
        Notice notice = noticeFor(NoticeKind::Dropped, change.tunnel);
        notice.failure = now.failure;
        if (now.failure.kind == FailureKind::HostKeyUnknown && now.failure.hostKey)
            m_listener->noticed(Notice{NoticeKind::HostKeyOffered, change.tunnel, {}, {}, 0, {}, now.failure});
        else if (now.failure.kind == FailureKind::HostKeyChanged) {
            // The key kept for the server that showed another: the jump host's own, when it was that one.
            std::string kept = LoadDefinition(m_folders.data, change.tunnel).HostKey;
            if (!now.failure.hop.empty()) {
                const std::string hop = LoadDefinition(m_folders.data, change.tunnel).PassaPer;
                kept = hop.empty() || !has(hop) ? std::string() : LoadDefinition(m_folders.data, hop).HostKey;
            }
            m_listener->noticed(Notice{NoticeKind::HostKeyChanged, change.tunnel, kept, {}, 0, {}, now.failure});
        }
        m_listener->noticed(notice);
    } else if (now.status == TunnelStatus::Connected && change.before != TunnelStatus::Connected) {
        if (change.before == TunnelStatus::Failed || now.retries > 0)
            m_listener->noticed(noticeFor(NoticeKind::Restored, change.tunnel));
        openOnConnect(change.tunnel);
    }
}

void TunnelService::restartDueClients() {
    bool waitingForALook = false;
    for (const std::string& tunnel : m_health.restartsDue()) {
        const DefinitionLoad load = definition(tunnel);
        // A tunnel that went away, or whose definition no longer serves, is not brought back.
        if (!has(tunnel) || !load.ok() || !load.definition.Riconnessione || checkConnectFields(load.definition)) {
            m_health.stopped(tunnel);
            continue;
        }
        const FailureKind kind = m_health.health(tunnel).failure.kind;
        const auto server = m_serverOf.find(tunnel);
        if (m_returning && networkFailure(kind) && server != m_serverOf.end()) {
            // A client started while its server cannot be reached would only hang connecting, and see the server
            // come back late. The first look at the server is waited for (a second or two: a tick tries again).
            const ReturningServers::Verdict verdict = m_returning->verdict(server->second.host, server->second.port);
            if (verdict == ReturningServers::Verdict::NotAskedYet) {
                waitingForALook = true;
                continue;
            }
            if (verdict == ReturningServers::Verdict::OutOfReach) {
                m_health.postpone(tunnel); // nothing was tried: the wait does not grow
                continue;
            }
            // Many tunnels to one server, all due at its return: a few at a time, the rest at the next look.
            const int loggingIn =
                static_cast<int>(std::count_if(m_serverOf.begin(), m_serverOf.end(), [&](const auto& other) {
                    return other.second.host == server->second.host && other.second.port == server->second.port &&
                           m_health.health(other.first).status == TunnelStatus::Connecting &&
                           !m_health.forwardsListening(other.first);
                }));
            if (loggingIn >= kLoginsPerServer) {
                waitingForALook = true;
                continue;
            }
        }
        m_health.restarting(tunnel);
        for (const Notice& notice : startClient(tunnel, load.definition).notices)
            m_listener->noticed(notice);
    }
    scheduleNextPass(waitingForALook);
}

void TunnelService::scheduleNextPass(bool waitingForALook) {
    // A restart falls between two passes: a pass of its own is run then. One waiting for the look at its server
    // is tried again at the next tick, not in a tight loop.
    std::optional<std::chrono::milliseconds> wait;
    if (const auto next = m_health.untilNextRestart()) {
        const auto least = std::chrono::milliseconds(waitingForALook ? 1000 : 10);
        wait = std::clamp(*next + std::chrono::milliseconds(10), least, std::chrono::milliseconds(60000));
    }
    // A tunnel coming up is seen connected, and a server's greeting heard, within a fraction of a second.
    if (m_health.anyComingUp() || (m_returning && m_returning->asking()))
        wait = std::min(wait.value_or(kQuickPass), kQuickPass);
    if (wait)
        m_listener->passDueIn(*wait);
}

} // namespace quorvane
