// Tunnel commands and passes through the service, on fake processes, sockets and clock over real folders.
#include "service/tunnel_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>

#include "cli/command_runner.h"
#include "service/tunnel_words.h"
#include "support/fake_core_services.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class RecordingListener : public TunnelServiceListener {
public:
    void openRequested(const std::string&, const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
    void noticed(const Notice& notice) override {
        kinds.push_back(notice.kind);
        if (notice.kind == NoticeKind::HostKeyOffered && notice.failure.hostKey)
            offered = notice.failure.hostKey->fingerprint;
    }
    void passDueIn(milliseconds wait) override { waits.push_back(wait); }
    std::vector<NoticeKind> kinds;
    std::vector<milliseconds> waits;
    std::string offered; // the key fingerprint a HostKeyOffered notice carried
};

// Answers a connect's questions as the test says, and keeps what it was asked and shown.
class ScriptedPrompts : public UserPrompts {
public:
    bool canAsk() const override { return true; }
    bool approvePrograms(const ConnectPlan& plan) override {
        asked.push_back(plan.tunnel);
        return answer;
    }
    void aboutToStart(const ConnectPlan& plan) override {
        shown.push_back(plan.tunnel);
        if (before)
            before(plan);
    }
    bool answer = false;
    std::vector<std::string> asked;
    std::vector<std::string> shown;
    std::function<void(const ConnectPlan&)> before;
};

// A watch whose next look tells what the test says, once.
class FakeNetworkWatch : public NetworkWatch {
public:
    Change look() override { return std::exchange(next, Change::None); }
    Change next = Change::None;
};

// Each client also holds its check forward, on checkPort, while its own forward listens.
class CheckingSocketTable : public test::FakeSocketTable {
public:
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>& candidates) override {
        std::vector<ListeningSocket> sockets = FakeSocketTable::listening(candidates);
        const std::size_t forwards = sockets.size();
        for (std::size_t i = 0; i < forwards && checkPort != 0; ++i) {
            if (sockets[i].owner != NoProcessId)
                sockets.push_back({checkPort, sockets[i].owner});
        }
        return sockets;
    }
    int checkPort = 0;
};

// Members are open to the tables' set-up functions.
class ServiceTest : public ::testing::Test {
public:
    // checked: the service asks the servers whether they answer, and watches the network.
    explicit ServiceTest(bool checked = false) : checked(checked) {
        sockets.checkPort = checked ? probes.freePort : 0;
        work.makeFolder("tunnells");
        work.write("plink.exe", "client");
        processes.start("init"); // a system always lists some process: an empty listing is a failed one
        service.setListener(&listener);
    }

    // A tunnel that would connect, restarting after a drop and running "Dopo" then.
    void make(const std::string& name) {
        ASSERT_TRUE(service.add(name).done);
        TunnelDefinition definition = LoadDefinition(folders.data, name);
        definition.IpServer = "ssh.example.org";
        definition.Username = "user";
        definition.Password = "secret";
        definition.PortaLocale = "8022";
        definition.IpServizio = "localhost";
        definition.PortaServizio = "22";
        definition.Riconnessione = true;
        definition.Dopo = "./after.cmd";
        service.save(name, definition);
        service.approvePrograms(name, definition); // typed by the user in the editor
    }

    std::string clientPath(const std::string& name) const {
        return fs::canonicalPath(work.file("tunnells/" + name + "/" + name + "SSH.exe"));
    }

    // Each running client of the tunnel ends on its own, leaving these words in its log.
    void clientEnds(const std::string& name, const std::string& lastWords = {}) {
        const auto executables = processes.executables;
        for (const auto& [id, executable] : executables) {
            if (executable == clientPath(name))
                processes.end(id);
        }
        work.write("tunnells/" + name + "/client.log", lastWords);
    }

    bool clientRuns(const std::string& name) const {
        return std::any_of(processes.running.begin(), processes.running.end(), [&](const ProcessEntry& entry) {
            const auto own = processes.executables.find(entry.id);
            return own != processes.executables.end() && own->second == clientPath(name);
        });
    }

    std::size_t launches(const std::string& ending) const {
        return std::count_if(launcher.requests.begin(), launcher.requests.end(), [&](const LaunchRequest& request) {
            return request.executable.size() >= ending.size() &&
                   request.executable.compare(request.executable.size() - ending.size(), ending.size(), ending) == 0;
        });
    }
    std::size_t clientLaunches() const { return launches("SSH.exe"); }
    std::size_t afterLaunches() const { return launches("after.cmd"); }

    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(work.file("tunnells"))))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const bool checked;
    test::TempDir work;
    ProgramFolders folders{work.withSeparator(), work.withSeparator()};
    test::FakeProcessServices processes;
    CheckingSocketTable sockets;
    test::RecordingLauncher launcher{&processes, &sockets};
    test::FakeClock clock;
    TunnelHealthTracker health{folders.data, sockets, clock};
    test::FakeProbeSockets probes;
    FakeNetworkWatch network;
    TunnelService service{
        folders, processes, launcher, health, checked ? &probes : nullptr, checked ? &network : nullptr};
    RecordingListener listener;
};

// Sees no client start but the service's own.
class QuietStartWatch : public ClientStartWatch {
public:
    void follow(const std::string&, const std::vector<std::string>&) override {}
    bool mayHaveStarted() override { return std::exchange(started, false); }
    bool started = false;
};

using Names = std::vector<std::string>;

template <typename Row> class ServiceTable : public ServiceTest, public ::testing::WithParamInterface<Row> {};

template <typename Row> std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

// ---- connects that must not start a client ----

struct RefusalRow {
    const char* name;
    std::function<void(ServiceTest&)> setUp;
    std::optional<NoticeKind> notice;        // none: the client already runs, which is no refusal
    FailureKind shownAs = FailureKind::None; // a failed "Prima" leaves the tunnel failed, saying why
};

using ConnectRefusal = ServiceTable<RefusalRow>;

