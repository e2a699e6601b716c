// The instance socket's name on Windows: a named pipe of this user's session.
#include <QCryptographicHash>

#include "app/instance_channel.h"

namespace quorvane {

QString instanceName(const std::string& dataFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("quorvane-") + QString::fromLatin1(digest);
}

} // namespace quorvane
