// The import list's rows in words: a forward as "L 8080 → host:80", a reason from the message texts.
#include "app/import_words.h"

#include <QFileInfo>

#include "app/field_problem_text.h"
#include "i18n/message_texts.h"

namespace quorvane {

namespace {

QString text(const std::string& bytes) {
    return QString::fromStdString(bytes);
}

QString forwardText(int kind, const std::string& localPort, const std::string& address, const std::string& port) {
    const QString head = QString(QLatin1Char(forwardKindLetter(kind))) + QLatin1Char(' ') + text(localPort);
    return kind == kForwardDynamic ? head
                                   : head + QStringLiteral(" → ") + text(address) + QLatin1Char(':') + text(port);
}

QString reasonOf(const ImportCandidate& candidate, const TShowTunn& editor, const TfMessage& messages) {
    const QString detail = text(candidate.detail);
    switch (candidate.problem) {
    case ImportProblem::None:
        return {};
    case ImportProblem::Unreadable:
        return filled(messages.text(QStringLiteral("ImportaIlleggibile")), {detail});
    case ImportProblem::MatchBlock:
        return messages.text(QStringLiteral("ImportaMatch"));
    case ImportProblem::PatternHost:
        return messages.text(QStringLiteral("ImportaModello"));
    case ImportProblem::NotSsh:
        return filled(messages.text(QStringLiteral("ImportaNonSsh")), {detail});
    case ImportProblem::ProxyJump:
        return filled(messages.text(QStringLiteral("ImportaProxy")), {detail});
    case ImportProblem::ForwardNotSupported:
        return filled(messages.text(QStringLiteral("ImportaInoltroNonGestito")), {detail});
    case ImportProblem::NoForward:
        return messages.text(QStringLiteral("ImportaSenzaInoltro"));
    case ImportProblem::NotStorable:
        return messages.text(QStringLiteral("ImportaNonMemorizzabile"));
    case ImportProblem::FieldRefused:
        return candidate.field ? fieldProblemText(*candidate.field, editor, messages) : QString();
    case ImportProblem::KeyNeedsConversion:
        return filled(messages.text(QStringLiteral("ImportaChiaveDaConvertire")),
                      {detail, text(candidate.detail + ".ppk")});
    }
    return {};
}

} // namespace

ImportRow importRowOf(const ImportCandidate& candidate, const TShowTunn& editor, const TfMessage& messages) {
    ImportRow row;
    row.name = text(candidate.name);
    row.source = text(candidate.source);
    row.reason = reasonOf(candidate, editor, messages);
    if (!candidate.keyToConvert.empty())
        row.note = filled(messages.text(QStringLiteral("ImportaChiaveConvertita")),
                          {QFileInfo(text(candidate.keyToConvert)).fileName()}); // the whole path in the tooltip
    const TunnelDefinition& definition = candidate.definition;
    if (candidate.problem == ImportProblem::Unreadable || candidate.problem == ImportProblem::MatchBlock ||
        candidate.problem == ImportProblem::PatternHost)
        return row; // no one server, no forwards of its own
    row.server = text(definition.IpServer);
    if (!definition.PortaServer.empty() && definition.PortaServer != "22")
        row.server += QLatin1Char(':') + text(definition.PortaServer);
    if (definition.PortaLocale == placeholderOf(&TunnelDefinition::PortaLocale))
        return row; // no forward was found
    QStringList forwards{
        forwardText(definition.Direzione, definition.PortaLocale, definition.IpServizio, definition.PortaServizio)};
    for (const ExtraForward& extra : definition.Inoltri)
        forwards << forwardText(extra.kind, extra.localPort, extra.address, extra.port);
    row.forwards = forwards.join(QStringLiteral(", "));
    return row;
}

QStringList importColumnTitles(const TfMessage& messages) {
    QStringList titles;
    for (const char* key : {"ImportaColonnaNome", "ImportaColonnaServer", "ImportaColonnaInoltri",
                            "ImportaColonnaMotivo", "ImportaColonnaOrigine"})
        titles << messages.text(QLatin1String(key));
    return titles;
}

} // namespace quorvane
