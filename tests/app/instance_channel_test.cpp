// One running program per data folder: the socket between two starts, and what the running one answers.
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "app/instance_channel.h"
#include "app/service_events.h"
#include "app/window_command_host.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace quorvane::test {
namespace {

// Sends bytes in the given pieces, optionally leaving before the answer; returns what came back.
std::string talk(const QString& name, const std::vector<std::string>& pieces, bool leaveEarly) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000))
        return "no connection";
    for (const std::string& piece : pieces) {
        socket.write(piece.data(), static_cast<qint64>(piece.size()));
        socket.waitForBytesWritten(1000);
        QCoreApplication::processEvents();
    }
    if (leaveEarly)
        return {};
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    // A reply comes as "reply LENGTH\n" and its bytes; the asker is the one to close.
    const auto whole = [&reply] {
        const qsizetype newline = reply.indexOf('\n');
        return reply.startsWith("reply ") && newline > 0 &&
               reply.size() >= newline + 1 + reply.mid(6, newline - 6).toInt();
    };
    while (socket.state() == QLocalSocket::ConnectedState && clock.elapsed() < 3000 && !whole()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        reply += socket.readAll();
    }
    if (!whole())
        return "unframed or cut: " + reply.toStdString();
    return reply.mid(reply.indexOf('\n') + 1).toStdString();
}

