// Tunnels driven through the program's own commands against a real sshd, with bytes through the forwarding.
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/application.h"
#include "app/main_window.h"
#include "app/service_events.h"
#include "app/tunnel_editor.h"
#include "process/key_generator.h"
#include "store/file_system.h"
#include "store/tunnel_definition.h"
#include "support/scripted_dialogs.h"
#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"
#include "tunnel/tunnel_monitor.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOtherUser = "quorvaneother";

// Another local account, made on first use; throws when it cannot be had.
const passwd& otherUser() {
    if (!getpwnam(kOtherUser)) {
        std::string output;
        runProgram({"/usr/sbin/useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kOtherUser},
                   "", &output);
        if (!getpwnam(kOtherUser))
            throw std::runtime_error("cannot create the account " + std::string(kOtherUser) + ": " + output);
    }
    return *getpwnam(kOtherUser);
}

struct Account {
    uid_t uid;
    gid_t gid;
};

// Looked up before any fork: a child of a threaded program must not enter the name service.
Account otherAccount() {
    const passwd& user = otherUser();
    return {user.pw_uid, user.pw_gid};
}

// Becomes the other user for good: only in a child that ends with _exit.
void becomeOtherUser(Account account) {
    if (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0)
        _exit(126);
}

// Runs look in a child process as the other user and returns what it reported.
std::string asOtherUser(const std::function<std::string()>& look) {
    const Account account = otherAccount();
    int ends[2];
    if (pipe(ends) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        becomeOtherUser(account);
        const std::string report = look();
        (void)!write(ends[1], report.data(), report.size());
        _exit(0);
    }
    close(ends[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += "the look as " + std::string(kOtherUser) + " did not run to its end";
    return report;
}

// Everything a user can open that might hold the secret: every process's command line and
// environment, and every regular file under the given folders. Names each place that holds it.
std::string placesHolding(const std::string& secret, const std::vector<std::string>& folders) {
    std::string found;
    const auto check = [&](const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return;
        std::string bytes;
        char buffer[65536];
        for (ssize_t got; bytes.size() < (1u << 22) && (got = read(fd, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<std::size_t>(got));
        close(fd);
        if (bytes.find(secret) != std::string::npos)
            found += path + "\n";
    };
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(getpid()))
            continue;
        check(entry.path() / "cmdline");
        check(entry.path() / "environ");
    }
    for (const std::string& folder : folders) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            if (it->is_regular_file(error))
                check(it->path());
        }
    }
    return found;
}

class TunnelE2e : public ::testing::Test {
protected:
    void SetUp() override {
        QUORVANE_REQUIRE_SSH_SERVER();
        try {
            server = std::make_unique<SshServer>();
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
        work.makeFolder("tunnells");
        fs::copy_file(plinkPath(), work.file("plink.exe"));
    }

    void TearDown() override {
        // Clients are detached from this process: nothing else would ever stop them.
        for (const std::string& name : names)
            EXPECT_EQ(stopProcessesNamed(name + "SSH.exe"), 0) << name << "'s client outlived the test";
    }

    std::unique_ptr<QuorvaneApp> openApp() {
        AppOptions options;
        options.workingDir = work.withSeparator();
        auto app = std::make_unique<QuorvaneApp>(std::move(options));
        app->start(); // shows the main window, which runs the load sequence
        return app;
    }

    // Names are kept short: a process name longer than 15 characters is cut in /proc/PID/comm.
    void addTunnel(TMain& main, const std::string& name) {
        names.push_back(name);
        dialogs.answerInput(QString::fromStdString(name));
        main.Aggiungi1Click();
        ASSERT_GE(rowOf(main, name), 0) << "no row for " << name;
        EXPECT_TRUE(fs::exists(work.file("tunnells/" + name + "/" + name + "SSH.exe")));
    }

    TunnelDefinition definitionFor(int localPort, int servicePort, bool autoConnect = false) const {
        TunnelDefinition definition;
        definition.IpServer = "127.0.0.1";
        definition.PortaServer = std::to_string(server->port());
        definition.Username = server->user();
        definition.Password = server->password();
        definition.PortaLocale = std::to_string(localPort);
        definition.IpServizio = "127.0.0.1";
        definition.PortaServizio = std::to_string(servicePort);
        definition.AutoConnessione = autoConnect;
        return definition;
    }

    std::string expectedCommandLine(const TunnelDefinition& d) const {
        return "-ssh -batch -N -P " + d.PortaServer + " -l " + d.Username + " -pw ******** -L " + d.PortaLocale + ":" +
               d.IpServizio + ":" + d.PortaServizio + " " + d.IpServer;
    }

    // A pass sees the forward listen; the check it then sends is answered within moments, and a pass shows it.
    static bool showsConnected(TMain& main, const std::string& name) {
        return QTest::qWaitFor(
            [&] {
                main.checkprocessiTimer();
                return main.pictureOf(rowOf(main, name)) == 1;
            },
            3000);
    }
    static int rowOf(TMain& main, const std::string& name) {
        for (int row = 0; row < main.ListView1->count(); ++row) {
            if (main.ListView1->item(row)->text().toStdString() == name)
                return row;
        }
        return -1;
    }

    static void select(TMain& main, const std::string& name) {
        const int row = rowOf(main, name);
        ASSERT_GE(row, 0) << "no row for " << name;
        main.ListView1->setCurrentRow(row);
    }

    // The modify command, as a user would use it: fill the editor while it is open and press "&Ok".
    void saveThroughEditor(QuorvaneApp& app, const std::string& name, const TunnelDefinition& d) {
        select(app.main(), name);
        TShowTunn& editor = app.editor();
        bool filled = false;
        QTimer fill;
        fill.setSingleShot(true);
        QObject::connect(&fill, &QTimer::timeout, [&] {
            if (!editor.isVisible())
                return;
            editor.mxflatmaskedit1->setText(QString::fromStdString(d.IpServer));
            editor.mxflatmaskedit2->setText(QString::fromStdString(d.PortaServer));
            editor.mxflatedit1->setText(QString::fromStdString(d.Username));
            editor.mxflatedit2->setText(QString::fromStdString(d.Password));
            editor.mxflatmaskedit5->setText(QString::fromStdString(d.PortaLocale));
            editor.mxflatmaskedit3->setText(QString::fromStdString(d.IpServizio));
            editor.mxflatmaskedit4->setText(QString::fromStdString(d.PortaServizio));
            editor.autoconnect->setChecked(d.AutoConnessione);
            filled = true;
            editor.Button1->click();
        });
        // Never hang the run on a dialog that "&Ok" did not close.
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] { editor.done(QDialog::Rejected); });
        fill.start(0);
        rescue.start(10000);
        app.main().ListView1DblClick();
        ASSERT_TRUE(filled) << "the editor was not shown for " << name;
        EXPECT_FALSE(editor.isVisible());
        EXPECT_EQ(LoadDefinition(work.withSeparator(), name), d);
    }

    // Connect; returns the text of the box that showed the command line.
    QString connectTunnel(TMain& main, const std::string& name) {
        select(main, name);
        const auto shown = dialogs.messages.size();
        main.AttivaTunnell1Click();
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
        return dialogs.messages.size() > shown ? dialogs.messages.back() : QString();
    }

    std::string answer(int localPort, const std::string& line) {
        return askLineWithRetry(localPort, line, 10000).value_or("(no answer)");
    }

    std::unique_ptr<SshServer> server;
    TempDir work;
    ScriptedDialogs dialogs;
    std::vector<std::string> names;
};

