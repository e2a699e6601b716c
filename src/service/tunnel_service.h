// Every command on the tunnels, by the tunnel's name, with no window: what happened comes back as data.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "import/import_candidate.h"
#include "process/client_launcher.h"
#include "process/client_start_watch.h"
#include "process/command_line.h"
#include "process/process_services.h"
#include "process/tunnel_client_control.h"
#include "service/quick_open.h"
#include "service/returning_servers.h"
#include "store/folder_walker.h"
#include "store/program_approvals.h"
#include "store/program_folders.h"
#include "store/tunnel_definition.h"
#include "tunnel/liveness_probes.h"
#include "tunnel/network_watch.h"
#include "tunnel/probe_sockets.h"
#include "tunnel/tunnel_health_tracker.h"

namespace quorvane {

// What a command or a pass has to tell the user. The words are the caller's (see tunnel_words.h).
enum class NoticeKind {
    DefinitionUnusable, // detail: the store's report of a definition that cannot serve
    FieldRefused,       // field: what the client would misread
    KeyFileMissing,     // subject: the key file's path
    BeforeNotStarted,   // subject: the "Prima" program; detail: the system's reason
    BeforeTimedOut,     // subject: the "Prima" program
    BeforeFailed,       // subject: the "Prima" program; code: its exit code
    LaunchFailed,       // detail: the system's reason
    AfterFailed,        // subject: the "Dopo" program; detail: the system's reason
    StopFailed,
    RenameWhileRunning,
    NameTaken,
    RenameFailed,
    NameInvalid,      // add: not a name one folder can have
    NameUnmanageable, // delete: a folder whose name no command may build a path from
    FolderNotRemoved,
    FolderNotCreated, // detail: the store's words
    ClientNotCopied,
    KeyNotConverted,    // subject: the key file; detail: puttygen's words; the tunnel was made with the key as it is
    ProgramNotApproved, // subject: the command; detail: its key ("Prima", "Dopo"); the connect stopped
    AfterNotApproved,   // subject: the "Dopo" command, not run
    ApprovalNotSaved,   // detail: the settings file; approved until the program ends
    // PassaPer names no tunnel that can be the way to this one's server. subject: that name; code: a
    // JumpProblem; detail: the store's report (Unusable) or the key file's path (KeyFileMissing); field
    // (FieldRefused).
    JumpUnusable,
    OpenRefused,     // subject: the "Apri" value; code: its QuickOpenProblem
    OpenNotApproved, // subject: the "Apri" program, not run
    OpenFailed,      // subject: the "Apri" program; detail: the system's reason
    // Found by a pass.
    HostKeyOffered, // failure.hostKey: the server's key, to be trusted or not
    HostKeyChanged,
    Dropped,  // failure: why
    Restored, // connected again after a failure or a restart
};

enum class JumpProblem {
    NotListed,      // no tunnel of that name
    Itself,         // the tunnel names itself
    Chained,        // that tunnel goes through another in turn
    Unusable,       // its definition cannot serve
    FieldRefused,   // one of its server's fields cannot reach a client
    KeyFileMissing, // its key file is not there
};

struct Notice {
    NoticeKind kind;
    std::string tunnel; // the folder name
    std::string subject{};
    std::string detail{};
    int code = 0;
    std::optional<FieldProblem> field{};
    ClientFailure failure{};
};

struct CommandResult {
    bool done = false;
    std::vector<Notice> notices;
};

// A connect that passed its checks, to be started as it is (after the caller has shown its command line).
struct ConnectPlan {
    std::string tunnel;
    TunnelDefinition definition;
    std::string maskedCommandLine;    // the password as "********", for the user's eyes
    bool clientRuns = false;          // already up: nothing to start, and no second session
    std::optional<JumpClient> jump{}; // the tunnel it goes through (PassaPer), without a password file
    // Programs the definition names that the user has not approved for this tunnel: start refuses
    // until they are (see approvePrograms).
    struct Program {
        ProgramSlot slot;
        std::string command;
    };
    std::vector<Program> unapproved{};
};

// A command carried out on several tunnels: what it came to for each, in list order.
struct BatchResult {
    struct Outcome {
        std::string tunnel;
        CommandResult result;
    };
    std::vector<Outcome> outcomes;
};

struct PlannedConnect {
    std::optional<ConnectPlan> plan; // empty: refused, and the notices say why
    std::vector<Notice> notices;
};

// What the service tells while it works. Every call comes on the thread that called the service.
class TunnelServiceListener {
public:
    virtual ~TunnelServiceListener() = default;
    virtual void tunnelsChanged() {}
    // After every pass: the states shown change only with a look at the clients.
    virtual void statesChanged() {}
    // What a pass found to tell: a drop, a return, a host key to ask about, a restart that failed. The
    // pass may run inside another command: the listener tells the user once that command is over.
    virtual void noticed(const Notice& /*notice*/) {}
    // A client the program started, whose end can be watched to run a pass at once.
    virtual void clientStarted(ProcessId /*id*/) {}
    // Each pass's listing of processes (empty when the listing failed).
    virtual void processesListed(const std::vector<ProcessEntry>& /*processes*/) {}
    // The next restart is due this soon: a pass should run then.
    virtual void passDueIn(std::chrono::milliseconds /*wait*/) {}
    // Whether tick() has work once a second from now on; while it has none, each pass does it.
    virtual void ticksNeeded(bool /*needed*/) {}
    // A tunnel the user connected is up, and its "Apri" address is to be opened in the browser (once per connect).
    virtual void openRequested(const std::string& /*tunnel*/, const std::string& /*url*/) {}
};

struct LoadHooks {
    std::function<void()> letEventsThrough; // while the folders are read
    // Once the tunnels are listed, while their definitions are read (on another thread: the hook may not ask
    // the service to change anything).
    std::function<void()> listed;
    std::function<void(const std::string& tunnel)> reading;   // each tunnel, in list order
    std::function<void(const ConnectPlan& plan)> beforeStart; // each automatic connect, before its client starts
    // Asked for a connect whose programs are not approved; empty or false: it does not start.
    std::function<bool(const ConnectPlan& plan)> approve;
};

struct LoadReport {
    std::vector<std::string> unusable; // the store's report of each definition that cannot serve
    std::vector<std::string> started;  // tunnels connected automatically
    std::vector<Notice> notices;       // from those connects
};

class TunnelService {
public:
    // folders: the program's (plink, puttygen) and the data folder (tunnells/). None of the services is
    // owned; all must outlive the service. Without probe sockets no server is asked whether it answers;
    // without a network watch, a change of network or a wake-up is not noticed.
    TunnelService(ProgramFolders folders, ProcessServices& processes, ClientLauncher& launcher,
                  TunnelHealthTracker& health, ProbeSockets* probes = nullptr, NetworkWatch* network = nullptr);
    ~TunnelService();

