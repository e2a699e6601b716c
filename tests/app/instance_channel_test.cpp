// One running program per data folder: the socket between two starts, and what the running one answers.
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/instance_channel.h"
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
    InstanceServer server(name, [&](const std::string& request) {
        ++handled;
        QEventLoop boxOpen; // as a box of the program would: the asker may leave meanwhile
        QTimer::singleShot(200, &boxOpen, &QEventLoop::quit);
        boxOpen.exec();
        return "0\n" + std::to_string(request.size());
    });
    ASSERT_TRUE(server.listen()) << "a dead instance's leftover is replaced";
    InstanceServer second(name, [](const std::string&) { return std::string("0\nsecond"); });
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
        whileBoxOpen = runner.answer(connect);
        statusWhileBoxOpen = runner.answer("quorvane-request 1\nstatus\nend\n");
        box.reject();
    });
    box.exec();
    EXPECT_EQ(whileBoxOpen.substr(0, 2), "1\n");
    EXPECT_NE(whileBoxOpen.find("waiting for an answer"), std::string::npos);
    EXPECT_EQ(statusWhileBoxOpen, "0\nOffice\tnot connected\n") << "a status changes nothing: always told";

    // The refusal goes back to the terminal that asked, not into a box here.
    const std::string refused = runner.answer(connect);
    EXPECT_EQ(refused.substr(0, 2), "1\n");
    EXPECT_NE(refused.find("quorvane: Il campo \"Server SSH - Indirizzo IP\" non può iniziare"), std::string::npos)
        << refused;
    EXPECT_NE(refused.find("Office\tnot connected\n"), std::string::npos);
    EXPECT_TRUE(f.dialogs.messages.isEmpty());
    EXPECT_TRUE(f.launcher->requests.empty());
}

} // namespace
} // namespace quorvane::test
