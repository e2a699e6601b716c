// Tunnels driven through the program's own commands against a real sshd, with bytes through the forwarding.
#include <QListWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "app/tunnel_editor.h"
#include "store/tunnel_definition.h"
#include "support/scripted_dialogs.h"
#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

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
        return "-ssh -P " + d.PortaServer + " -l " + d.Username + " -pw ******** -L " + d.PortaLocale + ":" +
               d.IpServizio + ":" + d.PortaServizio + " " + d.IpServer;
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
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eAlfa")), 1);

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
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eUno")), 0);
    EXPECT_EQ(main.pictureOf(rowOf(main, "E2eDue")), 1);

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
    main.checkprocessiTimer();
    EXPECT_EQ(main.pictureOf(0), 1);

    // Delete asks nothing: it stops the client, removes the folder with both files, then the row.
    select(main, "E2eAuto");
    const auto shown = dialogs.messages.size();
    main.Elimina2Click();
    EXPECT_EQ(dialogs.messages.size(), shown) << dialogs.messages.join("\n").toStdString();
    EXPECT_TRUE(waitUntilNoneNamed("E2eAutoSSH.exe", 3000));
    EXPECT_FALSE(fs::exists(work.file("tunnells/E2eAuto")));
    EXPECT_EQ(rowOf(main, "E2eAuto"), -1);
    EXPECT_EQ(askLine(localPort, "late", 500), std::nullopt);
    EXPECT_TRUE(fs::exists(work.file("tunnells")));
}

} // namespace
} // namespace quorvane::test
