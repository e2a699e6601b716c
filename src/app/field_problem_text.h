// The message that names a definition field the client cannot be given, in the current language.
#pragma once

#include <QString>

#include "process/command_line.h"

class QLineEdit;

namespace quorvane {

class TShowTunn;
class TfMessage;

// The field is named by the editor's own (translated) captions.
QString fieldProblemText(const FieldProblem& problem, const TShowTunn& editor, const TfMessage& messages);

// The editor's edit field that holds the value.
QLineEdit* fieldEdit(ConnectField field, const TShowTunn& editor);

} // namespace quorvane
