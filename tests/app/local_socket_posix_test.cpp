// The local socket under the instance channel: where a start can connect, and what each end sees of the other.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "app/local_socket.h"
#include "support/temp_dir.h"

namespace quorvane::test {
namespace {

// Lets events through until done() or two seconds have passed.
template <class Done> bool within(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(LocalSocket, ConnectsOnlyToALiveServerAndEachEndSeesTheOthersWordsAndEnd) {
    TempDir folder;
    folder.write("plain", "a file, not a socket");
    const struct {
        const char* name;
        QString path;
    } nowhere[] = {
        {"nothing there", QString::fromStdString(folder.file("none.sock"))},
        {"a plain file", QString::fromStdString(folder.file("plain"))},
        {"a name too long for a socket", QString::fromStdString(folder.file(std::string(200, 'x')))},
    };
    for (const auto& row : nowhere) {
        LocalSocket asker;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(asker.connectToServer(row.path, 2000)) << row.name;
        EXPECT_LT(clock.elapsed(), 1000) << row.name << ": refused at once, not waited out";
    }

    const QString name = QString::fromStdString(folder.file("q.sock"));
    LocalServer server;
    ASSERT_TRUE(server.listen(name));
    LocalServer second;
    EXPECT_FALSE(second.listen(name)) << "a live server keeps its name";
    LocalSocket* served = nullptr;
    QObject::connect(&server, &LocalServer::newConnection, [&] { served = server.nextPendingConnection(); });
    LocalSocket asker;
    ASSERT_TRUE(asker.connectToServer(name, 2000));
    ASSERT_TRUE(within([&] { return served != nullptr; }));
    served->setReadBufferSize(4);
    QByteArray heard;
    bool askerGone = false;
    QObject::connect(served, &LocalSocket::readyRead, [&] { heard += served->readAll(); });
    QObject::connect(served, &LocalSocket::disconnected, [&] { askerGone = true; });

    asker.write("request\n");
    EXPECT_TRUE(within([&] { return heard == "request\n"; }))
        << "read four bytes at a time, all of it: " << heard.data();
    served->write("reply");
    ASSERT_TRUE(asker.waitForReadyRead(2000));
    EXPECT_EQ(asker.readAll(), "reply");
    asker.abort();
    EXPECT_TRUE(within([&] { return askerGone; })) << "the server sees the asker leave";
    EXPECT_FALSE(served->isConnected());
}

} // namespace
} // namespace quorvane::test
