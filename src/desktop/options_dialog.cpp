// The options dialog.
#include "desktop/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane {

QString languageDisplayName(const std::string& fileName) {
    QString name = QString::fromStdString(fileName.substr(0, fileName.rfind('.')));
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

TOptions::TOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Opzioni"));
    auto make = [this](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    MostraComando =
        make(new QCheckBox(QStringLiteral("&Mostra la riga di comando prima di connettere"), this), "MostraComando");
    AvvioNascosto = make(new QCheckBox(QStringLiteral("&Avvia nascosto nell'area di notifica"), this), "AvvioNascosto");
    Notifiche = make(new QCheckBox(QStringLiteral("Mostra le &notifiche dei tunnell"), this), "Notifiche");
    ModificaDopoAggiunta = make(new QCheckBox(QStringLiteral("Apri l'&editor di un tunnell appena aggiunto"), this),
                                "ModificaDopoAggiunta");
    IconaSempre = make(new QCheckBox(QStringLiteral("&Icona sempre nell'area di notifica"), this), "IconaSempre");
    AvvioAccesso = make(new QCheckBox(QStringLiteral("Avvia all'a&ccesso"), this), "AvvioAccesso");
    LabelLingua = make(new QLabel(QStringLiteral("&Lingua"), this), "LabelLingua");
    Lingua = make(new QComboBox(this), "Lingua");
    LabelLingua->setBuddy(Lingua);
    OKBtn = make(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
    OKBtn->setDefault(true);
    AnnullaBtn = make(new QPushButton(QStringLiteral("Annulla"), this), "AnnullaBtn");
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AnnullaBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* language = new QHBoxLayout;
    language->addWidget(LabelLingua);
    language->addWidget(Lingua, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(AnnullaBtn);
    auto* page = new QVBoxLayout(this);
    page->addWidget(MostraComando);
    page->addWidget(AvvioNascosto);
    page->addWidget(Notifiche);
    page->addWidget(ModificaDopoAggiunta);
    page->addWidget(IconaSempre);
    page->addWidget(AvvioAccesso);
    page->addSpacing(8);
    page->addLayout(language);
    page->addStretch();
    page->addLayout(buttons);
    page->setSizeConstraint(QLayout::SetFixedSize);
}

void TOptions::setSettings(const ProgramSettings& settings, const std::vector<std::string>& languages) {
    m_loaded = settings;
    MostraComando->setChecked(settings.showCommandLine);
    AvvioNascosto->setChecked(settings.startHidden);
    Notifiche->setChecked(settings.notifications);
    ModificaDopoAggiunta->setChecked(settings.editAfterAdd);
    IconaSempre->setChecked(settings.trayIconAlways);
    AvvioAccesso->setChecked(settings.startAtLogin);
    Lingua->clear();
    for (const std::string& file : languages)
        Lingua->addItem(languageDisplayName(file), QString::fromStdString(file));
    Lingua->setCurrentIndex(Lingua->findData(QString::fromStdString(settings.language)));
    MostraComando->setFocus();
}

ProgramSettings TOptions::settings() const {
    ProgramSettings result = m_loaded;
    result.showCommandLine = MostraComando->isChecked();
    result.startHidden = AvvioNascosto->isChecked();
    result.notifications = Notifiche->isChecked();
    result.editAfterAdd = ModificaDopoAggiunta->isChecked();
    result.trayIconAlways = IconaSempre->isChecked();
    result.startAtLogin = AvvioAccesso->isChecked();
    if (Lingua->currentIndex() >= 0)
        result.language = Lingua->currentData().toString().toStdString();
    return result;
}

} // namespace quorvane
