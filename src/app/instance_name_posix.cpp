// The instance socket's name on POSIX systems: a file in the user's private runtime folder.
#include <QCryptographicHash>
#include <QStandardPaths>

#include "app/instance_channel.h"

namespace quorvane {

QString instanceName(const std::string& dataFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex().left(16);
    // Qt makes the runtime folder 0700 when it has to create it.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/quorvane-") +
           QString::fromLatin1(digest) + QStringLiteral(".sock");
}

} // namespace quorvane
