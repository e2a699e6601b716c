// One running instance per data folder: a later start hands its command over a local socket.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QLockFile;
class QTimer;

namespace quorvane {

class LocalServer;

// The socket's name for a data folder: a path in the user's runtime folder (a named pipe on
// Windows), so two portable copies never answer for each other.
QString instanceName(const std::string& dataFolder);

// The running instance's lock file, held for its whole life: beside the socket, in the user's temporary
// folder on Windows. It tells an instance that is alive but does not answer from none at all.
QString instanceLockPath(const std::string& dataFolder);

class InstanceServer : public QObject {
    Q_OBJECT

public:
    // handler gets a request's text and gives the reply's to its second argument, at once or later (a
    // reply given once the asker has gone is dropped); it runs on the GUI thread.
    using Reply = std::function<void(const std::string& reply)>;
    using Handler = std::function<void(const std::string& request, Reply reply)>;
    InstanceServer(QString name, Handler handler, QObject* parent = nullptr);

    // Listens, first removing a socket left by an instance that ended without cleaning up. False when
    // the name cannot be used (the program still runs, only without taking commands). Once listening,
    // the socket is put back whenever the server loses it (it closes, and deletes the file, when an accept
    // fails, e.g. for want of descriptors).
    bool listen();

    static constexpr qint64 kMaxRequestBytes = 64 * 1024;
    static constexpr int kProbeMs = 500;
    static constexpr int kIdleMs = 10000;
    // A start asks once and is answered in milliseconds, so 32 at once leaves room for scripts that
    // start many in parallel; a flood beyond it costs nothing kept: those are closed unread at once.
    static constexpr int kMaxConnections = 32;
    static constexpr int kRelistenMs = 3000; // well within the 5 s a start asks again for

private:
    void accept();
    void keepListening();

    QString m_name;
    Handler m_handler;
    LocalServer* m_server;
    QTimer* m_watch;
    int m_connections = 0;
};

struct InstanceReply {
    bool instanceRunning = false;    // something took the connection, or a live instance holds the lock
    std::optional<std::string> text; // its whole reply; none when it gave none in time
    bool closedUnanswered = false;   // none because it closed the connection (it was full, or ended)
    qint64 silentHolder = 0;         // holds the lock but took no connection: its process id, -1 if unknown
};

// Hands request to the running instance. A running instance that does not reply within replyMs
// (a box of the program waits for its user) is not taken for none: the caller must not act itself.
// When nothing takes the connection, lock (the instance lock, not yet taken) is tried: taken, there is
// no instance and the caller holds it; held by a live process, the socket is asked again for a while
// (the instance may be starting, or putting its socket back) before the instance is reported silent.
InstanceReply askRunningInstance(const QString& name, const std::string& request, int replyMs, QLockFile& lock);

// True when the process named by the instance lock is another process of this user running this program.
bool lockHolderIsThisProgram(qint64 holder);

} // namespace quorvane
