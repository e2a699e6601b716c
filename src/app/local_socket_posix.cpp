// Local sockets on POSIX systems: a Unix stream socket, watched by the event loop on the server's side and
// waited on with poll() on the asker's. Without Qt's network library, whose dependencies cost every start.
#include "app/local_socket.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;

// The socket address for a path; false when the path does not fit.
bool toAddress(const QString& name, sockaddr_un& address) {
    const QByteArray path = name.toLocal8Bit();
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

// A notifier may be let go from its own signal: the event loop deletes it afterwards.
void letGo(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

// Waits until fd is ready for events, within what is left of waitMs since clock started. False when the time ran
// out first.
bool readyWithin(int fd, short events, const QElapsedTimer& clock, int waitMs) {
    for (;;) {
        pollfd watch{fd, events, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(std::max<qint64>(0, waitMs - clock.elapsed())));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

} // namespace

struct LocalSocket::Private {
    int fd = -1;
    QByteArray in;
    QByteArray out;
    qint64 readCap = 0; // 0: no cap
    std::unique_ptr<QSocketNotifier> reading;
    std::unique_ptr<QSocketNotifier> writing;

    void close() {
        letGo(reading);
        letGo(writing);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        out.clear();
    }

    bool roomToRead() const { return readCap <= 0 || in.size() < readCap; }

    // Reads what is there without waiting. False when the other end closed or the connection failed.
    bool readAvailable(bool& got) {
        got = false;
        while (fd >= 0 && roomToRead()) {
            char buffer[kReadChunk];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                in.append(buffer, n);
                got = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return true;
    }

    // Sends what is queued without waiting. False when the connection failed.
    bool flush() {
        while (fd >= 0 && !out.isEmpty()) {
            const ssize_t n =
                ::send(fd, out.constData(), static_cast<std::size_t>(out.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                out.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return true;
    }
};

LocalSocket::LocalSocket(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {}

LocalSocket::~LocalSocket() {
    d->close();
}

bool LocalSocket::connectToServer(const QString& name, int waitMs) {
    abort();
    sockaddr_un address;
    if (!toAddress(name, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A server whose queue is full makes a connect wait: no longer than asked (a zero would be for ever).
    const int ms = std::max(1, waitMs);
    const timeval wait{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    int connected;
    do {
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        ::close(fd);
        return false;
    }
    d->fd = fd;
    return true;
}

bool LocalSocket::isConnected() const {
    return d->fd >= 0;
}

qint64 LocalSocket::bytesAvailable() const {
    return d->in.size();
}

QByteArray LocalSocket::readAll() {
    QByteArray taken;
    taken.swap(d->in);
    // Room again for what was left unread.
    if (d->reading && !d->reading->isEnabled())
        d->reading->setEnabled(true);
    return taken;
}

void LocalSocket::setReadBufferSize(qint64 bytes) {
    d->readCap = bytes;
}

void LocalSocket::write(const QByteArray& bytes) {
    if (d->fd < 0)
        return;
    d->out += bytes;
    if (!d->flush()) {
        abort();
        return;
    }
    // On the server's side the rest goes as the asker reads; the asker's side waits for it instead.
    if (!d->out.isEmpty() && d->reading && !d->writing) {
        d->writing = std::make_unique<QSocketNotifier>(d->fd, QSocketNotifier::Write);
        connect(d->writing.get(), &QSocketNotifier::activated, this, [this] {
            if (!d->flush()) {
                abort();
                return;
            }
            if (d->out.isEmpty())
                d->writing->setEnabled(false);
        });
    } else if (d->writing) {
        d->writing->setEnabled(!d->out.isEmpty());
    }
}

qint64 LocalSocket::bytesToWrite() const {
    return d->out.size();
}

bool LocalSocket::waitForBytesWritten(int waitMs) {
    QElapsedTimer clock;
    clock.start();
    while (d->fd >= 0 && !d->out.isEmpty()) {
        if (!readyWithin(d->fd, POLLOUT, clock, waitMs))
            return false;
        if (!d->flush()) {
            abort();
            return false;
        }
    }
    return d->fd >= 0;
}

bool LocalSocket::waitForReadyRead(int waitMs) {
    QElapsedTimer clock;
    clock.start();
    while (d->fd >= 0) {
        if (!readyWithin(d->fd, POLLIN, clock, waitMs))
            return false;
        bool got = false;
        const bool open = d->readAvailable(got);
        if (!open)
            abort();
        if (got || !open)
            return got;
    }
    return false;
}

void LocalSocket::abort() {
    if (d->fd < 0)
        return;
    d->close();
    emit disconnected();
}

struct LocalServer::Private {
    int fd = -1;
    QByteArray path;
    std::unique_ptr<QSocketNotifier> notifier;
    std::deque<LocalSocket*> pending;

    void close() {
        letGo(notifier);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.constData());
        }
        fd = -1;
    }
};

LocalServer::LocalServer(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {}

LocalServer::~LocalServer() {
    d->close();
}

bool LocalServer::listen(const QString& name) {
    if (d->fd >= 0)
        return false;
    sockaddr_un address;
    if (!toAddress(name, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    // The folder is the user's own; the socket is made so too, whatever the umask, before anyone may connect.
    if (::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        ::unlink(address.sun_path);
        return false;
    }
    d->fd = fd;
    d->path = QByteArray(address.sun_path);
    d->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] {
        bool any = false;
        for (;;) {
            const int accepted = ::accept4(d->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (accepted < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                // Out of descriptors, or worse: the waiting connection would wake the loop for ever.
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    d->close();
                break;
            }
            auto* socket = new LocalSocket(this);
            socket->d->fd = accepted;
            socket->d->reading = std::make_unique<QSocketNotifier>(accepted, QSocketNotifier::Read);
            connect(socket->d->reading.get(), &QSocketNotifier::activated, socket, [socket] {
                bool got = false;
                const bool open = socket->d->readAvailable(got);
                // Full: the rest waits in the system until what was read is taken.
                if (open && !socket->d->roomToRead())
                    socket->d->reading->setEnabled(false);
                const QPointer<LocalSocket> alive(socket);
                if (got)
                    emit socket->readyRead();
                if (alive && !open)
                    socket->abort();
            });
            d->pending.push_back(socket);
            any = true;
        }
        if (any)
            emit newConnection();
    });
    return true;
}

bool LocalServer::isListening() const {
    return d->fd >= 0;
}

LocalSocket* LocalServer::nextPendingConnection() {
    if (d->pending.empty())
        return nullptr;
    LocalSocket* next = d->pending.front();
    d->pending.pop_front();
    return next;
}

void LocalServer::removeServer(const QString& name) {
    ::unlink(name.toLocal8Bit().constData());
}

} // namespace quorvane
