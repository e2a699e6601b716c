// The local socket between a start and the running instance.
#include "app/instance_channel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

namespace quorvane {

InstanceServer::InstanceServer(QString name, Handler handler, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen() {
    if (m_server->listen(m_name))
        return true;
    // Nobody answered there (the caller asked first): what is left is a dead instance's socket.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending] {
            // A request ends with its "end" line; anything larger than any request is dropped.
            *pending += socket->readAll();
            if (pending->size() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            if (!pending->endsWith("end\n"))
                return;
            const std::string reply = m_handler(pending->toStdString());
            pending->clear();
            socket->write(reply.data(), static_cast<qint64>(reply.size()));
            socket->disconnectFromServer();
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
