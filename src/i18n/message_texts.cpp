// TfMessage: the hidden window whose edit fields hold the translatable message texts.
#include "i18n/message_texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quorvane {

QString filled(const QString& text, const QStringList& values) {
    QString result = text;
    for (int i = 0; i < values.size(); ++i)
        result.replace(QStringLiteral("%") + QString::number(i + 1), values[i]);
    return result;
}

TfMessage::TfMessage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fMessage"));
    setWindowTitle(QStringLiteral("Messaggi"));

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(
        QStringLiteral("Questa form è usata solo per la traduzione dei messaggi per le showmessage()"), this);
    label->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(label);

    // The double blank in the first text is deliberate: it is the text users have always seen.
    addField(QStringLiteral("NomeNonValido"), QStringLiteral("Nome non  valido!"));
    addField(QStringLiteral("ProbRimozCartella"), QStringLiteral("Problemi nella rimozione della cartella"));
    addField(QStringLiteral("CreazTunnell"), QStringLiteral("Creazione Tunnell"));
    addField(QStringLiteral("NomeDaAssegnare"), QStringLiteral("Nome da assegnare"));
    addField(QStringLiteral("Connessi"), QStringLiteral("Connessi"));
    addField(QStringLiteral("Disconnessi"), QStringLiteral("Disconnessi"));
    addField(QStringLiteral("Pronto"), QStringLiteral("Pronto"));
    addField(QStringLiteral("TunnellEsistente"), QStringLiteral("Tunnell già esistente!"));
    addField(QStringLiteral("ClientNonCopiato"),
             QStringLiteral("Impossibile copiare il client SSH (plink.exe): il tunnell è stato creato ma non "
                            "potrà connettersi."));
    addField(QStringLiteral("CampoConTrattino"), QStringLiteral("Il campo \"%1\" non può iniziare con \"-\""));
    addField(QStringLiteral("PortaNonValida"),
             QStringLiteral("Il campo \"%1\" deve essere un numero di porta da 1 a 65535"));
    addField(QStringLiteral("CampoNonValido"), QStringLiteral("Il campo \"%1\" contiene caratteri non ammessi"));
    addField(QStringLiteral("ArrestoNonRiuscito"),
             QStringLiteral("Impossibile arrestare il client SSH del tunnell \"%1\""));
    addField(QStringLiteral("PrimaNonAvviato"),
             QStringLiteral("Impossibile eseguire il programma \"Prima\" del tunnell %1 (%2): %3"));
    addField(
        QStringLiteral("PrimaFallito"),
        QStringLiteral(
            "Il programma \"Prima\" del tunnell %1 (%2) è terminato con il codice %3: il tunnell non viene connesso"));
    addField(QStringLiteral("PrimaScaduto"),
             QStringLiteral("Il programma \"Prima\" del tunnell %1 (%2) non è terminato entro 30 secondi ed è stato "
                            "fermato: il tunnell non viene connesso"));
    addField(
        QStringLiteral("SuggerimentoVuoto"),
        QStringLiteral("Nessun tunnell ancora: crearne uno con Tunnells › Aggiungi, poi impostarlo con Modifica."));
    addField(QStringLiteral("NomeNonGestibile"),
             QStringLiteral("Il nome \"%1\" non può essere il nome di un tunnell: rinominare la cartella a mano"));
    addField(QStringLiteral("ConfermaEliminazione"),
             QStringLiteral("Eliminare il tunnell %1 con la sua cartella, la definizione e le chiavi che contiene?"));
    addField(QStringLiteral("ChiaveMancante"), QStringLiteral("File chiave non trovato: %1"));
    addField(QStringLiteral("RinominaConnesso"),
             QStringLiteral("Disconnettere il tunnell \"%1\" prima di rinominarlo"));
    addField(QStringLiteral("RinominaNonRiuscita"), QStringLiteral("Impossibile rinominare il tunnell \"%1\""));
    addField(QStringLiteral("StatoNonConnesso"), QStringLiteral("Non connesso"));
    addField(QStringLiteral("StatoInConnessione"), QStringLiteral("Connessione in corso"));
    addField(QStringLiteral("StatoConnesso"), QStringLiteral("Connesso"));
    addField(QStringLiteral("StatoErrore"), QStringLiteral("Errore: %1"));
    addField(QStringLiteral("ErrAccessoNegato"), QStringLiteral("accesso negato"));
    addField(QStringLiteral("ErrConnessioneRifiutata"), QStringLiteral("connessione rifiutata"));
    addField(QStringLiteral("ErrChiaveSconosciuta"), QStringLiteral("chiave host non conosciuta"));
    addField(QStringLiteral("ErrChiaveCambiata"), QStringLiteral("chiave host cambiata"));
    addField(QStringLiteral("ErrPortaInUso"), QStringLiteral("porta locale %1 già in uso"));
    addField(QStringLiteral("ErrNomeSconosciuto"), QStringLiteral("nome o servizio sconosciuto"));
    addField(QStringLiteral("ErrClientTerminato"), QStringLiteral("il client SSH è terminato"));
    addField(QStringLiteral("DomandaChiaveHost"),
             QStringLiteral("Il server %1 (porta %2) si presenta con la chiave %3 %4, non ancora nota. Fidarsi di "
                            "questo server e connettere il tunnell?"));
    addField(QStringLiteral("AvvisoChiaveCambiata"),
             QStringLiteral("ATTENZIONE: il server del tunnell %1 non presenta più la chiave memorizzata. La sua "
                            "identità è cambiata, o qualcuno si frappone: il tunnell non viene connesso. Se il cambio "
                            "è atteso, dimenticare la chiave nell'editor del tunnell."));
    addField(QStringLiteral("NotificaInterrotto"), QStringLiteral("Tunnell %1: %2"));
    addField(QStringLiteral("NotificaRipristinato"), QStringLiteral("Tunnell %1 di nuovo connesso"));
    addField(QStringLiteral("TunnellConnessi"), QStringLiteral("Quorvane: %1 di %2 tunnell connessi"));
    addField(QStringLiteral("OpzioniNonSalvate"), QStringLiteral("Impossibile salvare le opzioni in %1"));
    addField(QStringLiteral("LinguaNonApplicata"), QStringLiteral("Impossibile usare la lingua %1: %2"));
}

QString TfMessage::text(const QString& field) const {
    // Direct children only: the field names are the window's own and nothing nests below them.
    const auto* edit = findChild<QLineEdit*>(field, Qt::FindDirectChildrenOnly);
    return edit ? edit->text() : QString();
}

QLineEdit* TfMessage::addField(const QString& name, const QString& defaultText) {
    auto* edit = new QLineEdit(defaultText, this);
    edit->setObjectName(name);
    layout()->addWidget(edit);
    return edit;
}

} // namespace quorvane
