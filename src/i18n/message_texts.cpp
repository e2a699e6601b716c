// TfMessage: the hidden window whose edit fields hold the translatable message texts.
#include "i18n/message_texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quorvane {

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
    addField(QStringLiteral("RinominaConnesso"),
             QStringLiteral("Disconnettere il tunnell \"%1\" prima di rinominarlo"));
    addField(QStringLiteral("RinominaNonRiuscita"), QStringLiteral("Impossibile rinominare il tunnell \"%1\""));
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
