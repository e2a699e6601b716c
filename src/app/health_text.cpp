// Pictures and words for tunnel states and failure reasons.
#include "app/health_text.h"

#include "app/window_messages.h"
#include "desktop/artwork.h"
#include "i18n/message_texts.h"

namespace quorvane {

int pictureFor(TunnelStatus status) {
    switch (status) {
    case TunnelStatus::Connected:
        return kPictureConnected;
    case TunnelStatus::Connecting:
        return kPictureConnecting;
    case TunnelStatus::Failed:
        return kPictureFailed;
    case TunnelStatus::NotConnected:
        break;
    }
    return kPictureDisconnected;
}

QString reasonText(const ClientFailure& failure, const TfMessage& messages) {
    return QString::fromStdString(reasonWords(failure, WindowMessages(messages, nullptr)));
}

QString statusText(const TunnelHealth& health, const TfMessage& messages) {
    return statusText(health, WindowMessages(messages, nullptr));
}

QString statusText(const TunnelHealth& health, const WindowMessages& texts) {
    // Called for every tunnel on every pass: a plain status is one look-up, not a round trip through std::string.
    const std::string_view key = statusKey(health.status);
    if (health.status != TunnelStatus::Failed && !health.warning)
        return texts.messages().text(QString::fromLatin1(key.data(), qsizetype(key.size())));
    return QString::fromStdString(statusWords(health, texts));
}

} // namespace quorvane
