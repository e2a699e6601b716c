// The main window: tunnel list, status bar, menus, notification-area icon and the tunnel commands.
#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSessionManager>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "app/client_end_watch.h"
#include "app/dialog_service.h"
#include "app/field_problem_text.h"
#include "app/health_text.h"
#include "app/hidden_file_list.h"
#include "app/tunnel_editor.h"
#include "app/tunnel_list_view.h"
#include "app/tunnel_name_delegate.h"
#include "cli/start_command.h"
#include "desktop/about_box.h"
#include "desktop/artwork.h"
#include "desktop/key_generator_dialog.h"
#include "desktop/licence_viewer.h"
#include "desktop/options_dialog.h"
#include "desktop/tray_icon.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "process/client_launcher.h"
#include "process/command_line.h"
#include "process/process_list_window.h"
#include "process/process_services.h"
#include "process/program_runner.h"
#include "store/file_system.h"
#include "store/folder_walker.h"
#include "store/paths.h"
#include "store/program_settings.h"
#include "store/text_codec.h"
#include "store/tunnel_definition.h"
#include "store/tunnel_rename.h"

namespace quorvane {

namespace {

constexpr int kPictureRole = Qt::UserRole + 1;
constexpr int kFolderNameRole = Qt::UserRole + 2; // the folder's own bytes, for names that are not UTF-8
constexpr int kMonitorIntervalMs = 3000;
constexpr int kStopTimeoutMs = 5;
constexpr auto kClientEndWait = std::chrono::milliseconds(1000);
constexpr int kBeforeProgramMs = 30000;
constexpr int kListingEventsEveryMs = 15;

// Folder names are bytes: one that is not UTF-8 (copied from Windows) shows decoded as Windows-1252,
// so its paths are built from the bytes for as long as the caption is not edited.
QString captionFor(const std::string& folderName) {
    return QString::fromStdString(decodeFileText(folderName));
}

std::string nameOf(const QListWidgetItem* item) {
    const QVariant folder = item->data(kFolderNameRole);
    if (folder.isValid()) {
        const std::string bytes = folder.toByteArray().toStdString();
        if (captionFor(bytes) == item->text())
            return bytes;
    }
    return item->text().toStdString();
}

// Lowers SuppressEditor on every way out of a command.
class SuppressEditorGuard {
public:
    explicit SuppressEditorGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~SuppressEditorGuard() { m_flag = false; }
    SuppressEditorGuard(const SuppressEditorGuard&) = delete;
    SuppressEditorGuard& operator=(const SuppressEditorGuard&) = delete;

private:
    bool& m_flag;
};

} // namespace

TMain::TMain(ProgramFolders folders, AppWindows& windows, ProcessServices& processes, ClientLauncher& launcher,
             TunnelHealthTracker& health, std::unique_ptr<TrayBackend> trayBackend)
    : m_workingDir(std::move(folders.data)), m_programDir(std::move(folders.program)),
      m_settings(loadProgramSettings(m_workingDir)), m_windows(windows), m_processes(processes), m_launcher(launcher),
      m_clients(processes, paths::TunnelsDirForListing(m_workingDir)), m_health(health) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Quorvane"));
    setWindowIcon(programIcon());
    buildControls();
    buildMenus();

    language = new TLanguageEngine(this);
    language->setObjectName(QStringLiteral("language"));

    TrayBar = new TTrayIcon(this, std::move(trayBackend));
    TrayBar->setObjectName(QStringLiteral("TrayBar"));
    TrayBar->SetHint(QStringLiteral("Quorvane"));
    TrayBar->SetIcon(programIcon());
    TrayBar->SetPopupMenu(PopupMenu2);
    TrayBar->OnDblClick = [this](QObject*) { TrayBarDblClick(); };
    TrayBar->Loaded();

    checkprocessi = new QTimer(this);
    checkprocessi->setObjectName(QStringLiteral("checkprocessi"));
    checkprocessi->setInterval(kMonitorIntervalMs);
    connect(checkprocessi, &QTimer::timeout, this, [this] { runCommand([this] { checkprocessiTimer(); }); });
    checkprocessi->start();

    // A started client's end is seen as it happens; the timer's pass covers every other client.
    m_endWatch = new ClientEndWatch(this);
    connect(m_endWatch, &ClientEndWatch::clientEnded, this, [this] { runCommand([this] { checkprocessiTimer(); }); });
    connect(ListView1, &QListWidget::currentItemChanged, this, [this] { showSelectedHealth(); });
    connect(static_cast<TunnelListView*>(ListView1), &TunnelListView::activatedByKey, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { runCommand([this] { AttivaTunnell1Click(); }); }, Qt::QueuedConnection);
    });
    m_restartTimer = new QTimer(this);
    m_restartTimer->setSingleShot(true);
    connect(m_restartTimer, &QTimer::timeout, this, [this] { runCommand([this] { checkprocessiTimer(); }); });

    // Log-off and shut-down must not be blocked: the window hides and lets the session end.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        if (isVisible())
            Nascondi1Click();
    });

    SuppressEditor = true;
}

TMain::~TMain() {
    checkprocessi->stop();
}