TEST_F(TunnelE2e, AddSaveConnectForwardDisconnect) {
    TcpService service;
    auto app = openApp();
    TMain& main = app->main();

    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eAlfa"));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("\n").toStdString();
    const TunnelDefinition definition = definitionFor(freeLoopbackPort(), service.port());
    ASSERT_NO_FATAL_FAILURE(saveThroughEditor(*app, "E2eAlfa", definition));

    EXPECT_EQ(connectTunnel(main, "E2eAlfa").toStdString(), expectedCommandLine(definition));
    EXPECT_EQ(answer(std::stoi(definition.PortaLocale), "ping"), "echo:ping") << server->log();
    EXPECT_EQ(processesNamed("E2eAlfaSSH.exe").size(), 1u);
    EXPECT_TRUE(showsConnected(main, "E2eAlfa"));

    main.DisattivaTunnell1Click();
    EXPECT_TRUE(waitUntilNoneNamed("E2eAlfaSSH.exe", 3000));
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eAlfa")), 1) << "the picture waits for the next tick";
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eAlfa")), 0);
    EXPECT_EQ(askLine(std::stoi(definition.PortaLocale), "late", 500), std::nullopt);

    // A second disconnect finds nothing to stop and says nothing.
    const auto shown = dialogs.messages.size();
    main.DisattivaTunnell1Click();
    EXPECT_EQ(dialogs.messages.size(), shown);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TunnelE2e, DisconnectingOneOfTwoLeavesTheOtherForwarding) {
    TcpService serviceOne("one:");
    TcpService serviceTwo("two:");
    auto app = openApp();
    TMain& main = app->main();
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eUno"));
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eDue"));
    const TunnelDefinition one = definitionFor(freeLoopbackPort(), serviceOne.port());
    const TunnelDefinition two = definitionFor(freeLoopbackPort(), serviceTwo.port());
    ASSERT_NO_FATAL_FAILURE(saveThroughEditor(*app, "E2eUno", one));
    ASSERT_NO_FATAL_FAILURE(saveThroughEditor(*app, "E2eDue", two));

    EXPECT_EQ(connectTunnel(main, "E2eUno").toStdString(), expectedCommandLine(one));
    EXPECT_EQ(connectTunnel(main, "E2eDue").toStdString(), expectedCommandLine(two));
    const int portOne = std::stoi(one.PortaLocale);
    const int portTwo = std::stoi(two.PortaLocale);
    EXPECT_EQ(answer(portOne, "a"), "one:a");
    EXPECT_EQ(answer(portTwo, "b"), "two:b");

    select(main, "E2eUno");
    main.DisattivaTunnell1Click();
    EXPECT_TRUE(waitUntilNoneNamed("E2eUnoSSH.exe", 3000));
    EXPECT_EQ(processesNamed("E2eDueSSH.exe").size(), 1u);
    EXPECT_EQ(askLine(portOne, "gone", 500), std::nullopt);
    EXPECT_EQ(askLine(portTwo, "still"), "two:still");
    EXPECT_TRUE(showsConnected(main, "E2eDue"));
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eUno")), 0);

    select(main, "E2eDue");
    main.DisattivaTunnell1Click();
    EXPECT_TRUE(waitUntilNoneNamed("E2eDueSSH.exe", 3000));
}

