// The RAS manager window: entry list, once-a-second watch of the first dial-up connection, entry picker.
#include "desktop/ras_manager_window.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quorvane {

namespace {

constexpr int kStateConnected = 8192;
constexpr int kStateDisconnected = 8193;

// Names and texts from the dial-up library are in the system's code page.
QString fromSystem(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TFormRAS::TFormRAS(RasApi& api, QWidget* parent) : QDialog(parent), RasCon(api) {
    setObjectName(QStringLiteral("FormRAS"));
    setWindowTitle(QStringLiteral("RAS Manager"));

    Label1 = named(new QLabel(QStringLiteral("Connessione:"), this), "Label1");
    LabelConn = named(new QLabel(QStringLiteral("LabelConn"), this), "LabelConn");
    Label2 = named(new QLabel(QStringLiteral("Stato:"), this), "Label2");
    LabelStat = named(new QLabel(QStringLiteral("LabelStat"), this), "LabelStat");
    LabelOnline = named(new QLabel(QStringLiteral("Offline"), this), "LabelOnline");
    QFont onlineFont(QStringLiteral("Arial"));
    onlineFont.setPixelSize(16);
    onlineFont.setBold(true);
    LabelOnline->setFont(onlineFont);
    QPalette onlinePalette = LabelOnline->palette();
    onlinePalette.setColor(QPalette::WindowText, Qt::red);
    LabelOnline->setPalette(onlinePalette);

    ConnLog = named(new QPlainTextEdit(this), "ConnLog");
    ConnLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ConnLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Label3 = named(new QLabel(QStringLiteral("Connessioni di accesso remoto"), this), "Label3");
    ConnList = named(new QListWidget(this), "ConnList");
    ConnList->setSelectionMode(QAbstractItemView::SingleSelection);

    doDial = named(new QPushButton(QStringLiteral("Connetti"), this), "doDial");
    doHangup = named(new QPushButton(QStringLiteral("Disconnetti"), this), "doHangup");
    doDial->hide();
    doHangup->hide();
    Button1 = named(new QPushButton(QStringLiteral("Ok"), this), "Button1");
    doExit = named(new QPushButton(QStringLiteral("Annulla"), this), "doExit");
    // Neither button answers Enter unless it has the focus.
    Button1->setAutoDefault(false);
    doExit->setAutoDefault(false);

    auto* status = new QGridLayout;
    status->addWidget(Label1, 0, 0);
    status->addWidget(LabelConn, 0, 1);
    status->addWidget(Label2, 1, 0);
    status->addWidget(LabelStat, 1, 1);
    status->addWidget(LabelOnline, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    status->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(doDial);
    buttons->addWidget(doHangup);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(doExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(status);
    layout->addWidget(ConnLog, 1);
    layout->addWidget(Label3);
    layout->addWidget(ConnList, 1);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(doExit, &QPushButton::clicked, this, &TFormRAS::doExitClick);

    RasCon.OnStateChanged = [this](TRasConnection&) { RasConStateChanged(); };

    TimerStatus = new QTimer(this);
    TimerStatus->setObjectName(QStringLiteral("TimerStatus"));
    TimerStatus->setInterval(1000);
    TimerStatus->setTimerType(Qt::VeryCoarseTimer); // on the whole second, with the program's other timers
    connect(TimerStatus, &QTimer::timeout, this, &TFormRAS::TimerStatusTimer);
    TimerStatus->start();

    FormCreate();
}

void TFormRAS::FormCreate() {
    LastStateCode = 0;
    LabelConn->clear();
    LabelStat->clear();
    ConnLog->clear();
    if (!RasCon.RasAvailable()) {
        // The timer keeps running: without the library every tick finds no connection.
        ConnLog->appendPlainText(QStringLiteral("Accesso remoto non è installato!"));
        return;
    }
    RasCon.ReadEntryNames();
    for (const std::string& name : RasCon.EntryNames())
        ConnList->addItem(fromSystem(name));
    TimerStatusTimer();
    TimerStatus->start();
}

void TFormRAS::TimerStatusTimer() {
    RasCon.RefreshConnections();
    const TConnectionList& connections = RasCon.Connections();
    if (connections.Count() > 0) {
        // Only the first connection is watched.
        if (RasCon.ConnectionsChanged()) {
            CurrentHandle = connections.Handle(0);
            CurrentConnName = fromSystem(connections.EntryName(0));
            LabelConn->setText(CurrentConnName);
            if (!CurrentConnName.isEmpty())
                ConnLog->appendPlainText(QStringLiteral("Trovata nuova connessione: ") + CurrentConnName);
        }
        RasCon.PollStatus(CurrentHandle, 0);
    } else if (CurrentHandle != 0) {
        CurrentHandle = 0;
        LabelStat->clear();
        LabelOnline->setText(QStringLiteral("Offline"));
        ConnLog->appendPlainText(QStringLiteral("Connessione Offline"));
        // Forget the last state, or a connection coming back in that same state would go unreported.
        LastStateCode = 0;
    }
}

void TFormRAS::RasConStateChanged() {
    const QString prefix = QStringLiteral("Status: ");
    const int code = RasCon.StateCode();
    if (code == LastStateCode)
        return;
    LastStateCode = code;
    const QString text = fromSystem(RasCon.StateText());
    ConnLog->appendPlainText(prefix + text + QStringLiteral(" (") + QString::number(code) + QStringLiteral(")"));
    LabelStat->setText(text);
    if (code < kStateConnected)
        LabelOnline->setText(QStringLiteral("Dialling"));
    else if (code == kStateConnected)
        LabelOnline->setText(QStringLiteral("Online"));
    else if (code == kStateDisconnected)
        LabelOnline->setText(QStringLiteral("Hang-Up"));
}

void TFormRAS::doExitClick() {
    reject();
}

std::optional<QString> TFormRAS::pickEntry() {
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    const QList<QListWidgetItem*> selected = ConnList->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->text();
}

} // namespace quorvane