void TMain::buildControls() {
    auto* central = new QWidget(this);
    auto* page = new QVBoxLayout(central);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel1 = new QFrame(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(49);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(productLogo());
    Image1->setFixedSize(158, 41);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->addStretch();
    panelLayout->addWidget(Image1);
    page->addWidget(Panel1);

    ListView1 = new TunnelListView(central);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setProperty("controlKind", QStringLiteral("ListView"));
    ListView1->setViewMode(QListView::IconMode);
    ListView1->setIconSize(QSize(50, 50));
    // Room for a picture and three lines of caption under it.
    ListView1->setGridSize(QSize(104, 50 + 3 * ListView1->fontMetrics().lineSpacing() + 14));
    ListView1->setMovement(QListView::Static);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setWordWrap(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    auto* names = new TunnelNameDelegate(ListView1);
    names->renameTunnel = [this](const QPersistentModelIndex& index, const QString& newName) {
        if (index.isValid())
            runCommand([&] { RenameTunnel(ListView1->item(index.row()), newName); });
    };
    ListView1->setItemDelegate(names);
    ListView1->setFrameShape(QFrame::NoFrame);
    QPalette listColours = ListView1->palette();
    listColours.setColor(QPalette::Base, QColor(240, 251, 255));
    ListView1->setPalette(listColours);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->viewport()->installEventFilter(this);
    page->addWidget(ListView1, 1);
    setCentralWidget(central);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    const char* captions[] = {"General", "Connessi", "Disconnessi"};
    const int widths[] = {200, 100, 100};
    for (int i = 0; i < 3; ++i) {
        statusPanels[i] = new QLabel(QString::fromLatin1(captions[i]), StatusBar);
        // Named so a language file can translate the fixed captions too.
        statusPanels[i]->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
        statusPanels[i]->setFixedWidth(widths[i]);
        statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar->addWidget(statusPanels[i]);
    }
    setStatusBar(StatusBar);

    // Working lists and controls that are never shown.
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->hide();
    files = new HiddenFileList(this);
    files->setObjectName(QStringLiteral("files"));
    files->hide();
    Button1 = new QPushButton(QStringLiteral("Genera Traduzione"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    Button2 = new QPushButton(QStringLiteral("Button2"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->hide();

    resize(560, 420);
}

QAction* TMain::addItem(QMenu* menu, const char* name, const QString& caption, void (TMain::*handler)()) {
    auto* action = new QAction(caption, this); // owned by the window, so language files reach it by name
    action->setObjectName(QLatin1String(name));
    menu->addAction(action);
    if (handler)
        connect(action, &QAction::triggered, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    return action;
}

void TMain::buildMenus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(bar);

    auto addMenu = [this, bar](const char* name, const QString& caption) {
        auto* menu = new QMenu(caption, this);
        menu->setObjectName(QLatin1String(name));
        bar->addMenu(menu);
        return menu;
    };
    auto addSeparator = [this](QMenu* menu, const char* name) {
        QAction* separator = menu->addSeparator();
        separator->setParent(this);
        separator->setObjectName(QLatin1String(name));
    };

    QMenu* file = addMenu("File1", QStringLiteral("&File"));
    addItem(file, "Nascondi1", QStringLiteral("&Nascondi"), &TMain::Nascondi1Click);
    addSeparator(file, "N1");
    addItem(file, "Opzioni1", QStringLiteral("&Opzioni..."), &TMain::Opzioni1Click);
    addItem(file, "Esci1", QStringLiteral("&Esci"), &TMain::Esci1Click);

    QMenu* tunnels = addMenu("tunnell1", QStringLiteral("&Tunnells"));
    addItem(tunnels, "Aggiungi1", QStringLiteral("&Aggiungi"), &TMain::Aggiungi1Click);
    addItem(tunnels, "Modifica1", QStringLiteral("&Modifica"), &TMain::ListView1DblClick);
    addItem(tunnels, "Elimina1", QStringLiteral("&Elimina"), &TMain::Elimina2Click);

    QMenu* tools = addMenu("ools1", QStringLiteral("T&ools"));
    addItem(tools, "GeneratoredichiaviPutty1", QStringLiteral("&Generatore di chiavi SSH Putty"),
            &TMain::GeneratoredichiaviPutty1Click);
    addItem(tools, "RASManager1", QStringLiteral("&RAS Manager"))->setVisible(false);

    QMenu* processes = addMenu("Processi1", QStringLiteral("&Processi"));
    addItem(processes, "Lista1", QStringLiteral("&Lista"));
    processes->menuAction()->setVisible(false);

    QMenu* help = addMenu("N2", QStringLiteral("&?"));
    addItem(help, "LicenzaPutty1", QStringLiteral("Licenza &Putty"), &TMain::LicenzaPutty1Click);
    addItem(help, "LicenzaQuorvane1", QStringLiteral("Licenza &Quorvane"), &TMain::LicenzaQuorvane1Click);
    addSeparator(help, "N3");
    addItem(help, "Autore1", QStringLiteral("&Informazioni"), &TMain::Autore1Click);
    addItem(help, "Visitasitoweb1", QStringLiteral("&Visita sito web"), &TMain::Visitasitoweb1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    addItem(PopupMenu1, "AttivaTunnell1", QStringLiteral("&Connetti"), &TMain::AttivaTunnell1Click);
    addItem(PopupMenu1, "DisattivaTunnell1", QStringLiteral("&Disconnetti"), &TMain::DisattivaTunnell1Click);
    addItem(PopupMenu1, "Modifica2", QStringLiteral("&Modifica"), &TMain::ListView1DblClick);
    addItem(PopupMenu1, "Elimina2", QStringLiteral("&Elimina"), &TMain::Elimina2Click);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // Outside every item the commands must find no tunnel, not the one selected before.
        if (!ListView1->itemAt(at))
            clearTunnelSelection();
        PopupMenu1->exec(ListView1->viewport()->mapToGlobal(at));
    });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    // The tunnels come first, filled in each time the menu opens, so their states are current.
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this] { fillTrayMenu(); });
    addItem(PopupMenu2, "Visualizza1", QStringLiteral("&Visualizza Quorvane"), &TMain::Visualizza1Click);
    addItem(PopupMenu2, "Esci2", QStringLiteral("&Esci da Quorvane"), &TMain::Esci2Click);
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // A double click in the list connects; editing is reached through "Modifica".
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return QMainWindow::eventFilter(watched, event);
        QMetaObject::invokeMethod(
            this, [this] { runCommand([this] { AttivaTunnell1Click(); }); }, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- window life ----

bool TMain::busy() const {
    return m_loading || QApplication::activeModalWidget() != nullptr;
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Shown from the notification area while a box waits, the list stays: a command holds its items.
    if (event->spontaneous() || busy())
        return;
    runCommand([this] { FormShow(); });
}

void TMain::closeEvent(QCloseEvent* event) {
    // While the session manager saves the session, close requests come from log-off or shut-down.
    if (m_quitting || qApp->isSavingSession()) {
        event->accept();
        return;
    }
    Nascondi1Click();
    event->ignore();
}

void TMain::Nascondi1Click() {
    TrayBar->ShowIcon();
    if (!TrayBar->isIconShown()) {
        // No notification area to come back from: a hidden window would be lost, so minimise instead.
        TrayBar->HideIcon();
        showMinimized();
        return;
    }
    hide();
}

void TMain::Visualizza1Click() {
    TrayBar->HideIcon();
    // A window minimised before it was hidden (by the user, or for want of a notification area)
    // would come back minimised, that is nowhere to be seen.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TMain::TrayBarDblClick() {
    Visualizza1Click();
}

void TMain::Esci1Click() {
    m_quitting = true;
    QCoreApplication::quit();
}

void TMain::Esci2Click() {
    Esci1Click();
}

// ---- list and monitor ----

QListWidgetItem* TMain::selectedItem() const {
    const QList<QListWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int TMain::pictureOf(int row) const {
    const QListWidgetItem* item = ListView1->item(row);
    return item ? item->data(kPictureRole).toInt() : -1;
}

void TMain::setPicture(QListWidgetItem* item, int picture) {
    if (item->data(kPictureRole).toInt() == picture && !item->icon().isNull())
        return; // same picture: no redraw
    item->setData(kPictureRole, picture);
    item->setIcon(tunnelIcon(picture)); // one shared picture per state, not one per item
}

QListWidgetItem* TMain::appendTunnelItem(const QString& name) {
    // Made whole before it joins the list: one insertion, not one change per property.
    auto* item = new QListWidgetItem(name);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setPicture(item, 0);
    ListView1->addItem(item);
    return item;
}

void TMain::fillList(const std::vector<std::string>& folderNames) {
    ListView1->clear();
    for (const std::string& folderName : folderNames)
        appendTunnelItem(captionFor(folderName))->setData(kFolderNameRole, QByteArray::fromStdString(folderName));
}

void TMain::checkprocessiTimer() {
    if (!m_windows.processList)
        return;
    m_windows.processList->Button1Click();
    // An empty snapshot means the listing failed: the pictures stay as they were.
    if (ListView1->count() == 0 || m_windows.processList->ListBox1->count() == 0)
        return;
    // Only the tunnel's own client counts, not any process that shares its name; and a tunnel is
    // connected only once its forward listens.
    const TunnelClients clients = m_clients.match(m_windows.processList->ownProcesses());
    std::vector<std::string> tunnels;
    for (int i = 0; i < ListView1->count(); ++i)
        tunnels.push_back(nameOf(ListView1->item(i)));
    const std::vector<HealthChange> changes = m_health.pass(clients, tunnels, [this](const std::string& tunnel) {
        return localForwardPorts(LoadDefinition(m_workingDir, tunnel));
    });
    showHealth();
    for (const HealthChange& change : changes) {
        // Questions and balloons wait until the pass is over: a pass may run inside another command.
        QMetaObject::invokeMethod(
            this, [this, change] { runCommand([this, &change] { reactTo(change); }); }, Qt::QueuedConnection);
    }
    restartDueClients();
}

void TMain::showHealth() {
    int connected = 0;
    // Most tunnels are simply not connected: their words are made once per pass.
    const QString notConnected = m_windows.messages ? statusText(TunnelHealth{}, *m_windows.messages) : QString();
    for (int i = 0; i < ListView1->count(); ++i) {
        QListWidgetItem* item = ListView1->item(i);
        const TunnelHealth& health = m_health.health(nameOf(item));
        connected += health.status == TunnelStatus::Connected ? 1 : 0;
        setPicture(item, pictureFor(health.status));
        if (!m_windows.messages)
            continue;
        const QString tip =
            health.status == TunnelStatus::NotConnected ? notConnected : statusText(health, *m_windows.messages);
        if (item->toolTip() != tip)
            item->setToolTip(tip);
    }
    // The notification area tells at a glance whether anything is up; set only on a change.
    if (const bool anyUp = connected > 0; anyUp != m_anyTunnelUp) {
        m_anyTunnelUp = anyUp;
        TrayBar->SetIcon(programIcon(anyUp));
    }
    const QString hint = trayHint(connected);
    if (hint != TrayBar->Hint())
        TrayBar->SetHint(hint);
    showSelectedHealth();
}

void TMain::showSelectedHealth() {
    if (const QListWidgetItem* item = selectedItem(); item && m_windows.messages && !SuppressEditor) {
        statusPanels[0]->setText(item->text() + QStringLiteral(": ") + item->toolTip());
        statusPanels[0]->setToolTip(statusPanels[0]->text()); // the panel is narrow for a long reason
    }
}

QString TMain::trayHint(int connected) const {
    if (ListView1->count() == 0 || !m_windows.messages)
        return QStringLiteral("Quorvane");
    return filled(m_windows.messages->TunnellConnessi(),
                  {QString::number(connected), QString::number(ListView1->count())});
}

void TMain::fillTrayMenu() {
    for (QAction* old : std::as_const(m_trayTunnelActions))
        delete old;
    m_trayTunnelActions.clear();
    QAction* first = PopupMenu2->actions().value(0);
    for (int i = 0; i < ListView1->count(); ++i) {
        QListWidgetItem* item = ListView1->item(i);
        const std::string name = nameOf(item);
        const TunnelHealth& health = m_health.health(name);
        // A tab puts the state in the menu's right-hand column; '&' in a name is shown, not a mnemonic.
        QString caption = item->text();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (m_windows.messages)
            caption += QLatin1Char('\t') + statusText(health, *m_windows.messages);
        auto* action = new QAction(item->icon(), caption, PopupMenu2);
        action->setEnabled(!busy()); // a box waits for an answer first
        action->setCheckable(true);
        action->setChecked(health.status == TunnelStatus::Connected || health.status == TunnelStatus::Connecting);
        connect(action, &QAction::triggered, this, [this, name](bool connect) {
            runCommand([this, name, connect] { connect ? connectTunnel(name) : disconnectTunnel(name); });
        });
        PopupMenu2->insertAction(first, action);
        m_trayTunnelActions << action;
    }
    if (!m_trayTunnelActions.isEmpty()) {
        QAction* separator = new QAction(PopupMenu2);
        separator->setSeparator(true);
        PopupMenu2->insertAction(first, separator);
        m_trayTunnelActions << separator;
    }
}

bool TMain::connectTunnel(const std::string& name) {
    QListWidgetItem* item = itemOf(name);
    if (!item)
        return false;
    ListView1->setCurrentItem(item);
    AttivaTunnell1Click();
    return true;
}

bool TMain::disconnectTunnel(const std::string& name) {
    QListWidgetItem* item = itemOf(name);
    if (!item)
        return false;
    ListView1->setCurrentItem(item);
    DisattivaTunnell1Click();
    return true;
}

std::string TMain::statusReport() {
    checkprocessiTimer(); // states as of now, not of the last pass
    std::string report;
    for (int i = 0; i < ListView1->count(); ++i) {
        const std::string name = nameOf(ListView1->item(i));
        report += statusLine(name, m_health.health(name)) + "\n";
    }
    return report;
}

std::string TMain::clientFolder(const std::string& tunnel) const {
    return fs::resolve(paths::ClientWorkingFolder(paths::ClientExePath(m_workingDir, tunnel)));
}

QListWidgetItem* TMain::itemOf(const std::string& tunnel) const {
    for (int i = 0; i < ListView1->count(); ++i) {
        if (nameOf(ListView1->item(i)) == tunnel)
            return ListView1->item(i);
    }
    return nullptr;
}

void TMain::reactTo(const HealthChange& change) {
    QListWidgetItem* item = itemOf(change.tunnel);
    if (!item || !m_windows.messages)
        return;
    const TfMessage& messages = *m_windows.messages;
    const QString name = item->text();
    const TunnelHealth& now = change.now;
    if (now.status == TunnelStatus::Failed) {
        // The client has ended on its own (a port held elsewhere leaves it running).
        if (now.failure.kind != FailureKind::LocalPortInUse &&
            (change.before == TunnelStatus::Connected || change.before == TunnelStatus::Connecting))
            runAfter(item, LoadDefinition(m_workingDir, change.tunnel));
        if (now.failure.kind == FailureKind::HostKeyUnknown && now.failure.hostKey)
            trustOfferedKey(change.tunnel, *now.failure.hostKey);
        else if (now.failure.kind == FailureKind::HostKeyChanged)
            dialogs().showError(errorBoxText(filled(messages.AvvisoChiaveCambiata(), {name})));
        notify(filled(messages.NotificaInterrotto(), {name, reasonText(now.failure, messages)}));
    } else if (now.status == TunnelStatus::Connected && (change.before == TunnelStatus::Failed || now.retries > 0)) {
        notify(filled(messages.NotificaRipristinato(), {name}));
    }
}

void TMain::notify(const QString& text) {
    if (m_settings.notifications)
        TrayBar->ShowBalloon(QApplication::applicationName(), text);
}

void TMain::trustOfferedKey(const std::string& tunnel, const HostKeyOffer& offer) {
    const QString question = filled(m_windows.messages->DomandaChiaveHost(),
                                    {QString::fromStdString(offer.host), QString::fromStdString(offer.port),
                                     QString::fromStdString(offer.keyType), QString::fromStdString(offer.fingerprint)});
    if (!dialogs().question(question))
        return;
    // The trust goes into the definition, which travels with the portable folder; the user's own
    // key cache stays as it is.
    const DefinitionLoad load = loadDefinitionChecked(m_workingDir, tunnel);
    if (!load.ok()) {
        dialogs().showError(errorBoxText(QString::fromStdString(load.message())));
        return;
    }
    TunnelDefinition definition = load.definition;
    definition.HostKey = offer.fingerprint;
    SaveDefinition(m_workingDir, tunnel, definition);
    if (QListWidgetItem* item = itemOf(tunnel))
        startClient(item, definition);
}

void TMain::restartDueClients() {
    for (const std::string& tunnel : m_health.restartsDue()) {
        QListWidgetItem* item = itemOf(tunnel);
        const DefinitionLoad load = loadDefinitionChecked(m_workingDir, tunnel);
        // A tunnel that went away, or whose definition no longer serves, is not brought back.
        if (!item || !load.ok() || !load.definition.Riconnessione || checkConnectFields(load.definition)) {
            m_health.stopped(tunnel);
            continue;
        }
        m_health.restarting(tunnel);
        startClient(item, load.definition);
    }
    // A restart falls between two passes: a pass of its own is run then.
    if (const auto next = m_health.nextRestart()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - std::chrono::steady_clock::now());
        m_restartTimer->start(static_cast<int>(std::clamp<qint64>(wait.count() + 10, 10, 60000)));
    }
}

// ---- tunnel commands ----

void TMain::Aggiungi1Click() {
    TfMessage& messages = *m_windows.messages;
    const QString typed = dialogs().inputBox(messages.CreazTunnell(), messages.NomeDaAssegnare(), QString(), 255);
    const std::string name = typed.toStdString();
    // A name is one folder name: anything else would build paths outside the tunnels folder.
    if (typed.isEmpty() || !paths::isValidTunnelName(name)) {
        dialogs().showMessage(messages.NomeNonValido());
        return;
    }
    const std::string folder = paths::TunnelFolderForAdd(m_workingDir, name);
    // An existing tunnel (any letter case) keeps its definition and gets no second row.
    if (fs::folderExists(folder) || !ListView1->findItems(typed, Qt::MatchFixedString).isEmpty()) {
        dialogs().showMessage(messages.TunnellEsistente());
        return;
    }

    QListWidgetItem* row = appendTunnelItem(typed);
    if (!fs::createFolder(folder)) {
        // A row without its folder would be a tunnel that no command can reach.
        delete row;
        throw StoreError("Unable to write to " + paths::DefinitionFileForAdd(folder));
    }
    std::string source = paths::PlinkSource(m_programDir);
    if (!fs::fileExists(source)) {
        const std::string onPath = fs::findOnPath("plink");
        if (!onPath.empty())
            source = onPath;
    }
    const bool copied = fs::copyFile(source, paths::ClientCopyForAdd(m_workingDir, name));
    CreateDefaultDefinition(folder);
    if (!copied)
        dialogs().showMessage(messages.ClientNonCopiato());
    // The new tunnel is the one the next command is about.
    ListView1->setCurrentItem(row);
    if (m_settings.editAfterAdd)
        ListView1DblClick();
}

std::optional<DefinitionLoad> TMain::loadSelectedIntoEditor() {
    QListWidgetItem* item = selectedItem();
    if (!item || !m_windows.editor)
        return std::nullopt;
    const std::string name = nameOf(item);
    TShowTunn& editor = *m_windows.editor;
    DefinitionLoad load = loadDefinitionChecked(m_workingDir, name);
    editor.setDefinition(load.definition);
    editor.tunnelFolder = QString::fromStdString(clientFolder(name));
    editor.setWindowTitle(QStringLiteral("Tunnell: ") + item->text());
    return load;
}

void TMain::ListView1DblClick() {
    if (!loadSelectedIntoEditor() || SuppressEditor)
        return;
    const std::string name = nameOf(selectedItem());
    TShowTunn& editor = *m_windows.editor;
    editor.mxflatmaskedit1->setFocus();
    if (editor.exec() == QDialog::Accepted)
        SaveDefinition(m_workingDir, name, editor.definition());
}

void TMain::AttivaTunnell1Click() {
    SuppressEditorGuard suppress(SuppressEditor);
    const std::optional<DefinitionLoad> load = loadSelectedIntoEditor();
    QListWidgetItem* item = selectedItem();
    if (!load || !item)
        return;
    const std::string name = nameOf(item);
    // A definition that is a link, no file, unreadable or outsized is named and not connected.
    if (!load->ok() && load->problem != DefinitionProblem::Missing) {
        dialogs().showError(errorBoxText(QString::fromStdString(load->message())));
        return;
    }
    const TunnelDefinition definition = m_windows.editor->definition();
    // A value the client would misread (an option, a port that is none) is refused, never passed.
    if (const std::optional<FieldProblem> problem = checkConnectFields(definition)) {
        dialogs().showMessage(fieldProblemText(*problem, *m_windows.editor, *m_windows.messages));
        return;
    }
    // The client runs in the tunnel's folder, where a relative key file is looked for.
    if (!definition.FileChiave.empty()) {
        const std::filesystem::path key = std::filesystem::u8path(definition.FileChiave);
        const std::string keyPath = key.is_absolute()
                                        ? definition.FileChiave
                                        : paths::ClientWorkingFolder(paths::ClientExePath(m_workingDir, name)) +
                                              fs::separator() + definition.FileChiave;
        if (!fs::fileExists(keyPath)) {
            dialogs().showMessage(filled(m_windows.messages->ChiaveMancante(), {QString::fromStdString(keyPath)}));
            return;
        }
    }
    // A running client keeps its port: a second one could only fail to bind it, and the next
    // disconnect would stop the working one.
    if (m_clients.snapshot().isRunning(name)) {
        checkprocessiTimer();
        return;
    }

    // The password is shown masked and reaches the client through a file only this user can read.
    if (m_settings.showCommandLine && m_commandLineBox)
        dialogs().showMessage(QString::fromStdString(displayConnectCommandLine(definition)));
    startClient(item, definition);
    // The load sequence takes one pass after all its connects, not one per connect.
    if (!m_loading)
        checkprocessiTimer();
}

bool TMain::runBefore(QListWidgetItem* item, const TunnelDefinition& definition) {
    if (definition.Prima.empty())
        return true;
    const std::string folder = clientFolder(nameOf(item));
    const ProgramRun run = runProgramAndWait(definition.Prima, folder, kBeforeProgramMs);
    if (run.started && run.finished && run.exitCode == 0)
        return true;
    const TfMessage& messages = *m_windows.messages;
    const QString program = QString::fromStdString(definition.Prima);
    if (!run.started)
        dialogs().showMessage(
            filled(messages.PrimaNonAvviato(), {item->text(), program, QString::fromStdString(run.error)}));
    else if (!run.finished)
        dialogs().showMessage(filled(messages.PrimaScaduto(), {item->text(), program}));
    else
        dialogs().showMessage(filled(messages.PrimaFallito(), {item->text(), program, QString::number(run.exitCode)}));
    return false;
}

void TMain::runAfter(QListWidgetItem* item, const TunnelDefinition& definition) {
    if (splitWindowsCommandLine(definition.Dopo).empty())
        return;
    // Started, not waited for: nothing the user does may hang on it.
    const LaunchRequest request = programLaunch(definition.Dopo, clientFolder(nameOf(item)));
    if (const std::optional<std::string> failure = m_launcher.launch(request))
        dialogs().showError(errorBoxText(QString::fromStdString(definition.Dopo + ": " + *failure)));
}

void TMain::startClient(QListWidgetItem* item, const TunnelDefinition& definition) {
    const std::string name = nameOf(item);
    if (!runBefore(item, definition)) {
        m_health.stopped(name); // no restart loop over a program that keeps failing
        return;
    }
    const std::string exePath = paths::ClientExePath(m_workingDir, name);
    LaunchRequest request;
    request.executable = fs::resolve(exePath);
    request.parameters = buildConnectCommandLine(definition, m_launcher.secretFile());
    request.secret = definition.Password;
    request.directory = clientFolder(name);
    request.visible = definition.Debug;
    if (!request.visible)
        request.outputFile = m_health.freshClientLog(name);
    if (const std::optional<std::string> failure = m_launcher.launch(request)) {
        dialogs().showError(errorBoxText(QString::fromStdString(*failure)));
        return;
    }
    m_health.started(name, localForwardPorts(definition), definition.Riconnessione);
    m_endWatch->watch(m_launcher.lastStarted());
}

void TMain::DisattivaTunnell1Click() {
    QListWidgetItem* item = selectedItem();
    if (!item)
        return;
    // Stopped by the user: no failure to report, nothing to restart.
    const std::string name = nameOf(item);
    m_health.stopped(name);
    const TunnelClientControl::FirstStop stop = m_clients.stopFirst(name, kStopTimeoutMs);
    if (stop == TunnelClientControl::FirstStop::Failed)
        reportStopFailure(item);
    else if (stop == TunnelClientControl::FirstStop::Stopped && !m_clients.snapshot().isRunning(name))
        runAfter(item, LoadDefinition(m_workingDir, name));
}

void TMain::reportStopFailure(const QListWidgetItem* item) {
    dialogs().showMessage(filled(m_windows.messages->ArrestoNonRiuscito(), {item->text()}));
}

void TMain::RenameTunnel(QListWidgetItem* item, const QString& newName) {
    if (!item || newName == item->text() || !paths::isValidTunnelName(newName.toStdString()))
        return;
    const std::string oldName = nameOf(item);
    // The client runs from the folder's copy: renaming under it would cut the tunnel off the program.
    if (m_clients.snapshot().isRunning(oldName)) {
        dialogs().showMessage(filled(m_windows.messages->RinominaConnesso(), {item->text()}));
        return;
    }
    const QList<QListWidgetItem*> sameName = ListView1->findItems(newName, Qt::MatchFixedString);
    const bool sameRowElsewhere =
        std::any_of(sameName.begin(), sameName.end(), [item](const QListWidgetItem* other) { return other != item; });
    const RenameOutcome outcome =
        sameRowElsewhere ? RenameOutcome::NameTaken : renameTunnel(m_workingDir, oldName, newName.toStdString());
    switch (outcome) {
    case RenameOutcome::Renamed:
        m_health.forget(oldName);
        item->setText(newName);
        item->setData(kFolderNameRole, QByteArray::fromStdString(newName.toStdString()));
        break;
    case RenameOutcome::NameTaken:
        dialogs().showMessage(m_windows.messages->TunnellEsistente());
        break;
    case RenameOutcome::Failed:
        dialogs().showMessage(filled(m_windows.messages->RinominaNonRiuscita(), {item->text()}));
        break;
    }
}

void TMain::clearTunnelSelection() {
    ListView1->clearSelection();
    ListView1->setCurrentItem(nullptr);
}

void TMain::Elimina2Click() {
    QListWidgetItem* item = selectedItem();
    if (!item)
        return;
    const std::string name = nameOf(item);
    // Never delete outside the tunnels folder; a hand-made folder of such a name is named, not ignored.
    if (!paths::isValidTunnelName(name)) {
        dialogs().showMessage(filled(m_windows.messages->NomeNonGestibile(), {item->text()}));
        return;
    }
    // The folder goes with its definition and keys: there is no way back, so the user says so first.
    if (fs::folderExists(paths::TunnelFolderForDelete(m_workingDir, name)) &&
        !dialogs().question(filled(m_windows.messages->ConfermaEliminazione(), {item->text()})))
        return;

    // Every client of the tunnel ends first: one left running would outlive its folder, out of the
    // program's reach, and a client still ending keeps its executable busy on some systems.
    m_health.stopped(name);
    if (!m_clients.stopAll(name, kStopTimeoutMs, kClientEndWait)) {
        reportStopFailure(item);
        return;
    }

    const std::string folder = paths::TunnelFolderForDelete(m_workingDir, name);
    if (!fs::folderExists(folder))
        return;
    const std::string resolved = fs::resolve(folder);
    // An interrupted save's temporary file is hidden from the listing and would keep the folder.
    fs::removeLeftoverTemporaryFiles(resolved);
    for (const std::string& file : files->showFolder(resolved))
        fs::deleteFile(resolved + fs::separator() + file);
    files->clear();

    if (fs::removeFolder(resolved)) {
        m_health.forget(name);
        delete item;
        clearTunnelSelection(); // the next row must not become the target of the next command
    } else
        dialogs().showMessage(m_windows.messages->ProbRimozCartella());
}

// ---- options ----

void TMain::Opzioni1Click() {
    TOptions& dialog = *m_windows.options;
    ProgramSettings shown = m_settings;
    // Nothing chosen and nothing copied by hand: the built-in texts are in use.
    if (shown.language.empty() && !fs::fileExists(paths::LanguageFile(m_workingDir)))
        shown.language = kBuiltInLanguageFile;
    dialog.setSettings(shown, languageFiles(m_programDir));
    if (dialog.exec() != QDialog::Accepted)
        return;
    ProgramSettings chosen = dialog.settings();
    if (chosen.language == shown.language)
        chosen.language = m_settings.language; // left as it was: nothing to copy
    applyOptions(chosen);
}

void TMain::applyOptions(const ProgramSettings& chosen) {
    ProgramSettings next = chosen;
    const bool newLanguage = !chosen.language.empty() && chosen.language != m_settings.language;
    if (newLanguage) {
        // The chosen file becomes default.lng, which every later start reads.
        const std::string source = languageFilePath(m_programDir, chosen.language);
        if (!fs::copyFile(source, paths::LanguageFile(m_workingDir))) {
            dialogs().showError(errorBoxText(
                filled(m_windows.messages->LinguaNonApplicata(),
                       {QString::fromStdString(chosen.language), QString::fromStdString(fs::resolve(source))})));
            next.language = m_settings.language;
        }
    }
    if (!saveProgramSettings(m_workingDir, next))
        dialogs().showError(errorBoxText(
            filled(m_windows.messages->OpzioniNonSalvate(), {QString::fromStdString(settingsFile(m_workingDir))})));
    const bool languageChanged = next.language != m_settings.language;
    m_settings = next;
    if (languageChanged)
        applyLanguage();
}

void TMain::readLanguageFile() {
    language->ApplyLanguageFile(QString::fromStdString(paths::LanguageFile(m_workingDir)));
    // A bad entry is told, and costs nothing else.
    if (const QStringList problems = language->lastProblems(); !problems.isEmpty())
        dialogs().showError(errorBoxText(problems.join(QLatin1Char('\n'))));
}

void TMain::applyLanguage() {
    readLanguageFile();
    if (m_windows.messages) {
        static_cast<TunnelListView*>(ListView1)->setEmptyHint(m_windows.messages->SuggerimentoVuoto());
        if (!selectedItem())
            statusPanels[0]->setText(m_windows.messages->Pronto());
    }
    showHealth(); // texts made from messages follow the new language
}

void TMain::startInNotificationArea() {
    Nascondi1Click();
    // Without a notification area the window was shown minimised, and showing ran the load sequence.
    if (isHidden())
        runCommand([this] { FormShow(); });
}

// ---- help and tools ----

void TMain::GeneratoredichiaviPutty1Click() {
    // A dialog that runs the key generator for the user and shows the public key to copy.
    if (m_windows.keyGenerator) {
        m_windows.keyGenerator->setDefaultFolder(QString::fromStdString(fs::resolve(m_workingDir)));
        m_windows.keyGenerator->exec();
        return;
    }
    // Elsewhere the key generator has a window of its own. Failures are not reported.
    LaunchRequest request;
    request.executable = fs::resolve(paths::KeyGenerator(m_programDir));
    request.visible = true;
    m_launcher.launch(request);
}

void TMain::LicenzaPutty1Click() {
    m_windows.licence->load(QStringLiteral("Putty Licence"), paths::PuttyLicence(m_programDir));
    m_windows.licence->exec();
}

void TMain::LicenzaQuorvane1Click() {
    m_windows.licence->load(QStringLiteral("Quorvane Licence"), paths::ProgramLicence(m_programDir));
    m_windows.licence->exec();
}

void TMain::Autore1Click() {
    m_windows.about->exec();
}

void TMain::Visitasitoweb1Click() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(TAboutBox::kWebAddress)));
}

// ---- load sequence ----

LeftoverFolders TMain::listTunnels() {
    // Let timer ticks and painting through while the folders are read, but no user input: a command
    // started in the middle of the rebuild would act on a half-filled list. A few times a frame is
    // enough for that; once per entry would cost more than the reading.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    TExpandedFolder walker([&sinceEvents] {
        if (sinceEvents.elapsed() < kListingEventsEveryMs)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceEvents.restart();
    });
    // The depth limit is left unlimited; setting it again would only walk the same tree a second time.
    const std::string root = fs::resolve(paths::TunnelsDirForListing(m_workingDir));
    walker.SetFolder(root);
    const std::vector<std::string>& folderNames = walker.GetFolderNames();
    ListBox1->clear();
    for (const std::string& folderName : folderNames)
        ListBox1->addItem(captionFor(folderName));
    fillList(folderNames);
    return LeftoverFolders(walker.GetFilePaths());
}