TEST_P(ConnectRefusal, StartsNothingAndSchedulesNoRestart) {
    make("Alpha");
    GetParam().setUp(*this);
    const PlannedConnect planned = service.planConnect("Alpha");
    const CommandResult result = planned.plan ? service.start(*planned.plan) : CommandResult{false, planned.notices};

    std::vector<NoticeKind> kinds;
    for (const Notice& notice : result.notices)
        kinds.push_back(notice.kind);
    if (GetParam().notice) {
        EXPECT_FALSE(result.done);
        EXPECT_EQ(kinds, std::vector<NoticeKind>{*GetParam().notice});
    } else {
        ASSERT_TRUE(planned.plan);
        EXPECT_TRUE(planned.plan->clientRuns);
        EXPECT_TRUE(result.done);
        EXPECT_TRUE(kinds.empty());
    }
    EXPECT_TRUE(launcher.requests.empty());
    const TunnelHealth shown = service.health("Alpha");
    if (GetParam().shownAs != FailureKind::None) {
        EXPECT_EQ(shown.status, TunnelStatus::Failed);
        EXPECT_EQ(shown.failure.kind, GetParam().shownAs);
        EXPECT_FALSE(shown.failure.detail.empty()) << "the exit code, or the system's reason";
    } else if (GetParam().notice) {
        EXPECT_EQ(shown.status, TunnelStatus::NotConnected);
    }

    // Nothing was started, so nothing has dropped: no restart, no "Dopo", now or much later.
    service.pass();
    clock.elapsed += seconds(120);
    service.pass();
    EXPECT_TRUE(launcher.requests.empty());
    EXPECT_TRUE(listener.waits.empty());
    EXPECT_TRUE(health.restartsDue().empty());
}

std::function<void(ServiceTest&)> with(std::function<void(TunnelDefinition&)> change) {
    return [change](ServiceTest& f) {
        TunnelDefinition definition = f.service.definition("Alpha").definition;
        change(definition);
        f.service.save("Alpha", definition);
        f.service.approvePrograms("Alpha", definition);
    };
}

// The definition changed behind the user's back (a received file): its programs are not approved.
std::function<void(ServiceTest&)> received(std::function<void(TunnelDefinition&)> change) {
    return [change](ServiceTest& f) {
        TunnelDefinition definition = f.service.definition("Alpha").definition;
        change(definition);
        f.service.save("Alpha", definition);
    };
}

// Alpha goes through Beta, changed so.
std::function<void(ServiceTest&)> throughBeta(std::function<void(TunnelDefinition&)> change) {
    return [change](ServiceTest& f) {
        f.make("Beta");
        TunnelDefinition beta = f.service.definition("Beta").definition;
        change(beta);
        f.service.save("Beta", beta);
        with([](TunnelDefinition& d) { d.PassaPer = "Beta"; })(f);
    };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConnectRefusal,
    ::testing::Values(
        RefusalRow{"LocalPortOutOfRange", with([](TunnelDefinition& d) { d.PortaLocale = "99999"; }),
                   NoticeKind::FieldRefused},
        RefusalRow{"LocalPortText", with([](TunnelDefinition& d) { d.PortaLocale = "ssh"; }), NoticeKind::FieldRefused},
        RefusalRow{"ServerLikeAnOption", with([](TunnelDefinition& d) { d.IpServer = "-oProxyCommand=evil"; }),
                   NoticeKind::FieldRefused},
        RefusalRow{"KeyFileMissing", with([](TunnelDefinition& d) { d.FileChiave = "absent.ppk"; }),
                   NoticeKind::KeyFileMissing},
        RefusalRow{"BeforeProgramNotApproved", received([](TunnelDefinition& d) { d.Prima = "./before.cmd"; }),
                   NoticeKind::ProgramNotApproved},
        RefusalRow{"AfterProgramChanged", received([](TunnelDefinition& d) { d.Dopo = "./other.cmd"; }),
                   NoticeKind::ProgramNotApproved},
        RefusalRow{"BeforeProgramMissing", with([](TunnelDefinition& d) { d.Prima = "./no-such-program.exe"; }),
                   NoticeKind::BeforeNotStarted, FailureKind::BeforeNotStarted},
#ifndef _WIN32
        RefusalRow{"BeforeProgramFails", with([](TunnelDefinition& d) { d.Prima = "false"; }), NoticeKind::BeforeFailed,
                   FailureKind::BeforeFailed},
        // A definition that is a link could make the program read (and later write) another file.
        RefusalRow{"DefinitionIsALink",
                   [](ServiceTest& f) {
                       const auto file = std::filesystem::u8path(f.work.file("tunnells/Alpha/Tunnell.tun"));
                       const auto elsewhere = std::filesystem::u8path(f.work.file("elsewhere.tun"));
                       std::filesystem::rename(file, elsewhere);
                       std::filesystem::create_symlink(elsewhere, file);
                   },
                   NoticeKind::DefinitionUnusable},
        // Emptying the log through a link would empty someone else's file.
        RefusalRow{"ClientLogIsALink",
                   [](ServiceTest& f) {
                       f.work.write("outside.txt", "not ours");
                       std::filesystem::create_symlink(
                           std::filesystem::u8path(f.work.file("outside.txt")),
                           std::filesystem::u8path(f.work.file("tunnells/Alpha/client.log")));
                   },
                   NoticeKind::LaunchFailed},
#endif
        RefusalRow{"ClientAlreadyRuns", [](ServiceTest& f) { f.processes.startOwn(f.clientPath("Alpha")); },
                   std::nullopt},
        RefusalRow{"JumpHostNotListed", with([](TunnelDefinition& d) { d.PassaPer = "Nowhere"; }),
                   NoticeKind::JumpUnusable},
        RefusalRow{"JumpHostItself", with([](TunnelDefinition& d) { d.PassaPer = "Alpha"; }), NoticeKind::JumpUnusable},
        RefusalRow{"JumpHostGoesThroughAnother", throughBeta([](TunnelDefinition& d) { d.PassaPer = "Alpha"; }),
                   NoticeKind::JumpUnusable},
        RefusalRow{"JumpHostLikeAnOption", throughBeta([](TunnelDefinition& d) { d.IpServer = "-oProxyCommand=x"; }),
                   NoticeKind::JumpUnusable}),
    rowName<RefusalRow>);

