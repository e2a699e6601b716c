// Connects, starts and disconnects: what a client is started with, and what must be approved first.
#include "service/tunnel_connections.h"

#include "process/key_generator.h"
#include "process/program_runner.h"
#include "store/file_system.h"
#include "store/program_settings.h"

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

// What a client was started with, as far as watching it goes.
ClientSetup setupFor(const TunnelDefinition& definition, int probePort, int probeSeconds) {
    return ClientSetup{localForwardPorts(definition), definition.Riconnessione, probePort, probeSeconds,
                       std::chrono::seconds(definition.AttesaConnessione)};
}

} // namespace

PlannedConnect TunnelConnections::planConnect(const std::string& tunnel) const {
    PlannedConnect planned;
    const DefinitionLoad load = m_catalogue.definition(tunnel);
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
        const std::string keyPath = m_catalogue.keyFilePath(tunnel, definition.FileChiave);
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
    const bool clientRuns = m_context.clients.snapshot().isRunning(tunnel);
    const std::string line =
        clientRuns ? std::string() : displayConnectCommandLine(definition, jump.jump ? &*jump.jump : nullptr);
    planned.plan = ConnectPlan{tunnel, definition, line, clientRuns, std::move(jump.jump)};
    if (!clientRuns)
        planned.plan->unapproved = unapprovedPrograms(tunnel, definition);
    return planned;
}

std::optional<DefinitionLoad> TunnelConnections::hopOf(const std::string& tunnel,
                                                       const TunnelDefinition& definition) const {
    const std::string& name = definition.PassaPer;
    if (name.empty() || name == tunnel || !m_catalogue.has(name))
        return std::nullopt;
    return m_catalogue.definition(name);
}

TunnelConnections::JumpCheck TunnelConnections::jumpFor(const std::string& tunnel,
                                                        const TunnelDefinition& definition) const {
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
    const std::optional<DefinitionLoad> found = hopOf(tunnel, definition);
    if (!found)
        return refused(JumpProblem::NotListed);
    const DefinitionLoad& load = *found;
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
    jump.program = fs::resolve(paths::PlinkSource(m_context.folders.program));
    if (!hop.FileChiave.empty()) {
        jump.keyFile = m_catalogue.keyFilePath(name, hop.FileChiave);
        if (!fs::fileExists(jump.keyFile))
            return refused(JumpProblem::KeyFileMissing, jump.keyFile);
    }
    return {jump, std::nullopt};
}

std::vector<ConnectPlan::Program> TunnelConnections::unapprovedPrograms(const std::string& tunnel,
                                                                        const TunnelDefinition& definition) const {
    std::vector<ConnectPlan::Program> unapproved;
    if (!m_context.approvals.approved(tunnel, ProgramSlot::Before, definition.Prima))
        unapproved.push_back({ProgramSlot::Before, definition.Prima});
    if (!splitWindowsCommandLine(definition.Dopo).empty() &&
        !m_context.approvals.approved(tunnel, ProgramSlot::After, definition.Dopo))
        unapproved.push_back({ProgramSlot::After, definition.Dopo});
    return unapproved;
}

CommandResult TunnelConnections::approvePrograms(const std::string& tunnel, const TunnelDefinition& definition,
                                                 bool before, bool after) {
    bool saved = !before || m_context.approvals.approve(tunnel, ProgramSlot::Before, definition.Prima);
    saved = (!after || m_context.approvals.approve(tunnel, ProgramSlot::After, definition.Dopo)) && saved;
    if (saved)
        return {true, {}};
    Notice notice = noticeFor(NoticeKind::ApprovalNotSaved, tunnel);
    notice.detail = fs::resolve(settingsFile(m_context.folders.data));
    return {true, {notice}};
}

CommandResult TunnelConnections::start(const ConnectPlan& plan) {
    m_context.records.at(plan.tunnel).disconnectedByUser = false;
    if (plan.clientRuns)
        return {true, {}};
    CommandResult result = startClient(plan.tunnel, plan.definition);
    // Opened once when this connect is through; a restart after a drop is not a connect of the user's.
    if (result.done && plan.definition.ApriAllaConnessione)
        m_context.records.at(plan.tunnel).openOnConnect = true;
    return result;
}

