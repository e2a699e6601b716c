// The local socket between a start and the running instance.
#include "app/instance_channel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/local_socket.h"
#include "process/process_services.h"

namespace quorvane {

namespace {

std::string lastPathPart(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

constexpr char kReplyHeader[] = "reply ";

// A reply says how long it is, so that the asker knows when it has all of it.
QByteArray frameReply(const std::string& reply) {
    return kReplyHeader + QByteArray::number(qint64(reply.size())) + '\n' +
           QByteArray(reply.data(), qsizetype(reply.size()));
}

// The whole frame's size once its header has arrived; -1 before, or for bytes that are not a frame.
qint64 framedSize(const QByteArray& bytes) {
    const qsizetype newline = bytes.indexOf('\n');
    if (!bytes.startsWith(kReplyHeader) || newline < 0)
        return -1;
    bool ok = false;
    const qint64 length =
        bytes.mid(qsizetype(sizeof kReplyHeader - 1), newline - qsizetype(sizeof kReplyHeader - 1)).toLongLong(&ok);
    return ok && length >= 0 ? newline + 1 + length : -1;
}

} // namespace

bool lockHolderIsThisProgram(qint64 holder) {
    // A lock left by a program that was killed names a process id the system may have given to anything since,
    // this very start included (wine begins counting again after a restart): the holder counts only while it is
    // another process of this user running an executable of this one's name.
    const qint64 self = QCoreApplication::applicationPid();
    if (holder <= 0 || holder == self)
        return false;
    std::vector<OwnProcess> processes;
    const std::unique_ptr<ProcessServices> services = createSystemProcessServices();
    if (!services->ListOwnProcesses(processes))
        return true; // cannot tell: the lock stands, as before
    std::string ownName;
    std::string holderName;
    for (const OwnProcess& process : processes) {
        if (qint64(process.id) == self)
            ownName = lastPathPart(process.executable);
        else if (qint64(process.id) == holder)
            holderName = lastPathPart(process.executable);
    }
    if (ownName.empty())
        return true;
    return !holderName.empty() &&
           QString::fromStdString(holderName).compare(QString::fromStdString(ownName), Qt::CaseInsensitive) == 0;
}

InstanceServer::InstanceServer(QString name, Handler handler, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_handler(std::move(handler)), m_server(new LocalServer(this)),
      m_watch(new QTimer(this)) {
    connect(m_server, &LocalServer::newConnection, this, &InstanceServer::accept);
    m_watch->setTimerType(Qt::VeryCoarseTimer); // wakes with the status timer, not on its own
    connect(m_watch, &QTimer::timeout, this, &InstanceServer::keepListening);
}

bool InstanceServer::listen() {
    // Asked first, since listening starts by removing what is under the name: a live instance, started a
    // moment earlier, keeps it, and this one goes without.
    LocalSocket probe;
    if (probe.connectToServer(m_name, kProbeMs))
        return false;
    // Nobody answers: what is there is a dead instance's socket, or nothing. The watch runs even when this
    // listen fails: this instance holds the lock, and a later start must find a socket once one can be made.
    LocalServer::removeServer(m_name);
    m_watch->start(kRelistenMs);
    return m_server->listen(m_name);
}

void InstanceServer::keepListening() {
    if (m_server->isListening())
        return;
    // The name is this instance's (it holds the lock): a later start would otherwise find no socket.
    LocalServer::removeServer(m_name);
    m_server->listen(m_name);
}

void InstanceServer::accept() {
    while (LocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= kMaxConnections) {
            delete socket; // a start caught in a flood is told by its own end that the connection closed
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        socket->setReadBufferSize(kMaxRequestBytes);
        connect(socket, &LocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that connects and says nothing is not kept forever.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        // Idle means nothing came: after the instance was busy a while, a request may be waiting unread.
        connect(idle, &QTimer::timeout, socket, [socket, idle] {
            if (socket->bytesAvailable() > 0)
                idle->start(kIdleMs);
            else
                socket->abort();
        });
        idle->start(kIdleMs);
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &LocalSocket::readyRead, this, [this, socket, pending, idle] {
            // A request ends with its "end" line; anything larger than any request is dropped.
            *pending += socket->readAll();
            if (pending->size() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            if (!pending->endsWith("\nend\n"))
                return;
            idle->stop(); // the request is whole: the commands take as long as they take
            const QPointer<LocalSocket> alive(socket);
            const std::string request = pending->toStdString();
            pending->clear();
            // The commands may open a box, whose event loop can see the asker leave and the socket go, and a
            // connect is answered once it is connected or has failed.
            m_handler(request, [alive, idle](const std::string& reply) {
                if (!alive)
                    return;
                alive->write(frameReply(reply));
                // The asker closes once it has read the whole reply: closing here first would lose what it has
                // not read yet on Windows, where the server's end of a pipe throws unread bytes away when it goes.
                idle->start(kIdleMs); // nor is one that never reads or never leaves kept
            });
        });
    }
}

namespace {

InstanceReply askOnce(const QString& name, const std::string& request, int replyMs) {
    constexpr int kConnectMs = 2000; // a live instance accepts at once; a dead socket refuses at once
    LocalSocket socket;
    if (!socket.connectToServer(name, kConnectMs))
        return {};
    socket.write(QByteArray(request.data(), static_cast<qsizetype>(request.size())));
    // On Windows a write may be done at once, and a wait with nothing left to write says false. A busy instance
    // takes the request when it is free again: as long as the reply may take.
    if (socket.bytesToWrite() > 0 && !socket.waitForBytesWritten(replyMs))
        return {true, std::nullopt, !socket.isConnected()};
    QByteArray reply;
    qint64 whole = -1;
    QElapsedTimer waited;
    waited.start();
    // A wait may end early with nothing read and the connection still up (wine's pipes do that): only the
    // reply, its end, or the time allowed ends the loop.
    while ((whole < 0 || reply.size() < whole) && socket.isConnected() && waited.elapsed() < replyMs) {
        if (!socket.waitForReadyRead(int(std::max<qint64>(1, replyMs - waited.elapsed()))) &&
            socket.bytesAvailable() == 0) {
            QThread::msleep(10);
            continue;
        }
        reply += socket.readAll();
        if (whole < 0)
            whole = framedSize(reply);
    }
    if (whole < 0 || reply.size() < whole)
        reply += socket.readAll();
    const bool closed = !socket.isConnected();
    socket.abort();
    whole = framedSize(reply);
    if (whole >= 0 && reply.size() >= whole)
        return {true, reply.mid(reply.indexOf('\n') + 1).toStdString()};
    if (whole >= 0 || reply.isEmpty()) // cut short, or nothing: no reply
        return {true, std::nullopt, closed};
    return {true, reply.toStdString()}; // an instance of an earlier version, which closed after replying
}

} // namespace

InstanceReply askRunningInstance(const QString& name, const std::string& request, int replyMs, QLockFile& lock) {
    constexpr int kStartingMs = 5000; // an instance takes the lock, then builds its windows and listens
    constexpr int kRetryMs = 200;
    constexpr int kRefusalsTried = 3;
    int refusals = 0;
    qint64 judgedHolder = 0; // listing every process is dear: judged once per holder, not on every retry
    bool judgedOurs = true;
    lock.setStaleLockTime(0); // only its holder's end frees it
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (InstanceReply reply = askOnce(name, request, replyMs); reply.instanceRunning) {
            // Closed with no answer: asked again a few times (on Windows the pipe the server just closed for the
            // last asker can be the one handed to this one). Every command is safe to repeat: a connected tunnel
            // starts no second client, a disconnected one stays down.
            if (reply.closedUnanswered && ++refusals < kRefusalsTried) {
                QThread::msleep(kRetryMs);
                continue;
            }
            return reply;
        }
        // Without a lock to be had (a folder that refuses files), as before: nobody took the connection.
        if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
            return {};
        qint64 holder = 0;
        QString host;
        QString program;
        const bool known = lock.getLockInfo(&holder, &host, &program) && holder > 0;
        if (known && holder != judgedHolder) {
            judgedHolder = holder;
            judgedOurs = lockHolderIsThisProgram(holder);
        }
        if (known && !judgedOurs && lock.removeStaleLockFile() && lock.tryLock(0))
            return {};
        if (clock.elapsed() >= kStartingMs)
            return {true, std::nullopt, false, known ? holder : -1};
        QThread::msleep(kRetryMs);
    }
}

} // namespace quorvane