// ---- what a pass does after a client has ended ----

const char* const kPasswordRefused = "Access denied\r\n"
                                     "FATAL ERROR: Configured password was not accepted\n";
const char* const kUnknownKey = "The host key is not cached for this server:\n"
                                "  ssh.example.org (port 22)\n"
                                "The server's ssh-ed25519 key fingerprint is:\n"
                                "  ssh-ed25519 255 SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o\n"
                                "Connection abandoned.\n"
                                "FATAL ERROR: Cannot confirm a host key in batch mode\n";
const char* const kChangedKey = "WARNING - POTENTIAL SECURITY BREACH!\n"
                                "The host key does not match the one Plink has cached for\n"
                                "this server.\n"
                                "The new ssh-ed25519 key fingerprint is:\n"
                                "  ssh-ed25519 255 SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k\n"
                                "FATAL ERROR: Cannot confirm a host key in batch mode\n";

struct EndRow {
    const char* name;
    const char* lastWords;
    std::vector<NoticeKind> notices; // what the pass that sees the end tells
    bool restarts;
    bool watched = false; // a start watch that never sees a start: the passes only ask after known clients
};

using ClientEnd = ServiceTable<EndRow>;

TEST_P(ClientEnd, RunsDopoOnceThenRestartsWithBackoffOnlyAfterATransientEnd) {
    QuietStartWatch quiet;
    if (GetParam().watched)
        service.setClientStartWatch(&quiet);
    make("Alpha");
    ASSERT_TRUE(service.connect("Alpha").done);
    service.pass();
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected);

    // Past the start's grace, an end without a word is a drop like any other.
    clientEnds("Alpha", GetParam().lastWords);
    clock.elapsed += TunnelMonitor::kStartGrace + seconds(1);
    listener.kinds.clear();
    service.pass();
    EXPECT_EQ(listener.kinds, GetParam().notices);
    const bool offers = std::count(listener.kinds.begin(), listener.kinds.end(), NoticeKind::HostKeyOffered) > 0;
    EXPECT_EQ(listener.offered, offers ? "SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o" : "")
        << "the user is asked about the key the server offered";
    EXPECT_EQ(afterLaunches(), 1u);
    service.pass();
    EXPECT_EQ(afterLaunches(), 1u) << "a drop seen again is not a second drop";

    if (!GetParam().restarts) {
        clock.elapsed += seconds(120);
        service.pass();
        EXPECT_EQ(clientLaunches(), 1u);
        EXPECT_TRUE(listener.waits.empty());
        return;
    }
    // Restarted after 1 s, and after 2 s once it has dropped again.
    for (const seconds backoff : {seconds(1), seconds(2)}) {
        SCOPED_TRACE(backoff.count());
        const std::size_t before = clientLaunches();
        ASSERT_FALSE(listener.waits.empty());
        EXPECT_NEAR(static_cast<double>(listener.waits.back().count()),
                    static_cast<double>(milliseconds(backoff).count()), 100.0)
            << "the next pass is due when the restart is, on the tracker's clock";
        clock.elapsed += backoff - milliseconds(1);
        service.pass();
        EXPECT_EQ(clientLaunches(), before) << "restarted early";
        clock.elapsed += milliseconds(1);
        service.pass();
        EXPECT_EQ(clientLaunches(), before + 1);
        listener.kinds.clear();
        service.pass();
        EXPECT_EQ(listener.kinds, std::vector<NoticeKind>{NoticeKind::Restored});

        clientEnds("Alpha");
        clock.elapsed += TunnelMonitor::kStartGrace + seconds(1);
        service.pass();
    }
    EXPECT_EQ(afterLaunches(), 3u) << "one Dopo per drop";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClientEnd,
    ::testing::Values(EndRow{"Dropped", "", {NoticeKind::Dropped}, true},
                      EndRow{"DroppedWhileNothingElseStarts", "", {NoticeKind::Dropped}, true, true},
                      EndRow{"PasswordRefused", kPasswordRefused, {NoticeKind::Dropped}, false},
                      EndRow{"HostKeyUnknown", kUnknownKey, {NoticeKind::HostKeyOffered, NoticeKind::Dropped}, false},
                      EndRow{"HostKeyChanged", kChangedKey, {NoticeKind::HostKeyChanged, NoticeKind::Dropped}, false}),
    rowName<EndRow>);

