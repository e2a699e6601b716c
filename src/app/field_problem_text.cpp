// Field names for refusal messages, taken from the editor's labels so they follow the language file.
#include "app/field_problem_text.h"

#include <QLineEdit>

#include "app/tunnel_editor.h"
#include "app/window_messages.h"

namespace quorvane {

QString fieldProblemText(const FieldProblem& problem, const TShowTunn& editor, const TfMessage& messages) {
    return QString::fromStdString(fieldProblemWords(problem, WindowMessages(messages, &editor)));
}

QLineEdit* fieldEdit(ConnectField field, const TShowTunn& editor) {
    switch (field) {
    case ConnectField::IpServer:
        return editor.mxflatmaskedit1;
    case ConnectField::PortaServer:
        return editor.mxflatmaskedit2;
    case ConnectField::Username:
        return editor.mxflatedit1;
    case ConnectField::Password:
        return editor.mxflatedit2;
    case ConnectField::PortaLocale:
        return editor.mxflatmaskedit5;
    case ConnectField::IpServizio:
        return editor.mxflatmaskedit3;
    case ConnectField::PortaServizio:
        return editor.mxflatmaskedit4;
    case ConnectField::FileChiave:
        return editor.Edit1;
    case ConnectField::Inoltri:
        return nullptr; // a table, not an edit: the message names it
    case ConnectField::HostKey:
        return editor.hostkey;
    case ConnectField::Prima:
        return editor.Edit2;
    case ConnectField::Dopo:
        return editor.Edit3;
    }
    return nullptr;
}

} // namespace quorvane
