// The tunnel editor dialog: seven key-bound fields, the auto-connect switch and run-long settings.
#include "app/tunnel_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/field_problem_text.h"
#include "desktop/dialog_service.h"
#include "desktop/plain_text.h"
#include "i18n/builtin_texts.h"
#include "process/command_line.h"
#include "store/ini_file.h"

namespace quorvane {

namespace {

// A port field: typing stops at the limit, but a longer value set by code is shown whole and can be
// shortened, never lengthened (the limit follows the text down to the typing limit).
class PortEdit : public QLineEdit {
public:
    PortEdit(int limit, QWidget* parent) : QLineEdit(parent), m_limit(limit) {
        setMaxLength(limit);
        connect(this, &QLineEdit::textChanged, this,
                [this](const QString& text) { setMaxLength(qMax(m_limit, int(text.size()))); });
    }

    void setWholeText(const QString& text) {
        setMaxLength(qMax(m_limit, int(text.size())));
        setText(text);
    }

private:
    int m_limit;
};

void setFieldText(QLineEdit* edit, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (auto* portEdit = dynamic_cast<PortEdit*>(edit))
        portEdit->setWholeText(value);
    else
        edit->setText(value);
}

// The password shows one '*' per character, whatever the platform style's own mask.
class AsteriskPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Edit fields are light green.
void paintAsField(QWidget* field) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QColor(192, 220, 192));
    field->setPalette(palette);
}

// A cell of the forwards table is typed in a field like the others.
class FieldEditorDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor)
            paintAsField(editor);
        return editor;
    }
};

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // No longer than the definition file gives back, so what is saved is what comes back.
    edit->setMaxLength(static_cast<int>(IniFile::kValueBufferChars) - 1);
    return edit;
}