    void setListener(TunnelServiceListener* listener) { m_listener = listener ? listener : &m_silent; }
    // Tells the passes when a client may have started (not owned). Without it every pass lists every process;
    // with it a quiet pass only asks whether the clients it knows still run.
    void setClientStartWatch(ClientStartWatch* watch) { m_startWatch = watch; }
    // How the servers of tunnels waiting to reconnect are looked up by name (the system's resolver by default).
    void setHostLookup(ReturningServers::StartLookup startLookup) {
        if (m_returning)
            m_returning->setStartLookup(std::move(startLookup));
    }
    const ProgramFolders& folders() const { return m_folders; }

    // ---- the list ----
    // Reads the tunnels folder afresh (nothing is connected): its own folders are the tunnels, and what
    // they hold is never walked.
    void list(const std::function<void()>& letEventsThrough = {});
    // Every tunnel of the last listing loses the temporary files of saves that were killed. The next pass
    // does it, so that showing the list never waits for a look into each folder.
    void removeLeftovers();
    const std::vector<std::string>& tunnels() const { return m_tunnels; }
    bool has(const std::string& tunnel) const;
    // The list, and each tunnel's definition read; tunnels marked for automatic connection are connected in
    // list order, unless their client already runs or the user disconnected them since this service was
    // made (showing the window again must not undo the user's disconnect).
    LoadReport load(const LoadHooks& hooks);

    // ---- commands ----
    CommandResult add(const std::string& name);
    // The definition as the file holds it (empty values for one that cannot serve).
    DefinitionLoad definition(const std::string& tunnel) const;
    void save(const std::string& tunnel, const TunnelDefinition& definition); // throws StoreError
    // The tunnel's folder, where its client, programs and keys run and live, as the system spells it.
    std::string clientFolder(const std::string& tunnel) const;

