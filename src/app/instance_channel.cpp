// The local socket between a start and the running instance.
#include "app/instance_channel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace quorvane {

InstanceServer::InstanceServer(QString name, Handler handler, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen() {
    // Asked first, since a listen would take the name over (Qt puts a private socket in place by
    // renaming): a live instance, started a moment earlier, keeps it, and this one goes without.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(kProbeMs))
        return false;
    // Nobody answers: what is there is a dead instance's socket, or nothing.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that connects and says nothing is not kept forever.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(kIdleMs);
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending, idle] {
            // A request ends with its "end" line; anything larger than any request is dropped.
            *pending += socket->readAll();
            if (pending->size() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            if (!pending->endsWith("\nend\n"))
                return;
            idle->stop(); // the request is whole: the commands take as long as they take
            const QPointer<QLocalSocket> alive(socket);
            const std::string request = pending->toStdString();
            pending->clear();
            // The commands may open a box, whose event loop can see the asker leave and the socket go.
            const std::string reply = m_handler(request);
            if (!alive)
                return;
            alive->write(reply.data(), static_cast<qint64>(reply.size()));
            alive->disconnectFromServer();
        });
    }
}

InstanceReply askRunningInstance(const QString& name, const std::string& request, int replyMs) {
    constexpr int kConnectMs = 2000; // a live instance accepts at once; a dead socket refuses at once
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs))
        return {};
    socket.write(request.data(), static_cast<qint64>(request.size()));
    if (!socket.waitForBytesWritten(kConnectMs))
        return {true, std::nullopt};
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(replyMs))
        reply += socket.readAll();
    reply += socket.readAll();
    if (reply.isEmpty())
        return {true, std::nullopt};
    return {true, reply.toStdString()};
}

} // namespace quorvane