QLineEdit* makePortEdit(QWidget* parent, const char* name) {
    auto* edit = new PortEdit(5, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Wide enough to show the text whole: a hint cut to its last words says nothing.
void fitWidthTo(QLineEdit* edit, const QString& text) {
    edit->ensurePolished();
    const int frame = 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins margins = edit->textMargins() + edit->contentsMargins();
    // Past the frame: the edit's own inner margins, and room for the cursor after the last character.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(text) + frame + margins.left() + margins.right() + 12);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QToolButton* makePictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap picture) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(picture));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus); // reached by Tab; a click leaves the focus in the field it fills
    return button;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& caption) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

// Labels and titles that name a field in messages: the command line names it with the same built-in caption.
QString fieldCaption(const char* name) {
    const std::string_view caption = builtInCaption(name);
    return QString::fromUtf8(caption.data(), qsizetype(caption.size()));
}

QLabel* makeFieldLabel(QWidget* parent, const char* name) {
    return makeLabel(parent, name, fieldCaption(name));
}

QGroupBox* makeFieldGroup(QWidget* parent, const char* name) {
    return makeGroup(parent, name, fieldCaption(name));
}

} // namespace

TShowTunn::TShowTunn(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ShowTunn"));
    setWindowTitle(QStringLiteral("ShowTunn"));
    // Fixed border, title bar without system menu and so without a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    buildControls();
    // A palette, not a style sheet: a sheet puts a style of its own behind every control of the window, which
    // alone cost the running program most of a megabyte.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        paintAsField(edit);
    for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>())
        paintAsField(box);
    inoltri->setItemDelegate(new FieldEditorDelegate(inoltri));
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TShowTunn::buildControls() {
    serversshtitle = makeFieldGroup(this, "serversshtitle");
    ipaddress = makeFieldLabel(serversshtitle, "ipaddress");
    mxflatmaskedit1 = makeEdit(serversshtitle, "mxflatmaskedit1");
    port = makeFieldLabel(serversshtitle, "port");
    mxflatmaskedit2 = makePortEdit(serversshtitle, "mxflatmaskedit2");
    auto* serverLayout = new QGridLayout(serversshtitle);
    serverLayout->addWidget(ipaddress, 0, 0);
    serverLayout->addWidget(mxflatmaskedit1, 0, 1);
    serverLayout->addWidget(port, 1, 0);
    serverLayout->addWidget(mxflatmaskedit2, 1, 1, Qt::AlignLeft);
    // The key the user trusted at first contact: shown, never typed, and forgotten on request.
    hostkeytitle = makeLabel(serversshtitle, "hostkeytitle", QStringLiteral("Chiave host"));
    hostkey = makeEdit(serversshtitle, "hostkey");
    hostkey->setReadOnly(true);
    // A fingerprint of the usual length (SHA-256 in base64) shows whole.
    fitWidthTo(hostkey, QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU"));
    forgethostkey = new QPushButton(QStringLiteral("Dimentica"), serversshtitle);
    forgethostkey->setObjectName(QStringLiteral("forgethostkey"));
    forgethostkey->setAutoDefault(false);
    connect(forgethostkey, &QPushButton::clicked, hostkey, &QLineEdit::clear);
    serverLayout->addWidget(hostkeytitle, 2, 0);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(hostkey, 1);
    keyRow->addWidget(forgethostkey);
    serverLayout->addLayout(keyRow, 2, 1);
    // Another tunnel's server on the way to this one's (a jump host).
    passapertitle = makeLabel(serversshtitle, "passapertitle", QStringLiteral("Passa per"));
    passaper = new QComboBox(serversshtitle);
    passaper->setObjectName(QStringLiteral("passaper"));
    passaper->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    passaper->setMinimumContentsLength(16);
    passapertitle->setBuddy(passaper);
    serverLayout->addWidget(passapertitle, 3, 0);
    serverLayout->addWidget(passaper, 3, 1);

    authserverssshtitle = makeGroup(this, "authserverssshtitle", QStringLiteral("Autenticazione Server SSH"));
    useraccount = makeFieldLabel(authserverssshtitle, "useraccount");
    mxflatedit1 = makeEdit(authserverssshtitle, "mxflatedit1");
    password = makeFieldLabel(authserverssshtitle, "password");
    mxflatedit2 = makeEdit(authserverssshtitle, "mxflatedit2");
    auto* asterisks = new AsteriskPasswordStyle;
    asterisks->setParent(mxflatedit2);
    mxflatedit2->setStyle(asterisks);
    mxflatedit2->setEchoMode(QLineEdit::Password);
    Label1 = makeFieldLabel(authserverssshtitle, "Label1");
    Edit1 = makeEdit(authserverssshtitle, "Edit1");
    SpeedButton1 = makePictureButton(authserverssshtitle, "SpeedButton1", QStyle::SP_DirOpenIcon);
    // A hidden client cannot type a passphrase: say so where the key is chosen.
    keyhint = makeLabel(authserverssshtitle, "keyhint",
                        QStringLiteral("Chiave senza passphrase, o già caricata nell'agente"));
    QFont small = keyhint->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    keyhint->setFont(small);
    connect(SpeedButton1, &QToolButton::clicked, this, &TShowTunn::SpeedButton1Click);
    generachiave = new QPushButton(QStringLiteral("Genera..."), authserverssshtitle);
    generachiave->setObjectName(QStringLiteral("generachiave"));
    generachiave->setAutoDefault(false);
    connect(generachiave, &QPushButton::clicked, this, [this] {
        if (!generateKeyIn)
            return;
        if (const QString made = generateKeyIn(tunnelFolder); !made.isEmpty())
            setKeyFile(made);
    });
    auto* authLayout = new QGridLayout(authserverssshtitle);
    authLayout->addWidget(useraccount, 0, 0);
    authLayout->addWidget(mxflatedit1, 0, 1, 1, 2);
    authLayout->addWidget(password, 1, 0);
    authLayout->addWidget(mxflatedit2, 1, 1, 1, 2);
    authLayout->addWidget(Label1, 2, 0);
    authLayout->addWidget(Edit1, 2, 1);
    authLayout->addWidget(SpeedButton1, 2, 2);
    authLayout->addWidget(keyhint, 3, 1);
    authLayout->addWidget(generachiave, 3, 2);

    tunnellsshtitle = makeGroup(this, "tunnellsshtitle", QStringLiteral("Dati connessione SSH"));
    Localport = makeFieldLabel(tunnellsshtitle, "Localport");
    mxflatmaskedit5 = makePortEdit(tunnellsshtitle, "mxflatmaskedit5");
    ipservice = makeFieldLabel(tunnellsshtitle, "ipservice");
    mxflatmaskedit3 = makeEdit(tunnellsshtitle, "mxflatmaskedit3");
    portservice = makeFieldLabel(tunnellsshtitle, "portservice");
    mxflatmaskedit4 = makePortEdit(tunnellsshtitle, "mxflatmaskedit4");
    RadioButton1 = new QRadioButton(QStringLiteral("Local to remote"), tunnellsshtitle);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("Remote to local"), tunnellsshtitle);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton3 = new QRadioButton(QStringLiteral("SOCKS"), tunnellsshtitle);
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    // A SOCKS proxy is told where to go by each connection: the service fields have nothing to say.
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool dynamic) {
        mxflatmaskedit3->setEnabled(!dynamic);
        mxflatmaskedit4->setEnabled(!dynamic);
    });
    debug = new QCheckBox(QStringLiteral("SSH - Attiva finestra di Debug"), tunnellsshtitle);
    debug->setObjectName(QStringLiteral("debug"));
    auto* tunnelLayout = new QGridLayout(tunnellsshtitle);
    tunnelLayout->addWidget(Localport, 0, 0);
    tunnelLayout->addWidget(mxflatmaskedit5, 0, 1);
    tunnelLayout->addWidget(ipservice, 1, 0);
    tunnelLayout->addWidget(mxflatmaskedit3, 1, 1);
    tunnelLayout->addWidget(portservice, 2, 0);
    tunnelLayout->addWidget(mxflatmaskedit4, 2, 1);
    auto* directions = new QHBoxLayout;
    directions->addWidget(RadioButton1);
    directions->addWidget(RadioButton2);
    directions->addWidget(RadioButton3);
    directions->addStretch();
    tunnelLayout->addLayout(directions, 3, 0, 1, 2);
    tunnelLayout->addWidget(debug, 4, 0, 1, 2);

    autoconnecttitle = makeGroup(this, "autoconnecttitle", QStringLiteral("Connessione"));
    autoconnect = new QCheckBox(QStringLiteral("Connetti all'avvio"), autoconnecttitle);
    autoconnect->setObjectName(QStringLiteral("autoconnect"));
    CheckBox1 = new QCheckBox(QStringLiteral("Utilizza la seguente connessione di accesso remoto"), autoconnecttitle);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Edit4 = makeEdit(autoconnecttitle, "Edit4");
    SpeedButton4 = makePictureButton(autoconnecttitle, "SpeedButton4", QStyle::SP_FileDialogListView);
    connect(SpeedButton4, &QToolButton::clicked, this, &TShowTunn::SpeedButton4Click);
    auto* connectionLayout = new QGridLayout(autoconnecttitle);
    reconnect = new QCheckBox(QStringLiteral("Riconnetti se cade"), autoconnecttitle);
    reconnect->setObjectName(QStringLiteral("reconnect"));
    // How often the server is asked whether it still answers; 0 never.
    sondatitle = makeLabel(autoconnecttitle, "sondatitle", QStringLiteral("Controlla il server ogni (s, 0 = mai)"));
    sonda = new QSpinBox(autoconnecttitle);
    sonda->setObjectName(QStringLiteral("sonda"));
    sonda->setRange(0, kMaxProbeSeconds);
    sondatitle->setBuddy(sonda);
    connectionLayout->addWidget(autoconnect, 0, 0, 1, 2);
    connectionLayout->addWidget(reconnect, 1, 0, 1, 2);
    connectionLayout->addWidget(sondatitle, 2, 0);
    connectionLayout->addWidget(sonda, 2, 1);
    connectionLayout->addWidget(CheckBox1, 3, 0, 1, 2);
    connectionLayout->addWidget(Edit4, 4, 0);
    connectionLayout->addWidget(SpeedButton4, 4, 1);
    connectionLayout->setRowStretch(5, 1);

    // Forwards besides the main one, all through the same connection.
    GroupBox2 = makeFieldGroup(this, "GroupBox2");
    inoltri = new QTableWidget(0, 4, GroupBox2);
    inoltri->setObjectName(QStringLiteral("inoltri"));
    inoltri->horizontalHeader()->setStretchLastSection(true);
    inoltri->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    inoltri->verticalHeader()->hide();
    // Tab leaves the table for the next control (the arrows go from cell to cell); while a cell is
    // typed in, Tab still goes on to the next one.
    inoltri->setTabKeyNavigation(false);
    inoltri->setFixedHeight(inoltri->horizontalHeader()->sizeHint().height() +
                            3 * inoltri->verticalHeader()->defaultSectionSize() + 4);
    setForwardHeaders({QStringLiteral("Tipo (L, R, D)"), QStringLiteral("Porta locale"), QStringLiteral("Indirizzo"),
                       QStringLiteral("Porta")},
                      {dialogText(QStringLiteral("ColonnaPortaLocaleL")),
                       dialogText(QStringLiteral("ColonnaPortaLocaleR")),
                       dialogText(QStringLiteral("ColonnaPortaLocaleD"))});
    // The local port means another thing for each kind: its tooltip follows the row's kind.
    connect(inoltri, &QTableWidget::itemChanged, this, [this](const QTableWidgetItem* item) {
        if (item->column() == 0)
            showLocalPortTip(item->row());
    });
    aggiungiinoltro = new QPushButton(QStringLiteral("Aggiungi"), GroupBox2);
    aggiungiinoltro->setObjectName(QStringLiteral("aggiungiinoltro"));
    rimuoviinoltro = new QPushButton(QStringLiteral("Rimuovi"), GroupBox2);
    rimuoviinoltro->setObjectName(QStringLiteral("rimuoviinoltro"));
    for (QPushButton* button : {aggiungiinoltro, rimuoviinoltro})
        button->setAutoDefault(false);
    connect(aggiungiinoltro, &QPushButton::clicked, this, [this] {
        const int row = inoltri->rowCount();
        inoltri->insertRow(row);
        inoltri->setItem(row, 0, new QTableWidgetItem(QStringLiteral("L")));
        for (int column = 1; column < 4; ++column)
            inoltri->setItem(row, column, new QTableWidgetItem);
        showLocalPortTip(row);
        // Typing goes on in the new row: the button keeps no focus that Tab would pass to another field.
        inoltri->setFocus();
        inoltri->setCurrentCell(row, 1);
        inoltri->editItem(inoltri->item(row, 1));
    });
    connect(rimuoviinoltro, &QPushButton::clicked, this, [this] {
        if (inoltri->currentRow() >= 0)
            inoltri->removeRow(inoltri->currentRow());
    });
    auto* forwardButtons = new QVBoxLayout;
    forwardButtons->addWidget(aggiungiinoltro);
    forwardButtons->addWidget(rimuoviinoltro);
    forwardButtons->addStretch();
    auto* forwardLayout = new QHBoxLayout(GroupBox2);
    forwardLayout->addWidget(inoltri, 1);
    forwardLayout->addLayout(forwardButtons);

    GroupBox1 = makeGroup(this, "GroupBox1", QStringLiteral("Esegui applicazioni prima e dopo"));
    prima = makeLabel(GroupBox1, "prima", QStringLiteral("Prima"));
    Edit2 = makeEdit(GroupBox1, "Edit2");
    SpeedButton2 = makePictureButton(GroupBox1, "SpeedButton2", QStyle::SP_DirOpenIcon);
    dopo = makeLabel(GroupBox1, "dopo", QStringLiteral("Dopo"));
    Edit3 = makeEdit(GroupBox1, "Edit3");
    SpeedButton3 = makePictureButton(GroupBox1, "SpeedButton3", QStyle::SP_DirOpenIcon);
    approva = new QCheckBox(QStringLiteral("Approva i programmi (saranno eseguiti a ogni connessione)"), GroupBox1);
    approva->setObjectName(QStringLiteral("approva"));
    approva->hide();
    connect(Edit2, &QLineEdit::textEdited, this, [this] { programEditedByUser(ProgramSlot::Before); });
    connect(Edit3, &QLineEdit::textEdited, this, [this] { programEditedByUser(ProgramSlot::After); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { pickProgram(Edit2); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { pickProgram(Edit3); });
    auto* runLayout = new QGridLayout(GroupBox1);
    runLayout->addWidget(prima, 0, 0);
    runLayout->addWidget(Edit2, 0, 1);
    runLayout->addWidget(SpeedButton2, 0, 2);
    runLayout->addWidget(dopo, 1, 0);
    runLayout->addWidget(Edit3, 1, 1);
    runLayout->addWidget(SpeedButton3, 1, 2);
    runLayout->addWidget(approva, 2, 1, 1, 2);

    GroupBox3 = makeGroup(this, "GroupBox3", QStringLiteral("Apri una volta connesso"));
    apri = makeLabel(GroupBox3, "apri", QStringLiteral("Apri"));
    Edit5 = makeEdit(GroupBox3, "Edit5");
    apri->setBuddy(Edit5);
    aprihint = makeLabel(GroupBox3, "aprihint",
                         QStringLiteral("Un indirizzo http:// o https://, oppure un programma con i suoi argomenti; "
                                        "{porta} diventa la porta locale (es. http://127.0.0.1:{porta}/)"));
    aprihint->setWordWrap(true);
    aprihint->setFont(keyhint->font());
    apriallaconnessione = new QCheckBox(QStringLiteral("Apri appena il tunnell si connette"), GroupBox3);
    apriallaconnessione->setObjectName(QStringLiteral("apriallaconnessione"));
    connect(Edit5, &QLineEdit::textEdited, this, [this] { m_openEdited = true; });
    // Two lines: the editor is already as tall as a small screen allows.
    auto* openLayout = new QGridLayout(GroupBox3);
    openLayout->addWidget(apri, 0, 0);
    openLayout->addWidget(Edit5, 0, 1);
    openLayout->addWidget(apriallaconnessione, 0, 2);
    openLayout->addWidget(aprihint, 1, 1, 1, 2);
    openLayout->setColumnStretch(1, 1);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("&Annulla"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    // Neither is the default or the cancel button: Enter presses only the focused one, Esc neither.
    for (QPushButton* button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(Button1, &QPushButton::clicked, this, &TShowTunn::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    using D = TunnelDefinition;
    m_textFields = {{mxflatmaskedit1, &D::IpServer},     {mxflatmaskedit2, &D::PortaServer},
                    {mxflatedit1, &D::Username},         {mxflatedit2, &D::Password},
                    {mxflatmaskedit5, &D::PortaLocale},  {mxflatmaskedit3, &D::IpServizio},
                    {mxflatmaskedit4, &D::PortaServizio}};
    for (const TextField& field : m_textFields) {
        if (const std::string_view hint = placeholderOf(field.value); !hint.empty())
            fitWidthTo(field.edit, fromView(hint));
        // Typed in, the field holds what the user leaves there, even nothing.
        connect(field.edit, &QLineEdit::textEdited, field.edit, [edit = field.edit] { edit->setPlaceholderText({}); });
    }

    auto* columns = new QGridLayout;
    columns->addWidget(serversshtitle, 0, 0);
    columns->addWidget(authserverssshtitle, 0, 1);
    columns->addWidget(tunnellsshtitle, 1, 0);
    columns->addWidget(autoconnecttitle, 1, 1);
    columns->setColumnMinimumWidth(0, 280);
    columns->setColumnMinimumWidth(1, 280);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* page = new QVBoxLayout(this);
    page->addLayout(columns);
    page->addWidget(GroupBox2);
    page->addWidget(GroupBox1);
    page->addWidget(GroupBox3);
    page->addLayout(buttons);

    // Focus: the groups in reading order (each field before its picture button; in "Connessione" the
    // automatic connect, the dial-up entry, then its box), the other forwards, the buttons, then the
    // run-before-and-after group and what to open once connected.
    const QList<QWidget*> order = {
        mxflatmaskedit1, mxflatmaskedit2, hostkey,         forgethostkey, passaper,
        mxflatedit1,     mxflatedit2,     Edit1,           SpeedButton1,  generachiave,
        mxflatmaskedit5, mxflatmaskedit3, mxflatmaskedit4, RadioButton1,  RadioButton2,
        RadioButton3,    debug,           autoconnect,     reconnect,     sonda,
        Edit4,           SpeedButton4,    CheckBox1,       inoltri,       aggiungiinoltro,
        rimuoviinoltro,  Button1,         Button2,         Edit2,         SpeedButton2,
        Edit3,           SpeedButton3,    approva,         Edit5,         apriallaconnessione};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TShowTunn::SpeedButton4Click() {
    if (!pickDialUpEntry)
        return;
    if (const std::optional<QString> name = pickDialUpEntry())
        Edit4->setText(*name);
}

void TShowTunn::setDefinition(const TunnelDefinition& definition) {
    for (const TextField& field : m_textFields) {
        const std::string& value = definition.*field.value;
        const std::string_view hint = placeholderOf(field.value);
        const bool untouched = !hint.empty() && value == hint;
        field.edit->setPlaceholderText(untouched ? fromView(hint) : QString());
        setFieldText(field.edit, untouched ? std::string() : value);
    }
    autoconnect->setChecked(definition.AutoConnessione);
    setFieldText(Edit1, definition.FileChiave);
    (definition.Direzione == kForwardRemote    ? RadioButton2
     : definition.Direzione == kForwardDynamic ? RadioButton3
                                               : RadioButton1)
        ->setChecked(true);
    debug->setChecked(definition.Debug);
    inoltri->setRowCount(0);
    for (const ExtraForward& forward : definition.Inoltri) {
        const int row = inoltri->rowCount();
        inoltri->insertRow(row);
        const QString kind = QString(QLatin1Char(forwardKindLetter(forward.kind)));
        const QString texts[] = {kind, QString::fromStdString(forward.localPort),
                                 QString::fromStdString(forward.address), QString::fromStdString(forward.port)};
        for (int column = 0; column < 4; ++column)
            inoltri->setItem(row, column, new QTableWidgetItem(texts[column]));
        showLocalPortTip(row);
    }
    // An entry that is no forward is shown as the file holds it, to be mended: OK refuses it until it is.
    for (const std::string& entry : definition.InoltriIllegibili) {
        const int row = inoltri->rowCount();
        inoltri->insertRow(row);
        const QStringList parts = QString::fromStdString(entry).split(QLatin1Char(','));
        for (int column = 0; column < 4; ++column) {
            const QString text = column < 3 ? parts.value(column) : parts.mid(3).join(QLatin1Char(','));
            inoltri->setItem(row, column, new QTableWidgetItem(text));
        }
        showLocalPortTip(row);
    }
    setFieldText(Edit2, definition.Prima);
    setFieldText(Edit3, definition.Dopo);
    // A name no longer listed stays chosen, as the file holds it: connect says what is wrong with it.
    const QString jump = QString::fromStdString(definition.PassaPer);
    int jumpIndex = passaper->findData(jump);
    if (jumpIndex < 0) {
        passaper->addItem(jump, jump);
        jumpIndex = passaper->count() - 1;
    }
    passaper->setCurrentIndex(jumpIndex);
    hostkey->setText(QString::fromStdString(definition.HostKey));
    hostkey->setToolTip(plainToolTip(hostkey->text()));
    hostkey->setCursorPosition(0);
    reconnect->setChecked(definition.Riconnessione);
    sonda->setValue(definition.Sonda);
    setFieldText(Edit5, definition.Apri);
    apriallaconnessione->setChecked(definition.ApriAllaConnessione);
    m_openEdited = false;
}

TunnelDefinition TShowTunn::definition() const {
    TunnelDefinition definition;
    for (const TextField& field : m_textFields) {
        // Empty and never typed in, the field still holds the new tunnel's text it hints.
        const bool untouched = field.edit->text().isEmpty() && !field.edit->placeholderText().isEmpty();
        definition.*field.value =
            untouched ? std::string(placeholderOf(field.value)) : field.edit->text().toStdString();
    }
    definition.AutoConnessione = autoconnect->isChecked();
    definition.FileChiave = Edit1->text().toStdString();
    definition.Direzione = RadioButton2->isChecked()   ? kForwardRemote
                           : RadioButton3->isChecked() ? kForwardDynamic
                                                       : kForwardLocal;
    definition.Debug = debug->isChecked();
    for (int row = 0; row < inoltri->rowCount(); ++row) {
        const auto cell = [&](int column) {
            const QTableWidgetItem* item = inoltri->item(row, column);
            return item ? item->text().trimmed() : QString();
        };
        const QString letter = cell(0);
        const std::optional<int> kind = letter.size() == 1 ? forwardKindOf(letter[0].toLatin1()) : std::nullopt;
        if (!kind) {
            // Not a forward: kept as typed, so that OK names the entry it refuses.
            QStringList parts;
            for (int column = 0; column < 4; ++column)
                parts << cell(column);
            definition.InoltriIllegibili.push_back(parts.join(QLatin1Char(',')).toStdString());
            continue;
        }
        ExtraForward forward;
        forward.kind = *kind;
        forward.localPort = cell(1).toStdString();
        forward.address = cell(2).toStdString();
        forward.port = cell(3).toStdString();
        definition.Inoltri.push_back(forward);
    }
    definition.Prima = Edit2->text().toStdString();
    definition.Dopo = Edit3->text().toStdString();
    definition.HostKey = hostkey->text().toStdString();
    definition.Riconnessione = reconnect->isChecked();
    definition.Sonda = sonda->value();
    definition.PassaPer = passaper->currentData().toString().toStdString();
    definition.Apri = Edit5->text().toStdString();
    definition.ApriAllaConnessione = apriallaconnessione->isChecked();
    return definition;
}

void TShowTunn::SpeedButton1Click() {
    // Made on first use: a file dialog holds over a megabyte that most sessions never need.
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        OpenDialog1->setFileMode(QFileDialog::ExistingFile);
        OpenDialog1->setWindowTitle(Label1->text());
        OpenDialog1->setNameFilters({QStringLiteral("PuTTY (*.ppk)"), QStringLiteral("* (*)")});
        // Its title and filters as made, unless the language file says otherwise.
        if (componentMade)
            componentMade(OpenDialog1);
    }
    OpenDialog1->setDirectory(tunnelFolder.isEmpty() ? QDir::homePath() : tunnelFolder);
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    setKeyFile(OpenDialog1->selectedFiles().first());
}

void TShowTunn::setKeyFile(const QString& chosen) {
    // A key inside the tunnel's folder is named from there, so the portable folder can move.
    const QString relative = QDir(tunnelFolder).relativeFilePath(chosen);
    const bool inside =
        !tunnelFolder.isEmpty() && !relative.startsWith(QStringLiteral("..")) && !QDir::isAbsolutePath(relative);
    Edit1->setText(inside ? relative : QDir::toNativeSeparators(chosen));
}

void TShowTunn::pickProgram(QLineEdit* field) {
    const QString chosen = QFileDialog::getOpenFileName(this, field == Edit2 ? prima->text() : dopo->text(),
                                                        tunnelFolder.isEmpty() ? QDir::homePath() : tunnelFolder);
    // Quoted, so a path with blanks stays one program when the line is split.
    if (!chosen.isEmpty()) {
        field->setText(QString::fromStdString(quoteWindowsArgument(QDir::toNativeSeparators(chosen).toStdString())));
        programEditedByUser(field == Edit2 ? ProgramSlot::Before : ProgramSlot::After);
    }
}

void TShowTunn::setForwardHeaders(const QStringList& titles, const QStringList& localPortTips) {
    inoltri->setHorizontalHeaderLabels(titles);
    m_localPortTips = localPortTips;
    if (QTableWidgetItem* localPort = inoltri->horizontalHeaderItem(1))
        localPort->setToolTip(plainToolTip(localPortTips.join(QLatin1Char('\n'))));
    for (int row = 0; row < inoltri->rowCount(); ++row)
        showLocalPortTip(row);
}

void TShowTunn::showLocalPortTip(int row) {
    QTableWidgetItem* port = inoltri->item(row, 1);
    if (!port)
        return;
    const QTableWidgetItem* kindCell = inoltri->item(row, 0);
    const QString letter = kindCell ? kindCell->text().trimmed() : QString();
    const std::optional<int> kind = letter.size() == 1 ? forwardKindOf(letter[0].toLatin1()) : std::nullopt;
    // An unknown kind is refused on OK; meanwhile the row tells all three.
    const QString tip = kind ? m_localPortTips.value(*kind) : m_localPortTips.join(QLatin1Char('\n'));
    port->setToolTip(plainToolTip(tip));
}

void TShowTunn::setJumpChoices(const QStringList& tunnels, const QString& direct, const QString& hint) {
    passaper->clear();
    passaper->addItem(direct, QString());
    for (const QString& tunnel : tunnels)
        passaper->addItem(tunnel, tunnel);
    passaper->setToolTip(plainToolTip(hint));
}

void TShowTunn::setProgramsApproved(bool before, bool after) {
    m_approved[0] = before;
    m_approved[1] = after;
    m_edited[0] = m_edited[1] = false;
    approva->setChecked(false);
    showApprovalBox();
}

void TShowTunn::programEditedByUser(ProgramSlot slot) {
    m_edited[slot == ProgramSlot::Before ? 0 : 1] = true;
    showApprovalBox();
}

void TShowTunn::showApprovalBox() {
    // Only for what came with the file and the user has not touched.
    approva->setHidden((m_approved[0] || m_edited[0]) && (m_approved[1] || m_edited[1]));
}

bool TShowTunn::approves(ProgramSlot slot) const {
    if (slot == ProgramSlot::Open)
        return m_openEdited;
    const int index = slot == ProgramSlot::Before ? 0 : 1;
    return m_edited[index] || (!m_approved[index] && approva->isChecked());
}

void TShowTunn::Button1Click() {
    // What connect would refuse is refused here already, on the field, before it is saved.
    if (const std::optional<FieldProblem> problem = checkConnectFields(definition())) {
        if (messages)
            dialogs().showMessage(fieldProblemText(*problem, *this, *messages));
        if (QLineEdit* edit = fieldEdit(problem->field, *this)) {
            edit->setFocus();
            edit->selectAll();
        }
        return;
    }
    accept();
}

void TShowTunn::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept(); // no cancel button: Esc closes nothing
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace quorvane
