// What an import found, in the words of the window's current language, as the import list shows it.
#pragma once

#include <QStringList>

#include "desktop/import_list_dialog.h"
#include "import/import_candidate.h"

namespace quorvane {

class TShowTunn;
class TfMessage;

// The row of a candidate: its server and forwards, where it was found, and why it cannot be imported (fields
// named by the editor's captions).
ImportRow importRowOf(const ImportCandidate& candidate, const TShowTunn& editor, const TfMessage& messages);
QStringList importColumnTitles(const TfMessage& messages);

} // namespace quorvane
