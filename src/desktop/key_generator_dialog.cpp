// The key generator window: checks what the user typed, runs the generator and shows the public line.
#include "desktop/key_generator_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace quorvane {

namespace {

struct TypeChoice {
    const char* caption;
    const char* type;
    std::array<int, 3> bits; // all zero: the type has one size
    int defaultBits;
};

const TypeChoice kTypes[] = {
    {"ed25519", "ed25519", {0, 0, 0}, 0},
    {"ECDSA", "ecdsa", {256, 384, 521}, 256},
    {"RSA", "rsa", {2048, 3072, 4096}, 3072},
};

QString defaultComment() {
    QString user;
    for (const char* variable : {"USER", "USERNAME", "LOGNAME"})
        if (user.isEmpty())
            user = qEnvironmentVariable(variable);
    if (user.isEmpty()) // started without a login environment: the home folder is named after the user
        user = QDir::home().dirName();
    return user + QLatin1Char('@') + QSysInfo::machineHostName();
}

// Overwritten before release, so the passphrase lingers in fewer places of the program's memory.
void wipe(std::string& secret) {
    std::fill(secret.begin(), secret.end(), '\0');
    secret.clear();
}

template <typename Control> Control* named(Control* control, const char* name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

} // namespace

TKeyGenerator::TKeyGenerator(QString puttygenPath, Generator generator, QWidget* parent)
    : QDialog(parent), m_puttygenPath(std::move(puttygenPath)), m_generator(std::move(generator)) {
    setObjectName(QStringLiteral("KeyGenerator"));
    setWindowTitle(QStringLiteral("Generatore di chiavi SSH Putty"));

    LabelTipo = named(new QLabel(QStringLiteral("Tipo di chiave:"), this), "LabelTipo");
    TipoChiave = named(new QComboBox(this), "TipoChiave");
    for (const TypeChoice& choice : kTypes)
        TipoChiave->addItem(QLatin1String(choice.caption), QLatin1String(choice.type));
    LabelBit = named(new QLabel(QStringLiteral("Lunghezza (bit):"), this), "LabelBit");
    Bit = named(new QComboBox(this), "Bit");
    LabelCommento = named(new QLabel(QStringLiteral("Commento:"), this), "LabelCommento");
    Commento = named(new QLineEdit(defaultComment(), this), "Commento");
    LabelPassphrase = named(new QLabel(QStringLiteral("Passphrase:"), this), "LabelPassphrase");
    Passphrase = named(new QLineEdit(this), "Passphrase");
    LabelRipeti = named(new QLabel(QStringLiteral("Ripeti la passphrase:"), this), "LabelRipeti");
    RipetiPassphrase = named(new QLineEdit(this), "RipetiPassphrase");
    for (QLineEdit* secret : {Passphrase, RipetiPassphrase})
        secret->setEchoMode(QLineEdit::Password);
    NotaPassphrase = named(new QLabel(QStringLiteral("Può restare vuota: un tunnel nascosto non può chiedere la "
                                                     "passphrase, quindi gli serve una chiave senza."),
                                      this),
                           "NotaPassphrase");
    NotaPassphrase->setWordWrap(true);
    LabelFile = named(new QLabel(QStringLiteral("File della chiave (.ppk):"), this), "LabelFile");
    FileChiave = named(new QLineEdit(this), "FileChiave");
    FileChiave->setMinimumWidth(320);
    Sfoglia = named(new QPushButton(QStringLiteral("Sfoglia..."), this), "Sfoglia");
    Genera = named(new QPushButton(QStringLiteral("Genera"), this), "Genera");
    Esito = named(new QLabel(this), "Esito");
    Esito->setWordWrap(true);
    Esito->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelPubblica =
        named(new QLabel(QStringLiteral("Chiave pubblica (riga per authorized_keys):"), this), "LabelPubblica");
    ChiavePubblica = named(new QPlainTextEdit(this), "ChiavePubblica");
    ChiavePubblica->setReadOnly(true);
    ChiavePubblica->setWordWrapMode(QTextOption::WrapAnywhere);
    ChiavePubblica->setFixedHeight(ChiavePubblica->fontMetrics().lineSpacing() * 5);
    Copia = named(new QPushButton(QStringLiteral("Copia"), this), "Copia");
    Copia->setEnabled(false);
    Chiudi = named(new QPushButton(QStringLiteral("Chiudi"), this), "Chiudi");
    for (QLabel* label : {LabelTipo, LabelBit, LabelCommento, LabelPassphrase, LabelRipeti, LabelFile})
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelTipo->setBuddy(TipoChiave);
    LabelBit->setBuddy(Bit);
    LabelCommento->setBuddy(Commento);
    LabelPassphrase->setBuddy(Passphrase);
    LabelRipeti->setBuddy(RipetiPassphrase);
    LabelFile->setBuddy(FileChiave);

    // Never shown: each is the Caption a language file gives the text of that name.
    addMessage("PassphraseDiverse", QStringLiteral("Le due passphrase non coincidono."));
    addMessage("FileMancante", QStringLiteral("Indica il file in cui salvare la chiave."));
    addMessage("FileEsistente", QStringLiteral("Il file %1 esiste già: scegli un altro nome."));
    addMessage("GenerazioneInCorso", QStringLiteral("Generazione della chiave in corso..."));
    addMessage("ChiaveSalvata", QStringLiteral("Chiave salvata in %1."));
    addMessage("GenerazioneNonRiuscita", QStringLiteral("Generazione non riuscita: %1"));
    addMessage("ChiaveCopiata", QStringLiteral("Chiave pubblica copiata negli appunti."));
    addMessage("TitoloSalvataggio", QStringLiteral("Salva la chiave privata"));
    addMessage("FiltroFile", QStringLiteral("Chiavi PuTTY (*.ppk);;Tutti i file (*)"));

    auto* form = new QGridLayout;
    form->addWidget(LabelTipo, 0, 0);
    form->addWidget(TipoChiave, 0, 1);
    form->addWidget(LabelBit, 1, 0);
    form->addWidget(Bit, 1, 1);
    form->addWidget(LabelCommento, 2, 0);
    form->addWidget(Commento, 2, 1, 1, 2);
    form->addWidget(LabelPassphrase, 3, 0);
    form->addWidget(Passphrase, 3, 1, 1, 2);
    form->addWidget(LabelRipeti, 4, 0);
    form->addWidget(RipetiPassphrase, 4, 1, 1, 2);
    form->addWidget(NotaPassphrase, 5, 1, 1, 2);
    form->addWidget(LabelFile, 6, 0);
    form->addWidget(FileChiave, 6, 1);
    form->addWidget(Sfoglia, 6, 2);
    form->addWidget(Genera, 7, 1, Qt::AlignLeft);
    form->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Copia);
    buttons->addStretch();
    buttons->addWidget(Chiudi);
    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(Esito);
    page->addWidget(LabelPubblica);
    page->addWidget(ChiavePubblica);
    page->addLayout(buttons);

