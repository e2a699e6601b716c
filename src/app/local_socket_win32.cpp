// Local sockets on Windows: Qt's named pipes, which the system shares with every Qt program anyway.
#include "app/local_socket.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace quorvane {

struct LocalSocket::Private {
    QLocalSocket* socket = nullptr; // a child of the LocalSocket
};

namespace {

void adopt(LocalSocket* owner, QLocalSocket* socket) {
    socket->setParent(owner);
    QObject::connect(socket, &QLocalSocket::readyRead, owner, &LocalSocket::readyRead);
    QObject::connect(socket, &QLocalSocket::disconnected, owner, &LocalSocket::disconnected);
}

} // namespace

LocalSocket::LocalSocket(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {
    d->socket = new QLocalSocket;
    adopt(this, d->socket);
}

LocalSocket::~LocalSocket() = default;

bool LocalSocket::connectToServer(const QString& name, int waitMs) {
    d->socket->connectToServer(name);
    return d->socket->waitForConnected(waitMs);
}

bool LocalSocket::isConnected() const {
    return d->socket->state() == QLocalSocket::ConnectedState;
}

qint64 LocalSocket::bytesAvailable() const {
    return d->socket->bytesAvailable();
}

QByteArray LocalSocket::readAll() {
    return d->socket->readAll();
}

void LocalSocket::setReadBufferSize(qint64 bytes) {
    d->socket->setReadBufferSize(bytes);
}

void LocalSocket::write(const QByteArray& bytes) {
    d->socket->write(bytes);
}

qint64 LocalSocket::bytesToWrite() const {
    return d->socket->bytesToWrite();
}

bool LocalSocket::waitForBytesWritten(int waitMs) {
    return d->socket->waitForBytesWritten(waitMs);
}

bool LocalSocket::waitForReadyRead(int waitMs) {
    return d->socket->waitForReadyRead(waitMs);
}

void LocalSocket::abort() {
    d->socket->abort();
}

struct LocalServer::Private {
    QLocalServer* server = nullptr; // a child of the LocalServer
};

LocalServer::LocalServer(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {
    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(d->server, &QLocalServer::newConnection, this, &LocalServer::newConnection);
}

LocalServer::~LocalServer() = default;

bool LocalServer::listen(const QString& name) {
    return d->server->listen(name);
}

bool LocalServer::isListening() const {
    return d->server->isListening();
}

LocalSocket* LocalServer::nextPendingConnection() {
    QLocalSocket* next = d->server->nextPendingConnection();
    if (!next)
        return nullptr;
    auto* socket = new LocalSocket(this);
    delete socket->d->socket;
    socket->d->socket = next;
    adopt(socket, next);
    return socket;
}

void LocalServer::removeServer(const QString& name) {
    QLocalServer::removeServer(name);
}

} // namespace quorvane
