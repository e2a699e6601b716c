// The instance socket's name on Windows: a named pipe. Pipe names are machine-wide, so the name holds
// the user and the login session: another account can neither reach nor take it. Its lock is a file.
#include <QCryptographicHash>
#include <QDir>

#include "app/instance_channel.h"
#include "store/program_folders.h"

namespace quorvane {

QString instanceName(const std::string& dataFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("quorvane-") + QString::fromStdString(userSessionTag()) + QLatin1Char('-') +
           QString::fromLatin1(digest);
}

// The user's own temporary folder: a pipe name is no path, and the data folder may be shared by machines.
QString instanceLockPath(const std::string& dataFolder) {
    return QDir::tempPath() + QLatin1Char('/') + instanceName(dataFolder) + QStringLiteral(".lock");
}

} // namespace quorvane
