// A tunnel's state as the list shows it: its picture and its words in the current language.
#pragma once

#include <QString>

#include "tunnel/tunnel_monitor.h"

namespace quorvane {

class TfMessage;
class WindowMessages;

// The list picture of a status (see desktop/artwork.h).
int pictureFor(TunnelStatus status);

// "Connesso", "Connessione in corso", "Non connesso" or "Errore: " and the reason.
QString statusText(const TunnelHealth& health, const TfMessage& messages);
QString statusText(const TunnelHealth& health, const WindowMessages& texts);

// The reason of a failure, in the client's own words where no text of ours says it better.
QString reasonText(const ClientFailure& failure, const TfMessage& messages);

} // namespace quorvane