TEST_F(ServiceTest, AJumpHostGetsItsOwnPasswordPipeAndItsKeyGoesIntoItsOwnDefinition) {
    make("Gateway");
    TunnelDefinition gateway = service.definition("Gateway").definition;
    gateway.Password = "gateway secret";
    service.save("Gateway", gateway);
    make("Inside");
    TunnelDefinition inside = service.definition("Inside").definition;
    inside.PassaPer = "Gateway";
    service.save("Inside", inside);

    const PlannedConnect planned = service.planConnect("Inside");
    ASSERT_TRUE(planned.plan);
    EXPECT_NE(planned.plan->maskedCommandLine.find("-proxycmd"), std::string::npos);
    EXPECT_EQ(planned.plan->maskedCommandLine.find("secret"), std::string::npos);
    ASSERT_TRUE(service.start(*planned.plan).done);
    ASSERT_EQ(launcher.requests.size(), 1u);
    EXPECT_EQ(launcher.requests[0].secret, "secret");
    EXPECT_EQ(launcher.requests[0].hopSecret, "gateway secret");
    EXPECT_EQ(launcher.requests[0].parameters.find("secret"), std::string::npos);

    // The jump host shows a key nobody trusted yet: the offer names it, and the answer is kept as its own.
    clientEnds("Inside", "Starting local proxy command: plink.exe -v -nc ssh.example.org:22 ssh.example.org\n"
                         "proxy: Connecting to 192.0.2.1 port 22\n"
                         "proxy: The host key is not cached for this server:\n"
                         "proxy:   192.0.2.1 (port 22)\n"
                         "proxy: The server's ssh-ed25519 key fingerprint is:\n"
                         "proxy:   ssh-ed25519 255 SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o\n"
                         "proxy: FATAL ERROR: Cannot confirm a host key in batch mode\n"
                         "FATAL ERROR: Remote side unexpectedly closed network connection\n");
    service.pass();
    EXPECT_EQ(service.health("Inside").failure.hop, "192.0.2.1");
    ASSERT_EQ(listener.offered, "SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o");
    EXPECT_TRUE(service.trustHostKey("Inside", listener.offered, true).done);
    EXPECT_EQ(service.definition("Gateway").definition.HostKey, listener.offered);
    EXPECT_EQ(service.definition("Inside").definition.HostKey, "");
    ASSERT_EQ(clientLaunches(), 2u);
    EXPECT_NE(launcher.requests.back().parameters.find(listener.offered), std::string::npos);
}

TEST_F(ServiceTest, AQuietPassListsNoProcessYetSeesEveryClientThatStartsOrEnds) {
    QuietStartWatch watch;
    service.setClientStartWatch(&watch);
    const auto lists = [&] {
        const int before = processes.listings;
        service.pass();
        return processes.listings > before;
    };
    make("Alpha");
    make("Beta");
    ASSERT_TRUE(service.connect("Alpha").done);
    EXPECT_TRUE(lists()) << "a client was started";
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected);
    EXPECT_FALSE(lists()) << "nothing started: the known client is only asked after";
    EXPECT_EQ(service.health("Alpha").status, TunnelStatus::Connected);

    // Started from elsewhere: the watch tells, and the next pass lists.
    processes.startOwn(clientPath("Beta"));
    watch.started = true;
    EXPECT_TRUE(lists());
    EXPECT_NE(service.health("Beta").status, TunnelStatus::NotConnected);

    // An end is seen without a listing.
    clientEnds("Alpha");
    clock.elapsed += TunnelMonitor::kStartGrace + seconds(1);
    EXPECT_FALSE(lists());
    EXPECT_EQ(service.health("Alpha").status, TunnelStatus::Failed);

    int quiet = 0;
    while (quiet <= TunnelService::kQuietPassesBetweenListings && !lists())
        ++quiet;
    EXPECT_LE(quiet, TunnelService::kQuietPassesBetweenListings) << "whatever the watch says, a listing now and then";
}

// ---- the list ----

// A folder inside a tunnel folder is no row (its commands would act on the tunnel of its name); a start from
// the command line cleans what killed saves left, as the window does. How much a tunnel folder may hold:
// tests/cli/command_runner_posix_test.cpp.
TEST_F(ServiceTest, StatusFromTheCommandLineListsTheTunnelsOnlyAndCleansKilledSaves) {
    make("Home");
    make("Office");
    work.makeFolder("tunnells/Office/Home/a");
    work.write("tunnells/Home/.tunnell.tun.quorvane-999999-1.tmp", "half");
    work.write("tunnells/Home/.notes.tmp", "the user's");

    BuiltInCommandHost host;
    CommandRunner runner(service, host);
    std::string output;
    std::string errors;
    EXPECT_EQ(runner.runHere(*parseStartCommand({"--status"}).command, output, errors), 0) << errors;
    EXPECT_EQ(output, "Home\tnot connected\nOffice\tnot connected\n");
    EXPECT_FALSE(std::filesystem::exists(work.file("tunnells/Home/.tunnell.tun.quorvane-999999-1.tmp")));
    EXPECT_TRUE(std::filesystem::exists(work.file("tunnells/Home/.notes.tmp")));
}

// The window shown again reads the list again: a tunnel the user disconnected stays down until they
// connect it, or until the program starts anew.
TEST_F(ServiceTest, ALoadConnectsAgainOnlyWhatTheUserDidNotDisconnect) {
    for (const char* name : {"Home", "Office"}) {
        make(name);
        TunnelDefinition definition = service.definition(name).definition;
        definition.AutoConnessione = true;
        definition.PortaLocale = name == std::string("Home") ? "8022" : "8023";
        service.save(name, definition);
    }
    EXPECT_EQ(service.load({}).started, (std::vector<std::string>{"Home", "Office"}));
    ASSERT_TRUE(service.disconnect("Office").done);
    clientEnds("Home");
    service.pass();
    EXPECT_EQ(service.load({}).started, std::vector<std::string>{"Home"}) << "Office was disconnected by the user";
    ASSERT_TRUE(service.connect("Office").done);
    ASSERT_TRUE(service.disconnect("Office").done);
    ASSERT_TRUE(service.connect("Office").done);
    clientEnds("Office");
    service.pass();
    EXPECT_EQ(service.load({}).started, std::vector<std::string>{"Office"}) << "connected by the user since";
}

