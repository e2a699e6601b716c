// What the tunnel service's commands and passes tell: notices, results, plans, and the listener that hears them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "process/command_line.h"
#include "process/process_services.h"
#include "store/program_approvals.h"
#include "store/tunnel_definition.h"
#include "tunnel/client_log.h"

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

class UserPrompts;

// How a load reports its progress, and whom its automatic connects ask.
struct LoadHooks {
    std::function<void()> letEventsThrough; // while the folders are read
    // Once the tunnels are listed, while their definitions are read (on another thread: the hook may not ask
    // the service to change anything).
    std::function<void()> listed;
    std::function<void(const std::string& tunnel)> reading; // each tunnel, in list order
    // Asked about each automatic connect (its programs, its command line); none: nobody can be asked.
    UserPrompts* prompts = nullptr;
};

struct LoadReport {
    std::vector<std::string> unusable; // the store's report of each definition that cannot serve
    std::vector<std::string> started;  // tunnels connected automatically
    std::vector<Notice> notices;       // from those connects
};

// A client asked to stop is given this long (ms) before it is forced, and a forced one this long to be gone.
inline constexpr std::int32_t kClientStopTimeoutMs = 5;
inline constexpr std::chrono::milliseconds kClientEndWait{1000};

// A notice of kind about tunnel, with nothing else to say.
inline Notice noticeFor(NoticeKind kind, const std::string& tunnel) {
    return Notice{kind, tunnel};
}

inline CommandResult refused(NoticeKind kind, const std::string& tunnel) {
    return {false, {noticeFor(kind, tunnel)}};
}

// A definition (or a file of one) that cannot serve, in the store's words.
inline Notice unusable(const std::string& tunnel, std::string words) {
    Notice notice = noticeFor(NoticeKind::DefinitionUnusable, tunnel);
    notice.detail = std::move(words);
    return notice;
}

} // namespace quorvane