TEST_F(TunnelE2e, AutomaticConnectionAtLoadThenDeleteWhileConnected) {
    TcpService service;
    const int localPort = freeLoopbackPort();
    TunnelDefinition definition;
    {
        auto first = openApp();
        ASSERT_NO_FATAL_FAILURE(addTunnel(first->main(), "E2eAuto"));
        definition = definitionFor(localPort, service.port(), true);
        ASSERT_NO_FATAL_FAILURE(saveThroughEditor(*first, "E2eAuto", definition));
    }
    EXPECT_TRUE(processesNamed("E2eAutoSSH.exe").empty()) << "saving must not connect";

    // The next program run on the same folder connects it while its main window is shown.
    dialogs.messages.clear();
    auto second = openApp();
    TMain& main = second->main();
    ASSERT_EQ(main.ListView1->count(), 1);
    ASSERT_EQ(dialogs.messages.size(), 1) << "one command-line box for the one automatic tunnel";
    EXPECT_EQ(dialogs.messages.front().toStdString(), expectedCommandLine(definition));
    EXPECT_EQ(answer(localPort, "again"), "echo:again");
    EXPECT_TRUE(showsConnected(main, "E2eAuto"));

    // Delete asks once, then stops the client, removes the folder with its files, then the row.
    select(main, "E2eAuto");
    const auto shown = dialogs.messages.size();
    dialogs.answerQuestion(true);
    main.Elimina2Click();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.messages.size(), shown) << dialogs.messages.join("\n").toStdString();
    EXPECT_TRUE(waitUntilNoneNamed("E2eAutoSSH.exe", 3000));
    EXPECT_FALSE(fs::exists(work.file("tunnells/E2eAuto")));
    EXPECT_EQ(rowOf(main, "E2eAuto"), -1);
    EXPECT_EQ(askLine(localPort, "late", 500), std::nullopt);
    EXPECT_TRUE(fs::exists(work.file("tunnells")));
}