CommandResult TunnelConnections::connect(const std::string& tunnel, UserPrompts& prompts) {
    PlannedConnect planned = planConnect(tunnel);
    if (!planned.plan)
        return {false, planned.notices};
    // A definition may come from someone else: the programs it names run once the user says so. Where nobody can
    // be asked, the connect says why it stopped.
    std::vector<Notice> notices;
    if (!planned.plan->unapproved.empty()) {
        if (!prompts.canAsk())
            return {false, notApproved(tunnel, planned.plan->unapproved)};
        if (!prompts.approvePrograms(*planned.plan))
            return {false, {}}; // the user said no: nothing more to tell them
        notices = approvePrograms(tunnel, planned.plan->definition).notices;
    }
    if (!planned.plan->clientRuns) {
        prompts.aboutToStart(*planned.plan);
        // The box it showed ran a loop of its own, where a trusted server key may have started the client: a second
        // one could only fail to bind the port, and the next disconnect would stop the working one.
        planned.plan->clientRuns = m_context.clients.snapshot().isRunning(tunnel);
    }
    CommandResult started = start(*planned.plan);
    started.notices.insert(started.notices.begin(), notices.begin(), notices.end());
    return started;
}

std::optional<Notice> TunnelConnections::runBefore(const std::string& tunnel, const TunnelDefinition& definition) {
    if (definition.Prima.empty())
        return std::nullopt;
    const ProgramRun run = runProgramAndWait(definition.Prima, m_catalogue.clientFolder(tunnel), kBeforeProgramMs);
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

std::optional<Notice> TunnelConnections::runAfter(const std::string& tunnel, const TunnelDefinition& definition) {
    if (splitWindowsCommandLine(definition.Dopo).empty())
        return std::nullopt;
    if (!m_context.approvals.approved(tunnel, ProgramSlot::After, definition.Dopo))
        return Notice{NoticeKind::AfterNotApproved, tunnel, definition.Dopo, programSlotKey(ProgramSlot::After)};
    // Started, not waited for: nothing the user does may hang on it.
    const LaunchRequest request = programLaunch(definition.Dopo, m_catalogue.clientFolder(tunnel));
    const std::optional<std::string> failure = m_context.launcher.launch(request);
    if (!failure)
        return std::nullopt;
    Notice notice = noticeFor(NoticeKind::AfterFailed, tunnel);
    notice.subject = definition.Dopo;
    notice.detail = *failure;
    return notice;
}

CommandResult TunnelConnections::startClient(const std::string& tunnel, const TunnelDefinition& definition) {
    // Every start asks, restarts included: the definition may have changed since the connect.
    if (const std::vector<ConnectPlan::Program> unapproved = unapprovedPrograms(tunnel, definition);
        !unapproved.empty()) {
        m_context.health.stopped(tunnel);
        return {false, notApproved(tunnel, unapproved)};
    }
    // Looked at before anything runs: a log that cannot be used stops the start.
    std::string outputFile;
    if (!definition.Debug) {
        std::string problem;
        outputFile = m_context.health.freshClientLog(tunnel, problem);
        if (!problem.empty()) {
            m_context.health.stopped(tunnel);
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
        m_context.health.failed(tunnel, {kind, detail, {}}, true);
        m_context.listener->statesChanged();
        return {false, {*failed}};
    }
    JumpCheck jump = jumpFor(tunnel, definition);
    if (jump.refusal) {
        m_context.health.stopped(tunnel);
        return {false, {*jump.refusal}};
    }
    // A hidden client's words go to its log, where -v makes it name a forward the server refuses; a client
    // whose server is to be checked gets a forward of its own for the checks.
    ClientExtras extras;
    if (jump.jump) {
        jump.jump->passwordFile = m_context.launcher.hopSecretFile();
        extras.jump = &*jump.jump;
    }
    extras.verbose = !definition.Debug;
    if (m_context.probeSockets && definition.Sonda > 0)
        extras.probePort = m_context.probeSockets->freeLoopbackPort();
    LaunchRequest request;
    request.executable = fs::resolve(paths::ClientExePath(m_context.folders.data, tunnel));
    request.parameters = buildConnectCommandLine(definition, m_context.launcher.secretFile(), extras);
    request.secret = definition.Password;
    if (jump.jump)
        request.hopSecret = jump.jump->definition.Password;
    request.directory = m_catalogue.clientFolder(tunnel);
    request.visible = definition.Debug;
    request.outputFile = outputFile;
    if (const std::optional<std::string> failure = m_context.launcher.launch(request)) {
        Notice notice = noticeFor(NoticeKind::LaunchFailed, tunnel);
        notice.detail = *failure;
        return {false, {notice}};
    }
    m_context.health.started(tunnel,
                             setupFor(definition, extras.probePort, extras.probePort != 0 ? definition.Sonda : 0));
    m_context.clientStartedSinceListing = true;
    m_context.listener->clientStarted(m_context.launcher.lastStarted());
    return {true, {}};
}

CommandResult TunnelConnections::disconnect(const std::string& tunnel) {
    // Stopped by the user: no failure to report, nothing to restart, no automatic connect until they say so.
    m_context.health.stopped(tunnel);
    TunnelRecord& record = m_context.records.at(tunnel);
    record.disconnectedByUser = true;
    record.openOnConnect = false;
    CommandResult result{true, {}};
    const TunnelClientControl::FirstStop stop = m_context.clients.stopFirst(tunnel, kClientStopTimeoutMs);
    if (stop == TunnelClientControl::FirstStop::Failed) {
        result = refused(NoticeKind::StopFailed, tunnel);
    } else if (stop == TunnelClientControl::FirstStop::Stopped) {
        if (m_context.clients.snapshot().isRunning(tunnel))
            result.done = false; // another client of the tunnel still runs
        else if (std::optional<Notice> after = runAfter(tunnel, LoadDefinition(m_context.folders.data, tunnel)))
            result.notices.push_back(*after);
    }
    return result;
}

BatchResult TunnelConnections::connectAll(UserPrompts& prompts) {
    BatchResult batch;
    // A copy: a question to the user lets a pass run, and nothing may change the list under the loop.
    const std::vector<std::string> tunnels = m_context.records.names();
    for (const std::string& tunnel : tunnels) {
        const TunnelStatus status = m_context.health.health(tunnel).status;
        if (!m_catalogue.has(tunnel) || isUp(status))
            continue;
        batch.outcomes.push_back({tunnel, connect(tunnel, prompts)});
    }
    return batch;
}

BatchResult TunnelConnections::disconnectAll() {
    BatchResult batch;
    const TunnelClients running = m_context.clients.snapshot();
    const std::vector<std::string> tunnels = m_context.records.names();
    for (const std::string& tunnel : tunnels) {
        const bool runs = running.isRunning(tunnel);
        // A tunnel waiting for its next try has no client, but would start one.
        if (!runs && !m_context.health.untilRestart(tunnel))
            continue;
        m_context.health.stopped(tunnel);
        TunnelRecord& record = m_context.records.at(tunnel);
        record.disconnectedByUser = true;
        record.openOnConnect = false;
        CommandResult result{true, {}};
        if (!runs) {
            batch.outcomes.push_back({tunnel, result});
            continue;
        }
        if (!m_context.clients.stopAll(tunnel, kClientStopTimeoutMs, kClientEndWait))
            result = refused(NoticeKind::StopFailed, tunnel);
        else if (std::optional<Notice> after = runAfter(tunnel, LoadDefinition(m_context.folders.data, tunnel)))
            result.notices.push_back(*after);
        batch.outcomes.push_back({tunnel, result});
    }
    return batch;
}

CommandResult TunnelConnections::trustHostKey(const std::string& tunnel, const std::string& fingerprint,
                                              bool ofJumpHost) {
    const DefinitionLoad load = m_catalogue.definition(tunnel);
    if (!load.ok()) {
        return {false, {unusable(tunnel, load.message())}};
    }
    TunnelDefinition trusted = load.definition;
    if (ofJumpHost) {
        const std::string& hop = trusted.PassaPer;
        const DefinitionLoad hopLoad = hopOf(tunnel, trusted).value_or(DefinitionLoad{});
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
        if (CommandResult saved = m_catalogue.save(hop, hopTrusted); !saved.done)
            return saved;
    } else {
        trusted.HostKey = fingerprint;
        if (CommandResult saved = m_catalogue.save(tunnel, trusted); !saved.done)
            return saved;
    }
    // The user may have connected it while the question waited.
    if (!m_catalogue.has(tunnel) || m_context.clients.snapshot().isRunning(tunnel))
        return {true, {}};
    return startClient(tunnel, trusted);
}

void TunnelConnections::openKeyGenerator() {
    LaunchRequest request;
    request.executable = fs::resolve(paths::KeyGenerator(m_context.folders.program));
    request.visible = true;
    m_context.launcher.launch(request);
}

} // namespace quorvane
