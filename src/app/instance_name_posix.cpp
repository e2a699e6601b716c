// The instance socket's name on POSIX systems: a file in the user's private runtime folder, its lock beside it.
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QStandardPaths>

#include "app/instance_channel.h"

namespace quorvane {
namespace {

// Without XDG_RUNTIME_DIR (cron, some remote shells) the login's own folder is still the one the
// desktop's instance listens in, when it is there and private to this user.
QString runtimeFolder() {
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::string login = "/run/user/" + std::to_string(::getuid());
        struct stat info {};
        if (::stat(login.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
            (info.st_mode & 077) == 0)
            return QString::fromStdString(login);
    }
    // Qt makes its fallback folder 0700 when it has to create it.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

QString instanceName(const std::string& dataFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex().left(16);
    return runtimeFolder() + QStringLiteral("/quorvane-") + QString::fromLatin1(digest) + QStringLiteral(".sock");
}

QString instanceLockPath(const std::string& dataFolder) {
    return instanceName(dataFolder) + QStringLiteral(".lock");
}

} // namespace quorvane
