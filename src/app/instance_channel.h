// One running instance per data folder: a later start hands its command over a local socket.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QLocalServer;

namespace quorvane {

// The socket's name for a data folder: a path in the user's runtime folder (a named pipe on
// Windows), so two portable copies never answer for each other.
QString instanceName(const std::string& dataFolder);

class InstanceServer : public QObject {
    Q_OBJECT

public:
    // handler gets a request's text and returns the reply's; it runs on the GUI thread.
    using Handler = std::function<std::string(const std::string& request)>;
    InstanceServer(QString name, Handler handler, QObject* parent = nullptr);

    // Listens, first removing a socket left by an instance that ended without cleaning up. False when
    // the name cannot be used (the program still runs, only without taking commands).
    bool listen();

    static constexpr qint64 kMaxRequestBytes = 64 * 1024;
    static constexpr int kProbeMs = 500;
    static constexpr int kIdleMs = 10000;

private:
    void accept();

    QString m_name;
    Handler m_handler;
    QLocalServer* m_server;
};

struct InstanceReply {
    bool instanceRunning = false;    // something took the connection
    std::optional<std::string> text; // its whole reply; none when it gave none in time
};

// Hands request to the running instance. A running instance that does not reply within replyMs
// (a box of the program waits for its user) is not taken for none: the caller must not act itself.
InstanceReply askRunningInstance(const QString& name, const std::string& request, int replyMs);

} // namespace quorvane