// A tunnel's state goes with it: renamed, it keeps being the user's disconnected tunnel with its approvals and no
// health of its old name; removed and made again, it starts clean.
TEST_F(ServiceTest, ARenameCarriesTheTunnelsStateAndARemoveDropsIt) {
    const struct {
        const char* name;
        bool removeIt; // else renamed to "Renamed"
    } rows[] = {{"Rename", false}, {"Remove", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = std::string("T") + row.name;
        make(name);
        TunnelDefinition definition = service.definition(name).definition;
        definition.AutoConnessione = true;
        service.save(name, definition);
        ASSERT_TRUE(service.connect(name).done);
        ASSERT_TRUE(service.disconnect(name).done);
        service.pass();
        std::string now = name;
        if (row.removeIt) {
            ASSERT_TRUE(service.remove(name).done);
            make(name);
            service.save(name, definition);
        } else {
            ASSERT_TRUE(service.rename(name, "Renamed").done);
            now = "Renamed";
        }
        EXPECT_EQ(service.health(name).status, TunnelStatus::NotConnected);
        EXPECT_EQ(service.unapprovedPrograms(now, definition).empty(), true) << "approvals: kept, or approved anew";
        const LoadReport loaded = service.load({});
        const bool started = std::find(loaded.started.begin(), loaded.started.end(), now) != loaded.started.end();
        EXPECT_EQ(started, row.removeIt) << "a renamed tunnel stays disconnected; a new one connects automatically";
        service.disconnect(now);
        service.remove(now);
    }
}

// A save the store refuses is a result like any other command's, with the store's words: nothing throws past it.
TEST_F(ServiceTest, ASaveTheStoreRefusesIsAResultNotAnException) {
    make("Alpha");
    const TunnelDefinition definition = service.definition("Alpha").definition;
    const std::string file = work.file("tunnells/Alpha/tunnell.tun");
    std::filesystem::remove(std::filesystem::u8path(file));
    std::filesystem::create_directory(std::filesystem::u8path(file)); // a folder where the file belongs
    CommandResult saved;
    EXPECT_NO_THROW(saved = service.save("Alpha", definition));
    EXPECT_FALSE(saved.done);
    ASSERT_EQ(saved.notices.size(), 1u);
    EXPECT_EQ(saved.notices.front().kind, NoticeKind::DefinitionUnusable);
    EXPECT_NE(saved.notices.front().detail.find("tunnell.tun"), std::string::npos) << saved.notices.front().detail;
    CommandResult trusted;
    EXPECT_NO_THROW(trusted = service.trustHostKey("Alpha", "SHA256:abc"));
    EXPECT_FALSE(trusted.done);
    EXPECT_TRUE(launcher.requests.empty());
}

// Where nobody can be asked, a connect whose programs wait for approval starts nothing and says why; asked and
// answered no, it starts nothing and says nothing more; answered yes, it approves them and starts.
TEST_F(ServiceTest, AQuestionNobodyAnswersOrAnsweredNoStartsNothing) {
    make("Alpha");
    TunnelDefinition definition = service.definition("Alpha").definition;
    definition.Prima = "./from-elsewhere.sh";
    service.save("Alpha", definition); // saved, not typed in the editor: not approved
    const CommandResult nobody = service.connect("Alpha", nullPrompts());
    EXPECT_FALSE(nobody.done);
    ASSERT_EQ(nobody.notices.size(), 1u);
    EXPECT_EQ(nobody.notices.front().kind, NoticeKind::ProgramNotApproved);
    ScriptedPrompts prompts;
    const CommandResult no = service.connect("Alpha", prompts);
    EXPECT_FALSE(no.done);
    EXPECT_TRUE(no.notices.empty());
    EXPECT_EQ(prompts.asked, std::vector<std::string>{"Alpha"});
    EXPECT_TRUE(prompts.shown.empty()) << "no command line for a connect that does not start";
    EXPECT_TRUE(launcher.requests.empty());
    EXPECT_FALSE(service.unapprovedPrograms("Alpha", definition).empty()) << "a no approves nothing";
}

// ---- every tunnel at once ----

std::vector<std::string> tunnelsOf(const BatchResult& batch, bool done) {
    std::vector<std::string> names;
    for (const BatchResult::Outcome& outcome : batch.outcomes) {
        if (outcome.result.done == done)
            names.push_back(outcome.tunnel);
    }
    return names;
}

// Connect all takes what is down, through connect's own checks, and one refusal stops none of the others;
// disconnect all stops every client, and a tunnel waiting for its next try stays down too.
TEST_F(ServiceTest, ConnectAllAndDisconnectAllActOnEveryTunnelInListOrder) {
    int port = 8100;
    for (const char* name : {"Alpha", "Beta", "Gamma", "Delta", "Epsilon"}) {
        make(name);
        TunnelDefinition own = service.definition(name).definition;
        own.PortaLocale = std::to_string(++port); // one port each, or the tunnels would take each other's
        service.save(name, own);
    }
    TunnelDefinition refused = service.definition("Gamma").definition;
    refused.Username = "-oProxyCommand=evil";
    service.save("Gamma", refused);
    TunnelDefinition received = service.definition("Epsilon").definition;
    received.Prima = "./fetch-keys.cmd"; // not approved
    service.save("Epsilon", received);
    ASSERT_TRUE(service.connect("Alpha").done);
    ASSERT_TRUE(service.connect("Delta").done);
    service.pass();
    clientEnds("Delta");
    clock.elapsed += TunnelMonitor::kStartGrace + seconds(1);
    service.pass();
    ASSERT_TRUE(service.health("Delta").retryIn) << "Delta waits for its next try";

    ScriptedPrompts prompts;
    const BatchResult connected = service.connectAll(prompts);
    const std::vector<std::string>& asked = prompts.asked;
    EXPECT_EQ(tunnelsOf(connected, true), (Names{"Beta", "Delta"})) << "Alpha was up already";
    EXPECT_EQ(tunnelsOf(connected, false), (Names{"Gamma", "Epsilon"}));
    EXPECT_EQ(connected.outcomes[1].result.notices.at(0).kind, NoticeKind::FieldRefused);
    EXPECT_EQ(asked, Names{"Epsilon"}) << "programs are put to the user as a single connect puts them";
    EXPECT_EQ(clientLaunches(), 4u);
    EXPECT_EQ(service.connectAll().outcomes.at(1).result.notices.at(0).kind, NoticeKind::ProgramNotApproved);

    service.pass();
    clientEnds("Beta");
    clock.elapsed += TunnelMonitor::kStartGrace + seconds(1);
    service.pass();
    ASSERT_TRUE(service.health("Beta").retryIn);
    const std::size_t afterBefore = afterLaunches();
    const BatchResult disconnected = service.disconnectAll();
    EXPECT_EQ(tunnelsOf(disconnected, true), (Names{"Alpha", "Beta", "Delta"}));
    EXPECT_TRUE(tunnelsOf(disconnected, false).empty());
    EXPECT_EQ(afterLaunches(), afterBefore + 2) << "Dopo once for each client stopped";
    for (const char* name : {"Alpha", "Beta", "Delta"})
        EXPECT_FALSE(clientRuns(name)) << name;
    clock.elapsed += seconds(120);
    service.pass();
    EXPECT_EQ(clientLaunches(), 4u) << "nothing restarts";
    EXPECT_TRUE(service.disconnectAll().outcomes.empty());

    ASSERT_TRUE(service.connect("Alpha").done);
    processes.refuseStops = true;
    const BatchResult stuck = service.disconnectAll();
    ASSERT_EQ(stuck.outcomes.size(), 1u);
    EXPECT_EQ(stuck.outcomes[0].result.notices.at(0).kind, NoticeKind::StopFailed);
}

// ---- export and import ----

// What comes back is the definition less its password and trusted key, unless the user asked for them; a new
// tunnel whose programs wait for approval. A file that is no definition is refused; one whose values are
// options is imported, and its connect refuses them.
TEST_F(ServiceTest, ExportThenImportKeepsEveryFieldButTheSecretsUnlessAskedFor) {
    make("Office");
    TunnelDefinition full = service.definition("Office").definition;
    full.HostKey = "SHA256:xB+JVzAha4gjSTW8e2+G5Ekx9KRkD4DekhHyzAZ5u2o";
    full.FileChiave = "id.ppk";
    full.Direzione = kForwardRemote;
    full.Debug = full.AutoConnessione = true;
    full.Prima = "./before.cmd";
    full.Inoltri = {{kForwardDynamic, "1080", "", ""}, {kForwardLocal, "8080", "intranet", "80"}};
    full.Sonda = 30;
    service.save("Office", full);
    work.makeFolder("out");
    for (const bool withSecrets : {false, true}) {
        const std::string file = work.file(withSecrets ? "out/Office.tun" : "Office.tun");
        ASSERT_TRUE(service.exportTunnel("Office", file, withSecrets).done);
        const TunnelService::ImportCheck check = service.checkImport(file);
        ASSERT_TRUE(check.definition);
        EXPECT_EQ(check.name, withSecrets ? "Office 3" : "Office 2");
        ASSERT_TRUE(service.importTunnel(check.name, *check.definition).done);
        TunnelDefinition expected = full;
        if (!withSecrets)
            expected.Password = expected.HostKey = "";
        EXPECT_EQ(service.definition(check.name).definition, expected);
        EXPECT_EQ(service.unapprovedPrograms(check.name, expected).size(), 2u);
    }
    EXPECT_EQ(folderNames(), (Names{"Office", "Office 2", "Office 3"}));

    work.write("notes.ini", "[Opzioni]\r\nIpServer=x\r\n");
    const TunnelService::ImportCheck notes = service.checkImport(work.file("notes.ini"));
    EXPECT_FALSE(notes.definition);
    EXPECT_EQ(notes.notices.at(0).kind, NoticeKind::DefinitionUnusable);
    work.write("-evil.tun", "[SSH Server]\r\nIpServer=-oProxyCommand=sh\r\nPortaServer=22\r\n");
    const TunnelService::ImportCheck evil = service.checkImport(work.file("-evil.tun"));
    ASSERT_TRUE(evil.definition);
    ASSERT_TRUE(service.importTunnel(evil.name, *evil.definition).done);
    EXPECT_EQ(service.connect(evil.name).notices.at(0).kind, NoticeKind::FieldRefused);
    EXPECT_EQ(clientLaunches(), 0u);
    EXPECT_FALSE(service.importTunnel("../outside", *evil.definition).done);
}

// ---- remove and rename ----

struct FolderRow {
    const char* name;
    bool running;         // Alpha's client runs
    bool refuseStops;     // and cannot be stopped
    const char* renameTo; // none: Alpha is removed
    std::optional<NoticeKind> refusal;
    std::vector<std::string> listed;  // the list afterwards
    std::vector<std::string> folders; // the tunnels folder afterwards
};

using FolderCommand = ServiceTable<FolderRow>;

TEST_P(FolderCommand, ChangesFoldersAndListTogetherOrNotAtAll) {
    make("Alpha");
    make("beta");
    TunnelDefinition through = service.definition("beta").definition;
    through.PassaPer = "Alpha";
    service.save("beta", through);
    if (GetParam().running) {
        ASSERT_TRUE(service.connect("Alpha").done);
    }
    processes.refuseStops = GetParam().refuseStops;

    const CommandResult result =
        GetParam().renameTo ? service.rename("Alpha", GetParam().renameTo) : service.remove("Alpha");
    EXPECT_EQ(result.done, !GetParam().refusal);
    if (GetParam().refusal) {
        ASSERT_EQ(result.notices.size(), 1u);
        EXPECT_EQ(result.notices.front().kind, *GetParam().refusal);
    } else {
        EXPECT_TRUE(result.notices.empty());
    }
    EXPECT_EQ(service.tunnels(), GetParam().listed);
    EXPECT_EQ(folderNames(), GetParam().folders);
    // A tunnel that went through the renamed one follows it.
    const bool renamed = GetParam().renameTo && !GetParam().refusal;
    EXPECT_EQ(service.definition("beta").definition.PassaPer, renamed ? GetParam().renameTo : "Alpha");

    // A client the command stopped was stopped by the user: the next pass reports no drop.
    listener.kinds.clear();
    clock.elapsed += seconds(5);
    service.pass();
    EXPECT_TRUE(listener.kinds.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderCommand,
    ::testing::Values(FolderRow{"RemoveUnstoppable", true, true, nullptr, NoticeKind::StopFailed,
                                Names{"Alpha", "beta"}, Names{"Alpha", "beta"}},
                      FolderRow{"Remove", true, false, nullptr, std::nullopt, Names{"beta"}, Names{"beta"}},
                      FolderRow{"RenameWhileRunning", true, false, "Gamma", NoticeKind::RenameWhileRunning,
                                Names{"Alpha", "beta"}, Names{"Alpha", "beta"}},
                      FolderRow{"RenameToOtherCaseOfListed", false, false, "BETA", NoticeKind::NameTaken,
                                Names{"Alpha", "beta"}, Names{"Alpha", "beta"}},
                      FolderRow{"Rename", false, false, "Gamma", std::nullopt, Names{"Gamma", "beta"},
                                Names{"Gamma", "beta"}}),
    rowName<FolderRow>);

// ---- the servers' checks ----

using State = ProbeSockets::State;
using Change = NetworkWatch::Change;

struct CheckRow {
    const char* name;
    State check;         // what the checks through the tunnels' check forwards get
    State back;          // what the server itself gives when asked whether it is back (its banner when Answered)
    const char* address; // the server's
    Change change;       // told at the tick right after the drop
    bool dropped;
    bool restartsAtOnce; // at the next look, before the backoff
};

void PrintTo(const CheckRow& row, std::ostream* out) {
    *out << row.name;
}

constexpr const char* kServerName = "ssh.example.org";
constexpr const char* kServerAddress = "192.0.2.10";

class ServerCheck : public ServiceTest, public ::testing::WithParamInterface<CheckRow> {
public:
    ServerCheck() : ServiceTest(true) {
        // The name is known without asking the network.
        service.setHostLookup([](const std::string& name) {
            return std::make_unique<HostLookup>(name == kServerName ? std::vector<std::string>{kServerAddress}
                                                                    : std::vector<std::string>{});
        });
    }
};

TEST_P(ServerCheck, SilenceStopsTheClientThenRestartsItWhenTheServerIsBackWithoutGrowingTheWait) {
    const CheckRow& row = GetParam();
    const std::vector<std::string> names{"Alpha", "Beta"};
    for (const std::string& name : names) {
        make(name);
        TunnelDefinition definition = service.definition(name).definition;
        definition.IpServer = row.address;
        definition.PortaLocale = name == "Alpha" ? "8022" : "8023";
        service.save(name, definition);
        ASSERT_TRUE(service.connect(name).done);
    }
    service.pass();
    for (const std::string& name : names)
        ASSERT_EQ(service.health(name).status, TunnelStatus::Connecting) << name << ": not before its check answered";
    ASSERT_EQ(probes.opened.size(), 2u) << "each server is asked at once";
    EXPECT_EQ(probes.opened.front(), std::make_pair(std::string("127.0.0.1"), probes.freePort));
    service.tick();
    for (const std::string& name : names)
        ASSERT_EQ(service.health(name).status, TunnelStatus::Connected) << name;
    // The next check, one period on.
    probes.answer = row.check;
    clock.elapsed += seconds(kDefaultProbeSeconds);
    service.tick();
    ASSERT_EQ(probes.opened.size(), 4u);

    probes.answer = row.back;
    listener.kinds.clear();
    for (int second = 1; second < 3; ++second) {
        clock.elapsed += seconds(1);
        service.tick();
    }
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected) << "failed before 3 s";
    clock.elapsed += seconds(1);
    service.tick();
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(service.health(name).status, row.dropped ? TunnelStatus::Failed : TunnelStatus::Connected);
        EXPECT_EQ(clientRuns(name), !row.dropped);
        if (row.dropped) {
            EXPECT_EQ(service.health(name).failure.kind, FailureKind::ServerNotAnswering);
        }
    }
    EXPECT_EQ(listener.kinds,
              row.dropped ? std::vector<NoticeKind>(2, NoticeKind::Dropped) : std::vector<NoticeKind>{});
    if (!row.dropped)
        return;

    network.next = row.change;
    service.tick();
    clock.elapsed += seconds(1) - milliseconds(1);
    service.tick(); // the server's answer, taken
    EXPECT_EQ(clientLaunches(), row.restartsAtOnce ? 4u : 2u) << "within a second of the server answering";
    if (row.restartsAtOnce)
        return;
    // Out of reach: past many backoffs nothing is started, and no try is counted.
    for (int second = 0; second < 90; ++second) {
        clock.elapsed += seconds(1);
        service.tick();
        service.pass();
    }
    EXPECT_EQ(clientLaunches(), 2u) << "started while the server cannot be reached";
    EXPECT_EQ(service.health("Alpha").retries, 0);
    ASSERT_TRUE(service.health("Alpha").retryIn) << "still waiting";
    // Back: both are started at the look that hears it, long before the wait would end.
    probes.answer = State::Answered;
    // A look still under way when it came back ends unanswered first.
    for (int second = 0; second < 5 && clientLaunches() < 4u; ++second) {
        clock.elapsed += seconds(1);
        service.tick();
    }
    EXPECT_EQ(clientLaunches(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServerCheck,
    ::testing::Values(
        CheckRow{"Answered", State::Answered, State::Answered, kServerName, Change::None, false, false},
        CheckRow{"Silent", State::Pending, State::Pending, kServerName, Change::None, true, false},
        CheckRow{"SilentThenServerBannerBack", State::Pending, State::Answered, kServerAddress, Change::None, true,
                 true},
        // A name is looked up, then asked like an address.
        CheckRow{"SilentThenNamedServerBack", State::Pending, State::Answered, kServerName, Change::None, true, true},
        // A wake or a new network asks the server afresh: nothing starts while it stays silent.
        CheckRow{"SilentThenWake", State::Pending, State::Pending, kServerName, Change::Wake, true, false},
        CheckRow{"SilentThenNetworkChange", State::Pending, State::Pending, kServerAddress, Change::Network, true,
                 false}),
    rowName<CheckRow>);

// ---- what a connected tunnel carries ----

// The count comes from one look at the socket table per pass, only while a tunnel is connected, and the time up
// from the clock: both in the words the windows show.
TEST_F(ServiceTest, AConnectedTunnelTellsItsConnectionsAndTimeUp) {
    make("Alpha");
    service.pass();
    EXPECT_EQ(sockets.connectionLooks, 0) << "nothing connected, nothing counted";
    ASSERT_TRUE(service.connect("Alpha").done);
    service.pass();
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected);
    const struct {
        seconds up;
        std::optional<int> connections; // none: the system cannot say
        const char* words;
    } rows[] = {
        {seconds(0), 1, "1 connessione · attivo da meno di 1 min"},
        {seconds(59), 3, "3 connessioni · attivo da meno di 1 min"},
        {seconds(14 * 60 + 5), 0, "0 connessioni · attivo da 14 min"},
        {seconds((2 * 60 + 14) * 60), 3, "3 connessioni · attivo da 2 h 14 min"},
        {seconds(26 * 3600 + 59), std::nullopt, "attivo da 1 g 2 h"},
    };
    const milliseconds connected = clock.elapsed;
    for (const auto& row : rows) {
        clock.elapsed = connected + row.up;
        sockets.countsKnown = row.connections.has_value();
        sockets.connections[8022] = row.connections.value_or(0);
        const int looks = sockets.connectionLooks;
        service.pass();
        EXPECT_EQ(sockets.connectionLooks, looks + 1);
        const std::optional<TunnelActivity> activity = service.activity("Alpha");
        ASSERT_TRUE(activity);
        EXPECT_EQ(activity->connections, row.connections);
        EXPECT_EQ(activityWords(*activity, BuiltInMessages()), row.words);
    }
    // The rows are drawn again for a new minute up, not for every pass.
    const std::optional<std::uint64_t> shown = service.statesRevision();
    service.pass();
    EXPECT_EQ(service.statesRevision(), shown);
    clock.elapsed += seconds(60);
    service.pass();
    EXPECT_NE(service.statesRevision(), shown);
    // While nothing shows the counts, passes take no look at the connection table; wanted again, the next pass looks.
    sockets.countsKnown = true;
    sockets.connections[8022] = 4;
    const int looks = sockets.connectionLooks;
    service.setCountsWanted(false);
    service.pass();
    EXPECT_EQ(sockets.connectionLooks, looks);
    EXPECT_EQ(service.activity("Alpha")->connections, std::nullopt) << "no stale count";
    service.setCountsWanted(true);
    service.pass();
    EXPECT_EQ(sockets.connectionLooks, looks + 1);
    EXPECT_EQ(service.activity("Alpha")->connections, 4);
    service.disconnect("Alpha");
    EXPECT_FALSE(service.activity("Alpha"));
}

// The server checks go through a forward of the program's own: their connections are not the user's.
class CheckedServiceTest : public ServiceTest {
public:
    CheckedServiceTest() : ServiceTest(true) {}
};

TEST_F(CheckedServiceTest, TheChecksOwnConnectionsAreNotCounted) {
    make("Alpha");
    ASSERT_TRUE(service.connect("Alpha").done);
    sockets.connections = {{8022, 2}, {probes.freePort, 1}};
    service.pass();
    service.tick(); // its first check answers
    service.pass();
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected);
    EXPECT_EQ(service.activity("Alpha")->connections, 2);
}

