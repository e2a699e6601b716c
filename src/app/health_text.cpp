// Pictures and words for tunnel states and failure reasons.
#include "app/health_text.h"

#include <QStringList>

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
    const QString detail = QString::fromStdString(failure.detail);
    switch (failure.kind) {
    case FailureKind::AccessDenied:
        return messages.ErrAccessoNegato();
    case FailureKind::ConnectionRefused:
        return messages.ErrConnessioneRifiutata();
    case FailureKind::HostKeyUnknown:
        return messages.ErrChiaveSconosciuta();
    case FailureKind::HostKeyChanged:
        return messages.ErrChiaveCambiata();
    case FailureKind::LocalPortInUse:
        return filled(messages.ErrPortaInUso(), {detail});
    case FailureKind::NameNotKnown:
        return messages.ErrNomeSconosciuto();
    case FailureKind::ClientEnded:
    case FailureKind::None:
        break;
    }
    return detail.isEmpty() ? messages.ErrClientTerminato() : detail;
}

QString statusText(const TunnelHealth& health, const TfMessage& messages) {
    switch (health.status) {
    case TunnelStatus::Connected:
        return messages.StatoConnesso();
    case TunnelStatus::Connecting:
        return messages.StatoInConnessione();
    case TunnelStatus::Failed:
        return filled(messages.StatoErrore(), {reasonText(health.failure, messages)});
    case TunnelStatus::NotConnected:
        break;
    }
    return messages.StatoNonConnesso();
}

} // namespace quorvane