    PlannedConnect planConnect(const std::string& tunnel) const;
    // Runs "Prima", then starts the client. Done when it was started (or already ran).
    CommandResult start(const ConnectPlan& plan);
    // planConnect and start, with beforeStart (if any) between them. Programs the user has not approved
    // are put to approve (when given; the user's yes approves them) or refuse the connect, saying why.
    CommandResult connect(const std::string& tunnel, const std::function<void(const ConnectPlan&)>& beforeStart = {},
                          const std::function<bool(const ConnectPlan&)>& approve = {});
    // The programs the definition names that the user has not approved for this tunnel.
    std::vector<ConnectPlan::Program> unapprovedPrograms(const std::string& tunnel,
                                                         const TunnelDefinition& definition) const;
    // The user approves the programs the definition names for this tunnel (having seen them whole), both or
    // one. Done even when the settings file refuses them: they hold until the program ends, and a notice says so.
    CommandResult approvePrograms(const std::string& tunnel, const TunnelDefinition& definition, bool before = true,
                                  bool after = true);
    // Stops the first client; "Dopo" follows when none is left. Done when none runs afterwards.
    CommandResult disconnect(const std::string& tunnel);
    CommandResult rename(const std::string& tunnel, const std::string& newName);
    // Before a delete: refusals, and whether there is a folder whose loss the user must confirm.
    struct RemovalCheck {
        std::vector<Notice> notices; // refused when not empty
        bool needsConfirmation = false;
    };
    RemovalCheck checkRemoval(const std::string& tunnel) const;
    // Every client stopped, then the folder's files and the folder itself removed.
    CommandResult remove(const std::string& tunnel);
    // The fingerprint goes into the definition (the user's own key cache is not touched), then the
    // client starts again. ofJumpHost: the key is the jump host's, and goes into the definition of the
    // tunnel PassaPer names.
    CommandResult trustHostKey(const std::string& tunnel, const std::string& fingerprint, bool ofJumpHost = false);
    // While the user is asked about the tunnel's failure (a host key to trust), its state says so.
    void awaitUser(const std::string& tunnel, bool asking);
    // The tunnel's definition written to file, without its password and trusted host key unless withSecrets.
    CommandResult exportTunnel(const std::string& tunnel, const std::string& file, bool withSecrets) const;
    // A definition file to import, read as a tunnel's own (too large, a link, a pipe or no definition at all:
    // refused, saying why), and a name for it: the file's, without its extension, made unlike any listed.
    struct ImportCheck {
        std::optional<TunnelDefinition> definition;
        std::string name;
        std::vector<Notice> notices;
    };
    ImportCheck checkImport(const std::string& file) const;
    // A new tunnel made as add makes it, holding the definition; its programs still wait for approval.
    CommandResult importTunnel(const std::string& name, const TunnelDefinition& definition);
    // base, or "base 2", "base 3" ...: the first that no listed tunnel and no folder has.
    std::string freeName(const std::string& base) const;
    // Each importable candidate as a new tunnel under a free variant of its tunnelName (an existing tunnel is
    // never touched); made holds the names given, in order. One refusal does not stop the others. A key to
    // convert becomes a .ppk in the new tunnel's folder, which its definition then names.
    CommandResult importCandidates(const std::vector<ImportCandidate>& chosen, std::vector<std::string>& made);

    // A tunnel waiting to reconnect does so now; a failed one without reconnection connects again.
    CommandResult reconnectNow(const std::string& tunnel);
    // Every listed tunnel neither connected nor connecting, connected in list order as connect does
    // (approve as there; no command line is shown). One refusal does not stop the others.
    BatchResult connectAll(const std::function<bool(const ConnectPlan&)>& approve = {});
    // Every listed tunnel with a client of its own, or waiting to restart, stopped as the user's disconnect
    // stops it, every client included ("Dopo" once none is left); they stay down until connected again.
    BatchResult disconnectAll();

    // What the tunnel's "Apri" value opens, the local port filled in (read from its definition now).
    QuickOpen quickOpen(const std::string& tunnel) const;
    // Whether the "Apri" program may run: the user approved it for this tunnel (an address needs no approval).
    bool quickOpenApproved(const std::string& tunnel) const;
    // Starts the tunnel's "Apri" program, not waited for, in its folder; approve: the user has just said yes to it.
    // Refused (with a notice) for a value that cannot be opened or a program not approved. An address is the
    // caller's to open.
    CommandResult openProgram(const std::string& tunnel, bool approve = false);
    // The user approves value as the tunnel's "Apri" program (typed in, or seen whole); a notice when not saved.
    CommandResult approveQuickOpen(const std::string& tunnel, const std::string& value);

    // PuTTY's key generator in a window of its own, where no dialog of the program makes keys.
    // Failures are not reported.
    void openKeyGenerator();

    // ---- states ----
    // A pass lists every process at least this often (every three minutes), whatever the watch says: the watch
    // sees every start of a client copy, so this listing is only a safety net, and on an idle machine it was
    // most of what the program spent.
    static constexpr int kQuietPassesBetweenListings = 59;