// "Apri" with its switch: opened once per connect of the user's, not at every pass nor after a restart; a program
// runs only once approved.
// A box shown before the start lets events through, and what runs there may start the client (a server key
// trusted): the connect then starts no second one.
TEST_F(ServiceTest, AClientStartedWhileTheConnectWaitedIsNotStartedAgain) {
    make("Alpha");
    ScriptedPrompts prompts;
    prompts.before = [&](const ConnectPlan&) { ASSERT_TRUE(service.connect("Alpha").done); };
    const CommandResult result = service.connect("Alpha", prompts);
    EXPECT_TRUE(result.done);
    EXPECT_EQ(launcher.requests.size(), 1u);
}

TEST_F(ServiceTest, AConnectOpensWhatTheTunnelNamesOnce) {
    make("Alpha");
    TunnelDefinition definition = LoadDefinition(folders.data, "Alpha");
    definition.Apri = " http://127.0.0.1:{porta}/status ";
    definition.ApriAllaConnessione = true;
    service.save("Alpha", definition);
    ASSERT_TRUE(service.connect("Alpha").done);
    service.pass();
    service.pass();
    EXPECT_EQ(listener.opened, Names{"http://127.0.0.1:8022/status"});

    clientEnds("Alpha");
    clock.elapsed += TunnelMonitor::kStartGrace + seconds(2);
    service.pass(); // dropped, restarted after its wait
    clock.elapsed += seconds(2);
    service.pass();
    service.pass();
    ASSERT_EQ(service.health("Alpha").status, TunnelStatus::Connected);
    EXPECT_EQ(listener.opened.size(), 1u) << "a restart is no connect of the user's";

    definition.Apri = "./viewer.exe --port {porta}";
    service.save("Alpha", definition);
    service.disconnect("Alpha");
    listener.kinds.clear();
    ASSERT_TRUE(service.connect("Alpha").done);
    service.pass();
    EXPECT_EQ(listener.kinds, std::vector<NoticeKind>{NoticeKind::OpenNotApproved});
    EXPECT_EQ(launches("viewer.exe"), 0u);
    EXPECT_TRUE(service.openProgram("Alpha", true).done) << "the user said yes";
    ASSERT_EQ(launches("viewer.exe"), 1u);
    EXPECT_EQ(launcher.requests.back().parameters, "--port 8022");
    EXPECT_EQ(listener.opened.size(), 1u);
}

} // namespace
} // namespace quorvane
