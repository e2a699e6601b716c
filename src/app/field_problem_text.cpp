// Field names for refusal messages, taken from the editor's labels so they follow the language file.
#include "app/field_problem_text.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/tunnel_editor.h"
#include "i18n/message_texts.h"

namespace quorvane {

namespace {

QString plainCaption(const QString& caption) {
    QString text = caption;
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

QString fieldName(ConnectField field, const TShowTunn& editor) {
    // The server's two labels ("Indirizzo IP", "Porta") would be ambiguous without their group.
    const auto inServerGroup = [&](const QLabel* label) {
        return plainCaption(editor.serversshtitle->title()) + QStringLiteral(" - ") + plainCaption(label->text());
    };
    switch (field) {
    case ConnectField::IpServer:
        return inServerGroup(editor.ipaddress);
    case ConnectField::PortaServer:
        return inServerGroup(editor.port);
    case ConnectField::Username:
        return plainCaption(editor.useraccount->text());
    case ConnectField::Password:
        return plainCaption(editor.password->text());
    case ConnectField::PortaLocale:
        return plainCaption(editor.Localport->text());
    case ConnectField::IpServizio:
        return plainCaption(editor.ipservice->text());
    case ConnectField::PortaServizio:
        return plainCaption(editor.portservice->text());
    case ConnectField::FileChiave:
        return plainCaption(editor.Label1->text());
    case ConnectField::Inoltri:
        return plainCaption(editor.GroupBox2->title());
    }
    return {};
}

} // namespace

QString fieldProblemText(const FieldProblem& problem, const TShowTunn& editor, const TfMessage& messages) {
    QString text;
    switch (problem.fault) {
    case FieldFault::LeadingDash:
        text = messages.CampoConTrattino();
        break;
    case FieldFault::NotAPort:
        text = messages.PortaNonValida();
        break;
    case FieldFault::Unpassable:
        text = messages.CampoNonValido();
        break;
    }
    return filled(text, {fieldName(problem.field, editor)});
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
    }
    return nullptr;
}

} // namespace quorvane