    // One look at this user's clients and the listening ports; the reactions follow (Dopo after a drop,
    // due restarts). False when the process listing failed: the states stay as they were.
    bool pass();
    // The tunnel's state, with the seconds until its next try when it waits to reconnect.
    TunnelHealth health(const std::string& tunnel) const;
    // While the tunnel is connected: how many connections its forwards carry, and for how long it has been up.
    std::optional<TunnelActivity> activity(const std::string& tunnel) const { return m_health.activity(tunnel); }
    // Whether anything shows the connection counts; while nothing does, passes do not count them.
    void setCountsWanted(bool wanted) { m_health.setCountsWanted(wanted); }
    // Changes whenever what health() tells of some tunnel may have changed; empty while a tunnel counts down to
    // its next try, whose words change every second.
    std::optional<std::uint64_t> statesRevision() const;
    // Once a second: the servers' checks, a changed network or a wake-up, and servers that are back for
    // tunnels waiting to reconnect. Cheap when nothing is due.
    void tick();
    // A client runs or starts (its log and its server are watched), or a tunnel waits to reconnect: what
    // tick() looks at changes within a second. Otherwise nothing it looks at needs more than a pass.
    bool needsTicks() const;

    static constexpr std::int32_t kStopTimeoutMs = 5;
    static constexpr std::chrono::milliseconds kClientEndWait{1000};
    static constexpr int kBeforeProgramMs = 30000;
    // Restarts not yet logged in to one server at once: a server turns logins away past its own limit (OpenSSH
    // from ten at once by default).
    static constexpr int kLoginsPerServer = 4;
    // While a tunnel comes up, or a server's answer is awaited, passes come this often.
    static constexpr std::chrono::milliseconds kQuickPass{250};

private:
    CommandResult startClient(const std::string& tunnel, const TunnelDefinition& definition);
    // The client to the definition's jump host, or why there is none; nothing when it names none.
    struct JumpCheck {
        std::optional<JumpClient> jump;
        std::optional<Notice> refusal;
    };
    JumpCheck jumpFor(const std::string& tunnel, const TunnelDefinition& definition) const;
    void followRename(const std::string& oldName, const std::string& newName);
    // The key file as the client in the tunnel's folder finds it.
    std::string keyFilePath(const std::string& tunnel, const std::string& keyFile) const;
    std::optional<Notice> runBefore(const std::string& tunnel, const TunnelDefinition& definition);
    std::optional<Notice> runAfter(const std::string& tunnel, const TunnelDefinition& definition);
    // The candidate's key converted into the tunnel's folder, which its definition then names; what went wrong.
    std::optional<Notice> convertImportedKey(const std::string& tunnel, const ImportCandidate& candidate);

    // This user's tunnel clients now: the known ones that still run, when nothing may have started since they
    // were listed; empty when every process must be listed.
    std::optional<std::vector<OwnProcess>> knownClientsStillRunning();
    void react(const HealthChange& change);
    void restartDueClients();
    void lookForReturningServers();
    // The checks of connected and verifying tunnels, and the waiting tunnels' servers: looked at by every tick,
    // and by the passes that come quickly while tunnels come up.
    void lookAtServers();
    // The next pass: when a restart falls due, or soon while a tunnel comes up or a server's answer is awaited.
    void scheduleNextPass(bool waitingForALook);
    // The server this computer reaches first for the tunnel (its jump host's when it has one).
    WaitingTunnel firstServerOf(const std::string& tunnel) const;
    void openOnConnect(const std::string& tunnel);
    bool sameNameListed(const std::string& name, const std::string& except = {}) const;

    ProgramFolders m_folders;
    ProcessServices& m_processes;
    ClientLauncher& m_launcher;
    TunnelHealthTracker& m_health;
    TunnelClientControl m_clients;
    ProbeSockets* m_probeSockets;
    NetworkWatch* m_network;
    ProgramApprovals m_approvals;
    std::optional<LivenessProbes> m_probes;
    std::optional<ReturningServers> m_returning;
    // The first server of each tunnel that waits to reconnect or that a restart started, read once from the
    // definitions meanwhile: restarts to one server are spread over its limit of logins at once.
    std::unordered_map<std::string, WaitingTunnel> m_serverOf;
    std::unordered_set<std::string> m_listed;             // m_tunnels, to look a name up without a scan
    std::unordered_set<std::string> m_disconnectedByUser; // kept down until the user connects them again
    std::unordered_set<std::string> m_openOnConnect;      // started by a connect, not yet seen connected
    std::unordered_set<std::string> m_askingUser;         // a box asks the user about their failure
    std::uint64_t m_askingRevision = 0;
    std::vector<std::string> m_tunnels;
    ClientStartWatch* m_startWatch = nullptr;
    std::optional<std::vector<OwnProcess>> m_knownClients; // the tunnels' clients at the last look
    int m_quietPasses = 0;                                 // since the last listing
    std::string m_tunnelsDirSeen;                          // at the last listing
    bool m_listNext = true;                                // a client was started meanwhile
    bool m_leftoversPending = false;                       // listed, their folders not yet cleaned
    TunnelServiceListener m_silent;
    TunnelServiceListener* m_listener = &m_silent;
};

} // namespace quorvane