    connect(TipoChiave, &QComboBox::currentIndexChanged, this, [this] { TipoChiaveChange(); });
    connect(Sfoglia, &QPushButton::clicked, this, [this] { SfogliaClick(); });
    connect(Genera, &QPushButton::clicked, this, [this] { GeneraClick(); });
    connect(Copia, &QPushButton::clicked, this, [this] { CopiaClick(); });
    connect(Chiudi, &QPushButton::clicked, this, &QDialog::reject);
    Genera->setDefault(true);
    TipoChiaveChange();
}

void TKeyGenerator::addMessage(const char* name, const QString& text) {
    auto* label = named(new QLabel(text, this), name);
    label->hide();
}

QString TKeyGenerator::message(const char* name) const {
    const auto* label = findChild<QLabel*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    return label ? label->text() : QString();
}

void TKeyGenerator::TipoChiaveChange() {
    const TypeChoice& choice = kTypes[std::max(0, TipoChiave->currentIndex())];
    Bit->clear();
    for (int bits : choice.bits)
        if (bits != 0)
            Bit->addItem(QString::number(bits), bits);
    Bit->setCurrentIndex(Bit->findData(choice.defaultBits));
    Bit->setEnabled(Bit->count() > 0);
    LabelBit->setEnabled(Bit->count() > 0);
}

QString TKeyGenerator::keyFilePath() const {
    const QString name = FileChiave->text().trimmed();
    if (name.isEmpty() || m_defaultFolder.isEmpty())
        return name;
    return QDir(m_defaultFolder).absoluteFilePath(name);
}

void TKeyGenerator::SfogliaClick() {
    QString start = keyFilePath();
    if (start.isEmpty())
        start = QDir(m_defaultFolder)
                    .filePath(QStringLiteral("id_") + TipoChiave->currentData().toString() + QStringLiteral(".ppk"));
    // An existing file is refused here, in the window; the file dialog must not promise to replace it.
    QString chosen = QFileDialog::getSaveFileName(this, message("TitoloSalvataggio"), start, message("FiltroFile"),
                                                  nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".ppk");
    FileChiave->setText(QDir::toNativeSeparators(chosen));
}

void TKeyGenerator::showOutcome(const QString& text, bool error) {
    Esito->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
    Esito->setText(text);
}

void TKeyGenerator::GeneraClick() {
    if (Passphrase->text() != RipetiPassphrase->text()) {
        showOutcome(message("PassphraseDiverse"), true);
        return;
    }
    const QString path = keyFilePath();
    if (path.isEmpty()) {
        showOutcome(message("FileMancante"), true);
        return;
    }
    const QFileInfo file(path);
    if (file.exists() || file.isSymLink()) {
        showOutcome(message("FileEsistente").arg(QDir::toNativeSeparators(path)), true);
        return;
    }

    KeyRequest request;
    request.type = TipoChiave->currentData().toString().toStdString();
    request.bits = Bit->currentData().toInt();
    request.comment = Commento->text().toStdString();
    request.passphrase = Passphrase->text().toStdString();
    request.outputFile = QDir::toNativeSeparators(path).toStdString();
    ChiavePubblica->clear();
    Copia->setEnabled(false);
    showOutcome(message("GenerazioneInCorso"), false);
    Esito->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const KeyResult result = m_generator(m_puttygenPath.toStdString(), request);
    QApplication::restoreOverrideCursor();
    wipe(request.passphrase);

    if (!result.ok) {
        showOutcome(message("GenerazioneNonRiuscita").arg(QString::fromStdString(result.error)), true);
        return;
    }
    Passphrase->clear();
    RipetiPassphrase->clear();
    FileChiave->setText(QDir::toNativeSeparators(path));
    ChiavePubblica->setPlainText(QString::fromStdString(result.publicKeyLine));
    Copia->setEnabled(true);
    m_lastSaved = path;
    showOutcome(message("ChiaveSalvata").arg(QDir::toNativeSeparators(path)), false);
}

void TKeyGenerator::hideEvent(QHideEvent* event) {
    // The next opening must not find the last passphrase still typed in.
    Passphrase->clear();
    RipetiPassphrase->clear();
    QDialog::hideEvent(event);
}

void TKeyGenerator::CopiaClick() {
    QApplication::clipboard()->setText(ChiavePubblica->toPlainText());
    showOutcome(message("ChiaveCopiata"), false);
}

} // namespace quorvane