TEST_F(TunnelE2e, OptionsPlantedInAnyFieldRunNothing) {
    const std::string mark = work.file("pwned");
    // The client really runs what such an option names: the check below could catch a planted one.
    // The client keeps loopback destinations off proxies, so the plants name 0.0.0.0.
    runProgram({plinkPath(), "-batch", "-proxycmd", "touch " + work.file("control"), "0.0.0.0"}, "", nullptr, 5000);
    ASSERT_TRUE(fs::exists(work.file("control"))) << "plink ignored -proxycmd: this test could prove nothing";

    auto app = openApp();
    TMain& main = app->main();
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eTrap"));
    const std::string plant = " -proxycmd \"touch " + mark + "\" 0.0.0.0";
    TunnelDefinition base = definitionFor(freeLoopbackPort(), freeLoopbackPort());
    base.IpServer = "0.0.0.0";
    for (std::string TunnelDefinition::*field : {&TunnelDefinition::IpServer, &TunnelDefinition::Username,
                                                 &TunnelDefinition::Password, &TunnelDefinition::IpServizio}) {
        for (const std::string& value : {"x" + plant, plant.substr(1)}) {
            // A server name with blanks would only go to the name service: its refusal is what counts here.
            if (field == &TunnelDefinition::IpServer && value.front() != '-')
                continue;
            TunnelDefinition trap = base;
            trap.*field = value;
            SaveDefinition(work.withSeparator(), "E2eTrap", trap);
            select(main, "E2eTrap");
            main.AttivaTunnell1Click();
            // The client has read its options once it has ended or logged in; either way it is done.
            waitUntilNoneNamed("E2eTrapSSH.exe", 1500);
            stopProcessesNamed("E2eTrapSSH.exe");
            EXPECT_FALSE(fs::exists(mark)) << "ran the command planted in " << value;
            fs::remove(mark);
        }
    }
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

TEST_F(TunnelE2e, AnotherUserCannotReadThePasswordNorPassForTheClient) {
    // Installed where every user can look, as a shared program folder would be.
    fs::permissions(work.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    TcpService service;
    auto app = openApp();
    TMain& main = app->main();
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eSpy"));
    const TunnelDefinition definition = definitionFor(freeLoopbackPort(), service.port());
    ASSERT_NO_FATAL_FAILURE(saveThroughEditor(*app, "E2eSpy", definition));

    // The other user's look-alike: a program of the client's very name, started by that user.
    TempDir spyFolder;
    fs::permissions(spyFolder.path(), fs::perms::all);
    const std::string spyExe = spyFolder.file("E2eSpySSH.exe");
    copySleeper(spyExe);
    const Account account = otherAccount();
    const pid_t spy = fork();
    if (spy == 0) {
        becomeOtherUser(account);
        execl(spyExe.c_str(), spyExe.c_str(), "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(spy, 0);
    const auto spyRuns = [spy] { return waitpid(spy, nullptr, WNOHANG) == 0; };
    ASSERT_TRUE(spyRuns());
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eSpy")), 0) << "another user's process counted as the client";

    EXPECT_EQ(connectTunnel(main, "E2eSpy").toStdString(), expectedCommandLine(definition));
    EXPECT_EQ(answer(std::stoi(definition.PortaLocale), "ping"), "echo:ping") << server->log();
    std::vector<pid_t> clients = processesNamed("E2eSpySSH.exe");
    std::erase(clients, spy);
    ASSERT_EQ(clients.size(), 1u);

    const std::string report = asOtherUser([&] {
        std::string problems = placesHolding(definition.Password, {work.path(), "/tmp", "/dev/shm", "/var/tmp"});
        for (const std::string& path : {work.file("tunnells/E2eSpy/tunnell.tun"), work.file("tunnells/E2eSpy"),
                                        "/proc/" + std::to_string(clients[0]) + "/fd/3"}) {
            const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd >= 0) {
                problems += "could open " + path + "\n";
                close(fd);
            }
        }
        return problems;
    });
    EXPECT_EQ(report, "") << "the other user reached the password";

    // Disconnect ends the tunnel's own client, and no other user's process, however it is named.
    main.DisattivaTunnell1Click();
    for (int i = 0; i < 300 && processesNamed("E2eSpySSH.exe").size() > 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(processesNamed("E2eSpySSH.exe"), std::vector<pid_t>{spy}) << "the client is still running";
    main.DisattivaTunnell1Click();
    EXPECT_TRUE(spyRuns()) << "another user's process was stopped";
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eSpy")), 0);
    EXPECT_TRUE(dialogs.messages.filter(QStringLiteral("Impossibile")).isEmpty());

    kill(spy, SIGKILL);
    waitpid(spy, nullptr, 0);
}

// Another program on both loopback addresses of a port, as a forward would take it.
class PortHolder {
public:
    explicit PortHolder(int port) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(port));
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(port));
        v6.sin6_addr = in6addr_loopback;
        m_fds[0] = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_fds[1] = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bind(m_fds[0], reinterpret_cast<sockaddr*>(&v4), sizeof v4);
        bind(m_fds[1], reinterpret_cast<sockaddr*>(&v6), sizeof v6);
        listen(m_fds[0], 1);
        listen(m_fds[1], 1);
    }
    ~PortHolder() {
        close(m_fds[0]);
        close(m_fds[1]);
    }

private:
    int m_fds[2];
};

// One way a tunnel goes, as the user meets it: what is set up, where it must end, in which words.
struct HealthCase {
    const char* what;
    std::function<void(TunnelDefinition&)> prepare;
    TunnelStatus end;
    QString words; // the tooltip's text, "%1" standing for the local port
};

TEST_F(TunnelE2e, TheStatusTellsTheTruthAndWhyATunnelIsDown) {
    TcpService service;
    auto app = openApp();
    TMain& main = app->main();
    // Only the commands and the client's own end move the state here, never the periodic pass.
    main.checkprocessi->setInterval(600000);
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eHealth"));
    const std::string keyCache = server->home() + "/.putty/sshhostkeys";
    const std::string cachedKeys = work.read(fs::relative(keyCache, work.path()).string());
    std::optional<PortHolder> holder;

    const std::vector<HealthCase> cases = {
        {"wrong password", [](TunnelDefinition& d) { d.Password = "not the password"; }, TunnelStatus::Failed,
         QStringLiteral("Errore: accesso negato")},
        {"port held by another program", [&](TunnelDefinition& d) { holder.emplace(std::stoi(d.PortaLocale)); },
         TunnelStatus::Failed, QStringLiteral("Errore: porta locale %1 già in uso")},
        {"trusted key that no longer matches",
         [](TunnelDefinition& d) { d.HostKey = "SHA256:" + std::string(43, 'A'); }, TunnelStatus::Failed,
         QStringLiteral("Errore: chiave host cambiata")},
        {"unknown key, trusted when asked",
         [&](TunnelDefinition&) {
             fs::remove(keyCache);
             dialogs.answerQuestion(true);
         },
         // Nothing goes through the forward: the real socket table counts no connection.
         TunnelStatus::Connected, QStringLiteral("Connesso\n0 connessioni · attivo da meno di 1 min")},
    };
    for (const HealthCase& c : cases) {
        SCOPED_TRACE(c.what);
        TunnelDefinition d = definitionFor(freeLoopbackPort(), service.port());
        c.prepare(d);
        SaveDefinition(work.withSeparator(), "E2eHealth", d);
        const auto errorsBefore = dialogs.errors.size();
        select(main, "E2eHealth");
        main.AttivaTunnell1Click();
        std::vector<TunnelStatus> seen;
        const auto final = [&] {
            const TunnelStatus status = app->health().health("E2eHealth").status;
            return status == TunnelStatus::Failed || status == TunnelStatus::Connected;
        };
        for (int i = 0; i < 300 && (seen.empty() || !final() || seen.back() != c.end); ++i) {
            QTest::qWait(50);
            if (i % 10 == 9)
                main.checkprocessiTimer(); // the forward may come up without the client ending
            seen.push_back(app->health().health("E2eHealth").status);
        }
        EXPECT_EQ(seen.back(), c.end);
        const QString tip = main.ListView1->item(rowOf(main, "E2eHealth"))->toolTip();
        EXPECT_EQ(tip, QString(c.words).replace(QStringLiteral("%1"), QString::fromStdString(d.PortaLocale)));
        if (c.end == TunnelStatus::Failed) {
            EXPECT_EQ(std::count(seen.begin(), seen.end(), TunnelStatus::Connected), 0) << "shown connected";
        }
        main.DisattivaTunnell1Click();
        EXPECT_TRUE(waitUntilNoneNamed("E2eHealthSSH.exe", 3000));
        holder.reset();
        if (d.HostKey.size() > 7 && d.HostKey.find('A', 7) != std::string::npos) {
            EXPECT_EQ(dialogs.errors.size(), errorsBefore + 1);
            EXPECT_TRUE(dialogs.errors.back().startsWith(QStringLiteral("ATTENZIONE")));
        }
    }
    // The accepted key went into the definition and is checked by the client from then on.
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains(QStringLiteral("ssh-ed25519")));
    const std::string trusted = LoadDefinition(work.withSeparator(), "E2eHealth").HostKey;
    EXPECT_TRUE(trusted.starts_with("SHA256:")) << trusted;
    EXPECT_TRUE(dialogs.questions[0].contains(QString::fromStdString(trusted)));
    EXPECT_FALSE(fs::exists(keyCache)) << "the user's own key cache was touched";
    work.write(fs::relative(keyCache, work.path()).string(), cachedKeys);

    // Connected twice is one client; a dropped session is seen as it happens and, with
    // reconnection on, the tunnel comes back by itself.
    TunnelDefinition d = LoadDefinition(work.withSeparator(), "E2eHealth");
    d.Riconnessione = true;
    SaveDefinition(work.withSeparator(), "E2eHealth", d);
    select(main, "E2eHealth");
    main.AttivaTunnell1Click();
    main.AttivaTunnell1Click();
    EXPECT_EQ(withoutForkedCopies(processesNamed("E2eHealthSSH.exe")).size(), 1u)
        << describeProcesses(processesNamed("E2eHealthSSH.exe"));
    // No connection through the forward before the drop: one the client closed would hold the port
    // in TIME_WAIT, and the restarted client could not listen on it for a while.
    for (int i = 0; i < 100 && app->health().health("E2eHealth").status != TunnelStatus::Connected; ++i) {
        QTest::qWait(50);
        main.checkprocessiTimer();
    }
    ASSERT_EQ(app->health().health("E2eHealth").status, TunnelStatus::Connected);
    bool dropSeen = false;
    // Also looked at whenever the service tells of new states, before it restarts anything, and whenever the rows
    // are drawn again: under load a restart may follow within one wait below.
    const auto lookForDrop = [&] {
        dropSeen = dropSeen || app->health().health("E2eHealth").status == TunnelStatus::Failed;
    };
    const QMetaObject::Connection told = QObject::connect(&app->events(), &ServiceEvents::healthChanged, lookForDrop);
    const QMetaObject::Connection drawn =
        QObject::connect(main.ListView1->model(), &QAbstractItemModel::dataChanged, lookForDrop);
    server->killSessions();
    for (int i = 0; i < 200 && app->health().health("E2eHealth").retries == 0; ++i) {
        QTest::qWait(50);
        dropSeen = dropSeen || app->health().health("E2eHealth").status == TunnelStatus::Failed;
    }
    QObject::disconnect(drawn);
    QObject::disconnect(told);
    EXPECT_TRUE(dropSeen) << "the drop was not seen between two passes";
    EXPECT_EQ(askLineWithRetry(std::stoi(d.PortaLocale), "after", 10000).value_or("(none)"), "echo:after");
    main.DisattivaTunnell1Click();
    EXPECT_TRUE(waitUntilNoneNamed("E2eHealthSSH.exe", 3000));
}

