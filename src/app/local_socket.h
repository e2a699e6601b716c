// A local stream socket between two processes of one user: a Unix socket in a private folder on Linux, a named
// pipe on Windows. Only what the instance channel needs, with Qt's local socket's behaviour.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace quorvane {

class LocalSocket : public QObject {
    Q_OBJECT

public:
    explicit LocalSocket(QObject* parent = nullptr);
    ~LocalSocket() override;

    // The asker's side, which waits: connected to the server of that name within waitMs, or false at once when
    // nothing listens there.
    bool connectToServer(const QString& name, int waitMs);
    bool isConnected() const;

    qint64 bytesAvailable() const;
    QByteArray readAll();
    // Bytes beyond this are left unread until what was read is taken.
    void setReadBufferSize(qint64 bytes);
    // Queued, and sent as the other end takes them.
    void write(const QByteArray& bytes);
    qint64 bytesToWrite() const;
    // False when the time ran out or the connection ended first.
    bool waitForBytesWritten(int waitMs);
    // True when bytes came; false when none came in time or the connection ended.
    bool waitForReadyRead(int waitMs);
    // Closes at once, dropping what was not sent; disconnected() follows when it was connected.
    void abort();

signals:
    void readyRead();
    void disconnected();

private:
    friend class LocalServer;
    struct Private;
    std::unique_ptr<Private> d;
};

class LocalServer : public QObject {
    Q_OBJECT

public:
    explicit LocalServer(QObject* parent = nullptr);
    ~LocalServer() override; // stops listening, and removes its socket file

    // Listens under name, for this user only. False when the name is taken or cannot be used.
    bool listen(const QString& name);
    // Stops, for instance when a connection could not be accepted for want of descriptors: the owner listens
    // again later.
    bool isListening() const;
    // The next connection, a child of the server; null when none waits.
    LocalSocket* nextPendingConnection();
    // Removes what a server that ended without cleaning up left under name.
    static void removeServer(const QString& name);

signals:
    void newConnection();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quorvane