TEST(InstanceChannel, AnswersWholeRequestsSurvivesAnAskerThatLeavesAndKeepsItsName) {
    TempDir runtime;
    const QString name = QString::fromStdString(runtime.file("q.sock"));
    runtime.write("q.sock", "left by a program that crashed");
    int handled = 0;
    InstanceServer server(name, [&](const std::string& request, const InstanceServer::Reply& reply) {
        ++handled;
        QEventLoop boxOpen; // as a box of the program would: the asker may leave meanwhile
        QTimer::singleShot(200, &boxOpen, &QEventLoop::quit);
        boxOpen.exec();
        reply("0\n" + std::to_string(request.size()));
    });
    ASSERT_TRUE(server.listen()) << "a dead instance's leftover is replaced";
    InstanceServer second(name, [](const std::string&, const InstanceServer::Reply& reply) { reply("0\nsecond"); });
    EXPECT_FALSE(second.listen()) << "a live instance keeps its name";

    const std::string request = "quorvane-request 1\nconnect\tweekend\nend\n";
    const struct {
        std::vector<std::string> pieces;
        bool leaveEarly;
        std::string reply;
    } cases[] = {
        {{request}, false, "0\n" + std::to_string(request.size())},
        {{"quorvane-request 1\nconnect\twe", "ekend\n", "end\n"}, false, "0\n" + std::to_string(request.size())},
        {{request}, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(talk(name, c.pieces, c.leaveEarly), c.reply);
    QElapsedTimer clock;
    clock.start();
    while (handled < 3 && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(handled, 3) << "a piece ending in \"end\" is not a whole request";
    EXPECT_EQ(talk(name, {request}, false), "0\n" + std::to_string(request.size())) << "still serving";
}

// A start asks from its own process; here from a thread, while this one serves. A reply larger than the socket's
// buffer comes whole, and the socket is its user's alone.
TEST(InstanceChannel, AStartGetsALargeReplyWholeFromASocketOnlyItsUserMayOpen) {
    TempDir runtime;
    const QString name = QString::fromStdString(runtime.file("q.sock"));
    const std::string large(3 * 1024 * 1024, 's');
    InstanceServer server(name, [&](const std::string&, const InstanceServer::Reply& reply) { reply("0\n" + large); });
    ASSERT_TRUE(server.listen());
    EXPECT_EQ(QFileInfo(name).permissions() &
                  ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
              QFile::Permissions());

    QLockFile lock(name + QStringLiteral(".lock"));
    std::optional<InstanceReply> reply;
    std::atomic<bool> asked{false};
    std::thread start([&] {
        reply = askRunningInstance(name, "quorvane-request 1\nstatus\nend\n", 5000, lock);
        asked = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!asked && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    start.join();
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->instanceRunning);
    ASSERT_TRUE(reply->text);
    EXPECT_EQ(reply->text->size(), large.size() + 2);
    EXPECT_EQ(*reply->text, "0\n" + large);
}

// The reply as the server would send it, waiting for a connect's outcome as the running program does.
std::string answered(CommandRunner& runner, const std::string& request) {
    std::optional<std::string> reply;
    runner.answer(request, [&reply](const std::string& text) { reply = text; });
    QElapsedTimer clock;
    clock.start();
    while (!reply && clock.elapsed() < CommandRunner::kConnectWaitMs + 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return reply.value_or("no reply");
}

// While a box waits for its user nothing is done for another start; a connect that is refused is a failure.
TEST(InstanceChannel, TheRunningProgramRefusesWhileABoxWaitsAndReportsARefusedConnect) {
    AppFixture f;
    f.folder.makeFolder("tunnells/Office");
    SaveDefinition(f.workingDir(), "Office", {"-oProxyCommand=x", "22", "u", "pw", "9001", "h", "80", false});
    f.app().start();
    WindowCommandHost host(f.main(), f.app().texts());
    CommandRunner runner(f.app().service(), host);
    const std::string connect = "quorvane-request 1\nconnect\tOffice\nend\n";

    std::string whileBoxOpen;
    std::string statusWhileBoxOpen;
    QDialog box;
    QTimer::singleShot(0, &box, [&] {
        whileBoxOpen = answered(runner, connect);
        statusWhileBoxOpen = answered(runner, "quorvane-request 1\nstatus\nend\n");
        box.reject();
    });
    box.exec();
    EXPECT_EQ(whileBoxOpen.substr(0, 2), "1\n");
    EXPECT_NE(whileBoxOpen.find("waiting for an answer"), std::string::npos);
    EXPECT_EQ(statusWhileBoxOpen, "0\nOffice\tnot connected\n") << "a status changes nothing: always told";

    // The refusal goes back to the terminal that asked, not into a box here.
    const std::string refused = answered(runner, connect);
    EXPECT_EQ(refused.substr(0, 2), "1\n");
    EXPECT_NE(refused.find("quorvane: Il campo \"Server SSH - Indirizzo IP\" non può iniziare"), std::string::npos)
        << refused;
    EXPECT_NE(refused.find("Office\tnot connected\n"), std::string::npos);
    EXPECT_TRUE(f.dialogs.messages.isEmpty());
    EXPECT_TRUE(f.launcher->requests.empty());
}

// A connect from a terminal is answered with its outcome; what the program finds meanwhile goes to that
// terminal, never into a box on the desktop, and the program keeps serving the user and other starts.
TEST(InstanceChannel, AHandedOverConnectIsAnsweredWithItsOutcomeAndOpensNoBox) {
    const struct {
        const char* name;
        const char* clientsLastWords; // empty: the client keeps running and its forward listens
        const char* reply;
        const char* told;
        const char* open = ""; // the tunnel's "Apri", opened on connect
    } rows[] = {
        {"Connected", "", "0\nOffice\tconnected\n", ""},
        // An address that cannot be opened is told at the terminal, not in a box of the window.
        {"OpenRefused", "", "0\n", "l'indirizzo non è completo", "http:// x"},
        {"HostKeyChanged",
         "WARNING - POTENTIAL SECURITY BREACH!\nThe host key does not match the one Plink has cached for\n"
         "this server.\nThe new ssh-ed25519 key fingerprint is:\n"
         "  ssh-ed25519 255 SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k\n"
         "FATAL ERROR: Cannot confirm a host key in batch mode\n",
         "1\n", "Chiave presentata ora: ssh-ed25519 SHA256:O6h0Y0RjLY5UQp+ixGrJMjKfHYYRlT/pZH/2jBajD4k"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AppFixture f;
        f.folder.makeFolder("tunnells/Office");
        TunnelDefinition definition{"ssh.example.org", "22", "u", "pw", "9001", "h", "80", false};
        definition.Apri = row.open;
        definition.ApriAllaConnessione = *row.open != 0;
        SaveDefinition(f.workingDir(), "Office", definition);
        f.processes->start("init"); // an empty listing is a failed one
        f.app().start();
        WindowCommandHost host(f.main(), f.app().texts());
        CommandRunner runner(f.app().service(), host);
        f.app().events().claim = [&runner](const Notice& notice) { return runner.claim(notice); };
        std::optional<std::string> reply;
        runner.answer("quorvane-request 1\nconnect\tOffice\nstatus\nend\n",
                      [&reply](const std::string& text) { reply = text; });
        EXPECT_FALSE(reply) << "answered before the connect had an outcome";
        ASSERT_EQ(f.launcher->requests.size(), 1u);
        if (*row.clientsLastWords) {
            f.processes->end(f.launcher->lastStarted());
            f.folder.write("tunnells/Office/client.log", row.clientsLastWords);
        }
        QElapsedTimer clock;
        clock.start();
        while (!reply && clock.elapsed() < CommandRunner::kConnectWaitMs + 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->substr(0, std::string(row.reply).size()), row.reply) << *reply;
        EXPECT_NE(reply->find(row.told), std::string::npos) << *reply;
        QCoreApplication::processEvents();
        EXPECT_TRUE(f.dialogs.messages.isEmpty()) << f.dialogs.messages.join('|').toStdString();
        f.app().events().claim = {};
    }
}

} // namespace
} // namespace quorvane::test
