// TfMessage ("fMessage"): the translatable texts of message boxes, prompts and the status line.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

#include "i18n/component_source.h"

class QLineEdit;

namespace quorvane {

// A message text with "%1", "%2", ... filled in; a translation without them still reads as a sentence.
QString filled(const QString& text, const QStringList& values);

// Never shown. Each text is the Text of an edit field named after it, so a language file reaches it
// as fMessage.<field>.Text; commands read the current text at the time of use. A field is made when a
// language entry first names it: until then its text is the built-in one, and a hundred edit fields
// nobody sees cost nothing at start.
class TfMessage : public QWidget, public ComponentSource {
    Q_OBJECT

public:
    explicit TfMessage(QWidget* parent = nullptr);

    // Current text of the field of that name (empty for an unknown name).
    QString text(const QString& field) const;
    // Every field's name, in the built-in order.
    QStringList fieldNames() const;
    QObject* makeComponent(const QString& name) override;

    QString NomeNonValido() const { return text(QStringLiteral("NomeNonValido")); }
    QString ProbRimozCartella() const { return text(QStringLiteral("ProbRimozCartella")); }
    QString CreazTunnell() const { return text(QStringLiteral("CreazTunnell")); }
    QString NomeDaAssegnare() const { return text(QStringLiteral("NomeDaAssegnare")); }
    QString Connessi() const { return text(QStringLiteral("Connessi")); }
    QString Disconnessi() const { return text(QStringLiteral("Disconnessi")); }
    QString Pronto() const { return text(QStringLiteral("Pronto")); }
    QString TunnellEsistente() const { return text(QStringLiteral("TunnellEsistente")); }
    QString ClientNonCopiato() const { return text(QStringLiteral("ClientNonCopiato")); }
    // Texts with "%1" take a field's or a tunnel's name.
    QString CampoConTrattino() const { return text(QStringLiteral("CampoConTrattino")); }
    QString PortaNonValida() const { return text(QStringLiteral("PortaNonValida")); }
    QString CampoNonValido() const { return text(QStringLiteral("CampoNonValido")); }
    QString ArrestoNonRiuscito() const { return text(QStringLiteral("ArrestoNonRiuscito")); }
    QString PrimaNonAvviato() const { return text(QStringLiteral("PrimaNonAvviato")); }
    QString PrimaFallito() const { return text(QStringLiteral("PrimaFallito")); }
    QString PrimaScaduto() const { return text(QStringLiteral("PrimaScaduto")); }
    QString SuggerimentoVuoto() const { return text(QStringLiteral("SuggerimentoVuoto")); }
    QString NomeNonGestibile() const { return text(QStringLiteral("NomeNonGestibile")); }
    QString ConfermaEliminazione() const { return text(QStringLiteral("ConfermaEliminazione")); }
    QString ChiaveMancante() const { return text(QStringLiteral("ChiaveMancante")); }
    QString RinominaConnesso() const { return text(QStringLiteral("RinominaConnesso")); }
    QString RinominaNonRiuscita() const { return text(QStringLiteral("RinominaNonRiuscita")); }
    // The state of a tunnel and the reasons of a failure, as the list, the tooltips and the tray show them.
    QString StatoNonConnesso() const { return text(QStringLiteral("StatoNonConnesso")); }
    QString StatoInConnessione() const { return text(QStringLiteral("StatoInConnessione")); }
    QString StatoConnesso() const { return text(QStringLiteral("StatoConnesso")); }
    QString StatoErrore() const { return text(QStringLiteral("StatoErrore")); }
    QString ErrAccessoNegato() const { return text(QStringLiteral("ErrAccessoNegato")); }
    QString ErrConnessioneRifiutata() const { return text(QStringLiteral("ErrConnessioneRifiutata")); }
    QString ErrChiaveSconosciuta() const { return text(QStringLiteral("ErrChiaveSconosciuta")); }
    QString ErrChiaveCambiata() const { return text(QStringLiteral("ErrChiaveCambiata")); }
    QString ErrPortaInUso() const { return text(QStringLiteral("ErrPortaInUso")); }
    QString ErrNomeSconosciuto() const { return text(QStringLiteral("ErrNomeSconosciuto")); }
    QString ErrClientTerminato() const { return text(QStringLiteral("ErrClientTerminato")); }
    QString DomandaChiaveHost() const { return text(QStringLiteral("DomandaChiaveHost")); }
    QString AvvisoChiaveCambiata() const { return text(QStringLiteral("AvvisoChiaveCambiata")); }
    QString NotificaInterrotto() const { return text(QStringLiteral("NotificaInterrotto")); }
    QString NotificaRipristinato() const { return text(QStringLiteral("NotificaRipristinato")); }
    QString TunnellConnessi() const { return text(QStringLiteral("TunnellConnessi")); }
    QString OpzioniNonSalvate() const { return text(QStringLiteral("OpzioniNonSalvate")); }
    QString LinguaNonApplicata() const { return text(QStringLiteral("LinguaNonApplicata")); }

private:
    struct Field {
        QString name;
        QString builtIn;
        QLineEdit* edit = nullptr; // once a language entry named it
    };

    std::vector<Field> m_fields;
    QHash<QString, std::size_t> m_byName;       // the list and the tray ask for texts on every pass
    QHash<QString, std::size_t> m_byFoldedName; // a language file names components in any letter case
};

} // namespace quorvane