// The test account accepts this public key for as long as the object lives.
class AuthorizedKey {
public:
    explicit AuthorizedKey(const std::string& publicKeyLine) {
        const passwd* account = getpwnam(SshServer::kUser);
        if (!account)
            throw std::runtime_error("no test account");
        m_folder = std::string(account->pw_dir) + "/.ssh";
        fs::create_directories(m_folder);
        std::ofstream(m_folder + "/authorized_keys", std::ios::app) << publicKeyLine << "\n";
        // The server reads keys only from folders no one else can write to.
        for (const std::string& path : {m_folder, m_folder + "/authorized_keys"})
            (void)!chown(path.c_str(), account->pw_uid, account->pw_gid);
        fs::permissions(m_folder, fs::perms::owner_all);
        fs::permissions(m_folder + "/authorized_keys", fs::perms::owner_read | fs::perms::owner_write);
    }
    ~AuthorizedKey() { fs::remove(m_folder + "/authorized_keys"); }

private:
    std::string m_folder;
};

TEST_F(TunnelE2e, KeyFileRemoteSocksAndExtraForwardsCarryBytes) {
    TcpService service;
    auto app = openApp();
    TMain& main = app->main();
    ASSERT_NO_FATAL_FAILURE(addTunnel(main, "E2eKinds"));
    // A key without passphrase in the tunnel's folder, named relative to it.
    const std::string key = work.file("tunnells/E2eKinds/id.ppk");
    // Made the way the key generator dialog makes it.
    const KeyResult made = generateKey(quorvane::fs::findOnPath("puttygen"), {"ed25519", 0, "e2e", "", key});
    ASSERT_TRUE(made.ok) << made.error;
    const AuthorizedKey authorized(made.publicKeyLine);

    TcpService second("second:");
    struct Kind {
        const char* what;
        int direction;
        bool byKey;
        bool extraForward;
    };
    for (const Kind kind :
         {Kind{"key file, local forward", kForwardLocal, true, false},
          Kind{"remote forward: the server's port reaches the service here", kForwardRemote, false, false},
          Kind{"SOCKS proxy on the local port", kForwardDynamic, false, false},
          Kind{"two forwards through one connection", kForwardLocal, false, true}}) {
        SCOPED_TRACE(kind.what);
        TunnelDefinition d = definitionFor(freeLoopbackPort(), service.port());
        d.Direzione = kind.direction;
        if (kind.byKey) {
            d.FileChiave = "id.ppk";
            d.Password.clear();
        }
        const int extraPort = freeLoopbackPort();
        if (kind.extraForward)
            d.Inoltri = {{kForwardLocal, std::to_string(extraPort), "127.0.0.1", std::to_string(second.port())}};
        SaveDefinition(work.withSeparator(), "E2eKinds", d);
        select(main, "E2eKinds");
        main.AttivaTunnell1Click();
        const int port = std::stoi(d.PortaLocale);
        const int socksTarget = kind.direction == kForwardDynamic ? service.port() : 0;
        EXPECT_EQ(askLineWithRetry(port, "hi", 10000, 50, socksTarget).value_or("(none)"), "echo:hi") << server->log();
        if (kind.extraForward) {
            EXPECT_EQ(askLineWithRetry(extraPort, "hi").value_or("(none)"), "second:hi");
        }
        for (int i = 0; i < 40 && app->health().health("E2eKinds").status != TunnelStatus::Connected; ++i) {
            QTest::qWait(50);
            main.checkprocessiTimer();
        }
        EXPECT_EQ(app->health().health("E2eKinds").status, TunnelStatus::Connected);
        main.DisattivaTunnell1Click();
        EXPECT_TRUE(waitUntilNoneNamed("E2eKindsSSH.exe", 3000));
    }
    // Named but gone: refused before any client starts.
    TunnelDefinition missing = definitionFor(freeLoopbackPort(), service.port());
    missing.FileChiave = "gone.ppk";
    SaveDefinition(work.withSeparator(), "E2eKinds", missing);
    select(main, "E2eKinds");
    main.AttivaTunnell1Click();
    EXPECT_TRUE(dialogs.messages.back().startsWith(QStringLiteral("File chiave non trovato: ")));
    EXPECT_TRUE(dialogs.messages.back().endsWith(QStringLiteral("gone.ppk")));
    EXPECT_TRUE(processesNamed("E2eKindsSSH.exe").empty());
}

} // namespace
} // namespace quorvane::test