void TMain::FormShow() {
    // However the sequence ends, the editor is usable afterwards.
    struct LowerSuppressEditor {
        bool& flag;
        bool& loading;
        ~LowerSuppressEditor() { flag = loading = false; }
    } lower{SuppressEditor, m_loading};
    m_loading = true;
    // A bad entry is told, and costs nothing else: the tunnels are listed and connected all the same.
    // The texts made from messages are set at the end of the sequence.
    readLanguageFile();

    const LeftoverFolders leftovers = listTunnels();

    // One snapshot serves every automatic connection: a tunnel whose client already runs (after a
    // restore from the notification area) must not get a second session.
    std::optional<TunnelClients> running;
    std::vector<std::string> started;
    QStringList unusable;
    // One pass over every picture and tooltip afterwards, not one per row.
    QSignalBlocker quiet(ListView1);
    const int rows = ListView1->count();
    for (int i = 0; i < rows; ++i) {
        QListWidgetItem* item = ListView1->item(i);
        const std::string name = nameOf(item);
        if (leftovers.holds(name))
            removeLeftoverFiles(m_workingDir, name);
        // What the modify command's load step reads, with its report of a definition that cannot serve.
        const DefinitionLoad load = loadDefinitionChecked(m_workingDir, name);
        if (!load.ok() && load.problem != DefinitionProblem::Missing)
            unusable << QString::fromStdString(load.message()); // loads empty, so it is not connected
        statusPanels[0]->setText(QStringLiteral("Tunnell: ") + item->text());
        const bool connects = m_windows.editor && load.definition.AutoConnessione;
        // Only a tunnel that connects, and the last one, go through the editor (connect loads it
        // itself): the editor ends holding the last tunnel, as if each had been loaded in turn.
        if (connects || i + 1 == rows) {
            ListView1->setCurrentRow(i);
            SuppressEditor = true;
            if (i + 1 == rows)
                loadSelectedIntoEditor();
        }
        if (!connects)
            continue;
        if (!running)
            running = m_clients.snapshot();
        // A second row of the same name must not start another one either.
        if (running->isRunning(name) || std::find(started.begin(), started.end(), name) != started.end())
            continue;
        AttivaTunnell1Click();
        started.push_back(name);
    }
    quiet.unblock();
    if (started.empty())
        showHealth();
    else
        checkprocessiTimer();
    SuppressEditor = false;
    statusPanels[0]->setText(m_windows.messages ? m_windows.messages->Pronto() : QStringLiteral("Pronto"));
    if (m_windows.messages)
        static_cast<TunnelListView*>(ListView1)->setEmptyHint(m_windows.messages->SuggerimentoVuoto());
    if (!unusable.isEmpty())
        dialogs().showError(errorBoxText(unusable.join(QLatin1Char('\n'))));
}

} // namespace quorvane
