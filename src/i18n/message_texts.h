// TfMessage ("fMessage"): the translatable texts of message boxes, prompts and the status line.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;

namespace quorvane {

// Never shown. Each text is the Text of an edit field named after it, so a language file reaches it
// as fMessage.<field>.Text; commands read the current text at the time of use.
class TfMessage : public QWidget {
    Q_OBJECT

public:
    explicit TfMessage(QWidget* parent = nullptr);

    // Current text of the field of that name (empty for an unknown name).
    QString text(const QString& field) const;

    QString NomeNonValido() const { return text(QStringLiteral("NomeNonValido")); }
    QString ProbRimozCartella() const { return text(QStringLiteral("ProbRimozCartella")); }
    QString CreazTunnell() const { return text(QStringLiteral("CreazTunnell")); }
    QString NomeDaAssegnare() const { return text(QStringLiteral("NomeDaAssegnare")); }
    QString Connessi() const { return text(QStringLiteral("Connessi")); }
    QString Disconnessi() const { return text(QStringLiteral("Disconnessi")); }
    QString Pronto() const { return text(QStringLiteral("Pronto")); }
    QString TunnellEsistente() const { return text(QStringLiteral("TunnellEsistente")); }
    QString ClientNonCopiato() const { return text(QStringLiteral("ClientNonCopiato")); }

private:
    QLineEdit* addField(const QString& name, const QString& defaultText);
};

} // namespace quorvane
