// The local socket between a start and the running instance.
#include "app/instance_channel.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <memory>

namespace quorvane {

InstanceServer::InstanceServer(QString name, Handler handler, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_handler(std::move(handler)), m_server(new QLocalServer(this)),
      m_watch(new QTimer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
    connect(m_watch, &QTimer::timeout, this, &InstanceServer::keepListening);
}

bool InstanceServer::listen() {
    // Asked first, since a listen would take the name over (Qt puts a private socket in place by
    // renaming): a live instance, started a moment earlier, keeps it, and this one goes without.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(kProbeMs))
        return false;
    // Nobody answers: what is there is a dead instance's socket, or nothing. The watch runs even when this
    // listen fails: this instance holds the lock, and a later start must find a socket once one can be made.
    QLocalServer::removeServer(m_name);
    m_watch->start(kRelistenMs);
    return m_server->listen(m_name);
}

void InstanceServer::keepListening() {
    if (m_server->isListening())
        return;
    // The name is this instance's (it holds the lock): a later start would otherwise find no socket.
    QLocalServer::removeServer(m_name);
    m_server->listen(m_name);
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= kMaxConnections) {
            delete socket; // a start caught in a flood is told by its own end that the connection closed
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        socket->setReadBufferSize(kMaxRequestBytes);
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
            idle->start(kIdleMs); // nor is one that never reads a reply too long for the socket's buffer
        });
    }
}

namespace {

InstanceReply askOnce(const QString& name, const std::string& request, int replyMs) {
    constexpr int kConnectMs = 2000; // a live instance accepts at once; a dead socket refuses at once
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs))
        return {};
    socket.write(request.data(), static_cast<qint64>(request.size()));
    if (!socket.waitForBytesWritten(kConnectMs))
        return {true, std::nullopt, socket.state() != QLocalSocket::ConnectedState};
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(replyMs))
        reply += socket.readAll();
    reply += socket.readAll();
    if (reply.isEmpty())
        return {true, std::nullopt, socket.state() != QLocalSocket::ConnectedState};
    return {true, reply.toStdString()};
}

} // namespace

InstanceReply askRunningInstance(const QString& name, const std::string& request, int replyMs, QLockFile& lock) {
    constexpr int kStartingMs = 5000; // an instance takes the lock, then builds its windows and listens
    constexpr int kRetryMs = 200;
    lock.setStaleLockTime(0); // only its holder's end frees it
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (InstanceReply reply = askOnce(name, request, replyMs); reply.instanceRunning)
            return reply;
        // Without a lock to be had (a folder that refuses files), as before: nobody took the connection.
        if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
            return {};
        if (clock.elapsed() >= kStartingMs) {
            qint64 holder = 0;
            QString host;
            QString program;
            const bool known = lock.getLockInfo(&holder, &host, &program) && holder > 0;
            return {true, std::nullopt, false, known ? holder : -1};
        }
        QThread::msleep(kRetryMs);
    }
}

} // namespace quorvane
