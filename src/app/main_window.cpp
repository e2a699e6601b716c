// The main window: tunnel list, status bar, menus, notification-area icon, and the commands as the user sees them.
#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeySequence>
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

#include "app/health_text.h"
#include "app/hidden_file_list.h"
#include "app/import_words.h"
#include "app/service_events.h"
#include "app/tray_tunnel_menu.h"
#include "app/tunnel_editor.h"
#include "app/tunnel_filter.h"
#include "app/tunnel_list_view.h"
#include "app/tunnel_name_delegate.h"
#include "app/window_messages.h"
#include "desktop/about_box.h"
#include "desktop/artwork.h"
#include "desktop/dialog_service.h"
#include "desktop/elided_label.h"
#include "desktop/import_list_dialog.h"
#include "desktop/key_generator_dialog.h"
#include "desktop/licence_viewer.h"
#include "desktop/options_dialog.h"
#include "desktop/plain_text.h"
#include "desktop/tray_icon.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "i18n/qt_translations.h"
#include "store/file_system.h"
#include "store/paths.h"
#include "store/text_codec.h"

namespace quorvane {

namespace {

// The message text of that key, from the window's language (the built-in text with no message window).
QString messageText(const TfMessage* messages, const QString& key) {
    return messages ? messages->text(key) : dialogText(key);
}

// The window's words, or the built-in ones where no language is loaded (a window built without them).
const MessageSource& wordsOf(const WindowMessages* texts) {
    static const BuiltInMessages builtIn;
    return texts ? static_cast<const MessageSource&>(*texts) : builtIn;
}

constexpr int kMonitorIntervalMs = 3000;
constexpr int kListingEventsEveryMs = 15;

} // namespace

TMain::TMain(AppWindows& windows, TunnelService& service, ServiceEvents& events,
             std::unique_ptr<TrayBackend> trayBackend)
    : m_settings(loadProgramSettings(service.folders().data)), m_windows(windows), m_service(service) {
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
    // Whole-second timers fire on the whole second: one wake-up serves this, the dial-up window's and the
    // servers' checks, where three would come apart.
    checkprocessi->setTimerType(Qt::VeryCoarseTimer);
    connect(checkprocessi, &QTimer::timeout, this, [this] { runCommand([this] { checkprocessiTimer(); }); });
    checkprocessi->start();

    // A client that ended, or a restart that is due, gets a pass of its own.
    connect(&events, &ServiceEvents::passDue, this, [this] { runCommand([this] { checkprocessiTimer(); }); });
    connect(&events, &ServiceEvents::listChanged, this, &TMain::showTunnels);
    connect(&events, &ServiceEvents::healthChanged, this, [this] {
        if (!m_loading) // the load sequence draws once at its end
            showHealth(true);
    });
    connect(&events, &ServiceEvents::noticeDue, this, [this](const Notice& notice) { m_pendingNotices.add(notice); });
    connect(&events, &ServiceEvents::openDue, this, [this](const std::string& tunnel, const std::string& url) {
        runCommand([&] { openAddress(tunnel, url); });
    });
    // The selection, not the current item: a click moves the current item before it selects.
    connect(ListView1, &QListWidget::itemSelectionChanged, this, [this] { showSelectedHealth(); });
    connect(ListView1, &TunnelListView::activatedByKey, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { runCommand([this] { AttivaTunnell1Click(); }); }, Qt::QueuedConnection);
    });

    // Log-off and shut-down must not be blocked: the window hides and lets the session end.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        if (isVisible())
            Nascondi1Click();
    });
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
    auto* names = new TunnelNameDelegate(ListView1);
    names->renameTunnel = [this](const QPersistentModelIndex& index, const QString& newName) {
        if (index.isValid())
            runCommand([&] { RenameTunnel(ListView1->item(index.row()), newName); });
    };
    ListView1->setItemDelegate(names);
    ListView1->viewport()->installEventFilter(this);
    Filtro = new TunnelFilter(ListView1, central);
    Filtro->setObjectName(QStringLiteral("Filtro"));
    page->addWidget(Filtro);
    page->addWidget(ListView1, 1);
    setCentralWidget(central);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    const char* captions[] = {"General", "Connessi", "Disconnessi"};
    const int widths[] = {200, 100, 100};
    for (int i = 0; i < 3; ++i) {
        // The first shows a state and its reason: cut with "…" when long, the whole in its tooltip.
        statusPanels[i] = i == 0 ? new ElidedLabel(QString::fromLatin1(captions[i]), StatusBar)
                                 : new QLabel(QString::fromLatin1(captions[i]), StatusBar);
        // Named so a language file can translate the fixed captions too.
        statusPanels[i]->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
        statusPanels[i]->setTextFormat(Qt::PlainText); // a tunnel's name and its reason come from outside
        // The first panel takes the room there is: a state with its reason and its next try is long.
        if (i == 0)
            statusPanels[i]->setMinimumWidth(widths[i]);
        else
            statusPanels[i]->setFixedWidth(widths[i]);
        statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar->addWidget(statusPanels[i], i == 0 ? 1 : 0);
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
    addItem(file, "ImportaTunnel1", QStringLiteral("&Importa tunnel…"), &TMain::ImportaTunnel1Click);
    addItem(file, "ImportaDaSSH1", QStringLiteral("Importa da SSH/P&uTTY…"), &TMain::ImportaDaSSH1Click);
    QAction* exportSelected =
        addItem(file, "EsportaTunnel1", QStringLiteral("Es&porta tunnel…"), &TMain::EsportaTunnel1Click);
    exportSelected->setEnabled(false);
    connect(ListView1, &QListWidget::itemSelectionChanged, this,
            [this, exportSelected] { exportSelected->setEnabled(selectedItem() != nullptr); });
    addSeparator(file, "N6");
    addItem(file, "Opzioni1", QStringLiteral("&Opzioni"), &TMain::Opzioni1Click);
    addItem(file, "Esci1", QStringLiteral("&Esci"), &TMain::Esci1Click);

    QMenu* tunnels = addMenu("tunnell1", QStringLiteral("&Tunnells"));
    addItem(tunnels, "Aggiungi1", QStringLiteral("&Aggiungi"), &TMain::Aggiungi1Click);
    // With no tunnel selected there is nothing to edit: the item says so by being greyed.
    QAction* editSelected = addItem(tunnels, "Modifica1", QStringLiteral("&Modifica"), &TMain::ListView1DblClick);
    editSelected->setEnabled(false);
    connect(ListView1, &QListWidget::itemSelectionChanged, this,
            [this, editSelected] { editSelected->setEnabled(selectedItem() != nullptr); });
    // Del as in any list of files; the command asks before anything goes.
    addItem(tunnels, "Elimina1", QStringLiteral("&Elimina"), &TMain::Elimina2Click)->setShortcut(QKeySequence::Delete);
    addSeparator(tunnels, "N4");
    addItem(tunnels, "ConnettiTutti1", QStringLiteral("&Connetti tutti"), &TMain::ConnettiTutti1Click);
    addItem(tunnels, "DisconnettiTutti1", QStringLiteral("&Disconnetti tutti"), &TMain::DisconnettiTutti1Click);

    QMenu* view = addMenu("Vista1", QStringLiteral("&Vista"));
    QAction* details = addItem(view, "Dettagli1", QStringLiteral("&Dettagli"));
    details->setCheckable(true);
    details->setChecked(m_settings.detailsView);
    ListView1->setDetails(m_settings.detailsView);
    connect(details, &QAction::toggled, this, [this](bool on) { runCommand([this, on] { Dettagli1Click(on); }); });

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
    QAction* openSelected = addItem(PopupMenu1, "Apri1", QStringLiteral("A&pri"), &TMain::Apri1Click);
    QAction* reconnectSelected =
        addItem(PopupMenu1, "RiconnettiOra1", QStringLiteral("&Riconnetti ora"), &TMain::RiconnettiOra1Click);
    addItem(PopupMenu1, "Modifica2", QStringLiteral("&Modifica"), &TMain::ListView1DblClick);
    addItem(PopupMenu1, "Elimina2", QStringLiteral("&Elimina"), &TMain::Elimina2Click);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this, reconnectSelected, openSelected](const QPoint& at) {
                // Outside every item the commands must find no tunnel, not the one selected before.
                if (!ListView1->itemAt(at))
                    clearTunnelSelection();
                const QListWidgetItem* selected = selectedItem();
                reconnectSelected->setEnabled(selected && m_service.health(ListView1->tunnelOf(selected)).status ==
                                                              TunnelStatus::Failed);
                openSelected->setEnabled(selected && canOpen(ListView1->tunnelOf(selected)));
                PopupMenu1->exec(ListView1->viewport()->mapToGlobal(at));
            });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    // The tunnels come first, filled in each time the menu opens, so their states are current.
    auto* trayTunnels = new TrayTunnelMenu(PopupMenu2);
    trayTunnels->chosen = [this](const std::string& tunnel, bool connect) {
        runCommand([&] { connect ? connectTunnel(tunnel) : disconnectTunnel(tunnel); });
    };
    trayTunnels->canOpen = [this](const std::string& tunnel) { return canOpen(tunnel); };
    trayTunnels->opened = [this](const std::string& tunnel) { runCommand([&] { openTunnel(tunnel); }); };
    QAction* connectAll =
        addItem(PopupMenu2, "ConnettiTutti2", QStringLiteral("&Connetti tutti"), &TMain::ConnettiTutti1Click);
    QAction* disconnectAll =
        addItem(PopupMenu2, "DisconnettiTutti2", QStringLiteral("&Disconnetti tutti"), &TMain::DisconnettiTutti1Click);
    // "Riconnetti ora" is there only while a tunnel waits for its next try.
    QAction* reconnectAll =
        addItem(PopupMenu2, "RiconnettiOra2", QStringLiteral("&Riconnetti ora"), &TMain::RiconnettiOra2Click);
    addSeparator(PopupMenu2, "N5");
    addItem(PopupMenu2, "Visualizza1", QStringLiteral("&Visualizza Quorvane"), &TMain::Visualizza1Click);
    PopupMenu2->removeAction(reconnectAll);
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this, trayTunnels, connectAll, disconnectAll, reconnectAll] {
        PopupMenu2->removeAction(reconnectAll);
        trayTunnels->fill(
            *ListView1, [this](const std::string& tunnel) { return m_service.health(tunnel); }, m_windows.messages,
            !busy());
        for (QAction* all : {connectAll, disconnectAll})
            all->setEnabled(!busy() && ListView1->count() > 0);
        if (!waitingTunnels().empty()) {
            reconnectAll->setEnabled(!busy());
            PopupMenu2->insertAction(connectAll, reconnectAll);
        }
    });
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
    if (!m_settings.trayIconAlways)
        TrayBar->HideIcon();
    // A window minimised before it was hidden (by the user, or for want of a notification area)
    // would come back minimised, that is nowhere to be seen.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TMain::showTrayIconAsChosen() {
    if (isHidden())
        return; // hidden, the icon is the way back
    if (m_settings.trayIconAlways)
        TrayBar->ShowIcon();
    else
        TrayBar->HideIcon();
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

void TMain::showTunnels() {
    ListView1->showTunnels(m_service.tunnels());
    if (!m_loading)
        showHealth();
}

void TMain::checkprocessiTimer() {
    // The connection counts are taken only while the window is on screen: nothing else shows them.
    m_service.setCountsWanted(isVisible() && !isMinimized());
    m_service.pass(); // the new states come back through the service's events
}

void TMain::showHealth(bool onlyWhenChanged) {
    const std::optional<std::uint64_t> revision = m_service.statesRevision();
    // Only a state, a count or a minute up changes the rows and the selected tunnel's words: most passes change
    // none. A countdown has no revision, its words change every second. A new row, a new language or a rename
    // come with onlyWhenChanged false. The hint's own words may change on their own.
    const bool changed = !onlyWhenChanged || !revision || revision != m_shownRevision;
    if (changed) {
        m_shownRevision = revision;
        m_connectedShown = ListView1->showStates(
            [this](const std::string& tunnel) { return m_service.health(tunnel); }, m_windows.messages,
            [this](const std::string& tunnel) { return m_service.activity(tunnel); });
    }
    // The notification area tells at a glance whether anything is up; set only on a change.
    if (const bool anyUp = m_connectedShown > 0; anyUp != m_anyTunnelUp) {
        m_anyTunnelUp = anyUp;
        TrayBar->SetIcon(programIcon(anyUp));
    }
    TrayBar->SetStatus(trayHint(m_connectedShown));
    if (changed)
        showSelectedHealth();
}

void TMain::showSelectedHealth() {
    if (!m_windows.messages || SuppressEditor)
        return;
    const QListWidgetItem* item = selectedItem();
    // The state in words from the service, not from the row: a row just added has no tooltip yet, and
    // with nothing selected (after a delete) the panel must not keep naming a tunnel that is gone.
    QString text = m_windows.messages->Pronto();
    if (item) {
        const std::string tunnel = ListView1->tunnelOf(item);
        text = item->text() + QStringLiteral(": ") + statusText(m_service.health(tunnel), *m_windows.messages);
        if (const std::optional<TunnelActivity> activity = m_service.activity(tunnel))
            text += QStringLiteral(" · ") +
                    QString::fromStdString(activityWords(*activity, WindowMessages(*m_windows.messages, nullptr)));
    }
    if (statusPanels[0]->text() == text)
        return;
    statusPanels[0]->setText(text);
    statusPanels[0]->setToolTip(plainToolTip(text)); // the panel is narrow for a long reason
}

QString TMain::trayHint(int connected) const {
    if (ListView1->count() == 0 || !m_windows.messages)
        return {};
    // The hint a language file gives is the base of the counts ("%3: %1 di %2 tunnell connessi").
    return filled(m_windows.messages->TunnellConnessi(),
                  {QString::number(connected), QString::number(ListView1->count()), TrayBar->hintTitle()});
}

void TMain::clearTunnelSelection() {
    ListView1->clearSelection();
    ListView1->setCurrentItem(nullptr);
}

// ---- what the service tells ----

void TMain::present(const std::vector<Notice>& notices) {
    for (const Notice& notice : notices)
        present(notice);
}

void TMain::presentFound(const Notice& notice) {
    runCommand([&] { present(notice); });
}

void TMain::present(const Notice& notice) {
    if (!m_windows.texts)
        return;
    const NoticeWords words = noticeWords(notice, decodeFileText(notice.tunnel), *m_windows.texts);
    const QString text = QString::fromStdString(words.text);
    switch (notice.kind) {
    case NoticeKind::HostKeyOffered:
        // Trusted, the key goes into the definition and the client starts again.
        if (notice.failure.hostKey) {
            m_service.awaitUser(notice.tunnel, true); // not an error yet: the user has not answered
            const bool trusted = dialogs().question(text);
            m_service.awaitUser(notice.tunnel, false);
            // Offered the same server's same key meanwhile (a connect of all, a load): the answer serves them too.
            const std::vector<std::string> alike = m_pendingNotices.takeSameKeyOffers(notice);
            if (!trusted)
                return;
            const bool ofJumpHost = !notice.failure.hop.empty();
            present(m_service.trustHostKey(notice.tunnel, notice.failure.hostKey->fingerprint, ofJumpHost).notices);
            for (const std::string& tunnel : alike)
                present(m_service.trustHostKey(tunnel, notice.failure.hostKey->fingerprint, ofJumpHost).notices);
        }
        return;
    case NoticeKind::Dropped:
    case NoticeKind::Restored:
        notify(text, notice.kind == NoticeKind::Dropped); // back again is good news
        return;
    default:
        words.error ? dialogs().showError(errorBoxText(text)) : dialogs().showMessage(text);
    }
}

void TMain::presentTogether(const QString& heading, const BatchResult& batch) {
    if (!m_windows.texts)
        return;
    QStringList lines;
    bool error = false;
    for (const BatchResult::Outcome& outcome : batch.outcomes) {
        for (const Notice& notice : outcome.result.notices) {
            const std::string caption = decodeFileText(notice.tunnel);
            const NoticeWords words = noticeWords(notice, caption, *m_windows.texts);
            lines << QString::fromStdString(caption + ": " + words.text);
            error = error || words.error;
        }
    }
    if (lines.isEmpty())
        return;
    const QString text = heading + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
    error ? dialogs().showError(text) : dialogs().showMessage(text);
}

void TMain::notify(const QString& text, bool warning) {
    if (m_settings.notifications)
        TrayBar->ShowBalloon(QApplication::applicationName(), text, warning);
}

// ---- tunnel commands ----

void TMain::Aggiungi1Click() {
    TfMessage& messages = *m_windows.messages;
    const QString typed = dialogs().inputBox(messages.CreazTunnell(), messages.NomeDaAssegnare(), QString(), 255);
    const CommandResult added = m_service.add(typed.toStdString());
    present(added.notices);
    if (!added.done)
        return;
    // The new tunnel is the one the next command is about.
    ListView1->setCurrentItem(ListView1->item(ListView1->count() - 1));
    if (m_settings.editAfterAdd)
        ListView1DblClick();
}

void TMain::loadIntoEditor(const std::string& tunnel) {
    m_editorTunnel = tunnel;
    if (TShowTunn* editor = m_windows.editorIfMade ? m_windows.editorIfMade() : nullptr)
        fillEditor(*editor, tunnel);
}

void TMain::editorMade(TShowTunn& editor) {
    // A tunnel deleted or renamed meanwhile has nothing to load.
    if (!m_editorTunnel.empty() && m_service.has(m_editorTunnel))
        fillEditor(editor, m_editorTunnel);
}

void TMain::fillEditor(TShowTunn& editor, const std::string& tunnel) {
    const TunnelDefinition definition = m_service.definition(tunnel).definition;
    QStringList others;
    for (const std::string& other : m_service.tunnels()) {
        if (other != tunnel)
            others.push_back(QString::fromStdString(other));
    }
    editor.setJumpChoices(others, messageText(m_windows.messages, QStringLiteral("PassaggioNessuno")),
                          messageText(m_windows.messages, QStringLiteral("PassaggioSuggerimento")));
    editor.setDefinition(definition);
    bool approved[2] = {true, true};
    for (const ConnectPlan::Program& program : m_service.unapprovedPrograms(tunnel, definition))
        approved[program.slot == ProgramSlot::Before ? 0 : 1] = false;
    editor.setProgramsApproved(approved[0], approved[1]);
    editor.tunnelFolder = QString::fromStdString(m_service.clientFolder(tunnel));
    editor.setWindowTitle(
        filled(messageText(m_windows.messages, QStringLiteral("TitoloTunnell")), {tunnelCaption(tunnel)}));
    editor.setForwardHeaders({messageText(m_windows.messages, QStringLiteral("ColonnaTipo")),
                              messageText(m_windows.messages, QStringLiteral("ColonnaPortaLocale")),
                              messageText(m_windows.messages, QStringLiteral("ColonnaIndirizzo")),
                              messageText(m_windows.messages, QStringLiteral("ColonnaPorta"))},
                             {messageText(m_windows.messages, QStringLiteral("ColonnaPortaLocaleL")),
                              messageText(m_windows.messages, QStringLiteral("ColonnaPortaLocaleR")),
                              messageText(m_windows.messages, QStringLiteral("ColonnaPortaLocaleD"))});
}

void TMain::ListView1DblClick() {
    const QListWidgetItem* item = selectedItem();
    if (!item || !m_windows.editor)
        return;
    const std::string name = ListView1->tunnelOf(item);
    if (SuppressEditor) {
        loadIntoEditor(name);
        return;
    }
    TShowTunn& editor = *this->editor(); // made before it is loaded, so that it is loaded once
    loadIntoEditor(name);
    // Saved from the editor, a value the file held longer than it can be read would be lost for good.
    if (const DefinitionLoad load = m_service.definition(name); load.problem == DefinitionProblem::ValueCut) {
        dialogs().showError(errorBoxText(QString::fromStdString(load.message())));
        return;
    }
    editor.mxflatmaskedit1->setFocus();
    if (editor.exec() != QDialog::Accepted)
        return;
    const TunnelDefinition definition = editor.definition();
    if (const CommandResult saved = m_service.save(name, definition); !saved.done) {
        present(saved.notices);
        return;
    }
    if (editor.approves(ProgramSlot::Before) || editor.approves(ProgramSlot::After))
        present(m_service
                    .approvePrograms(name, definition, editor.approves(ProgramSlot::Before),
                                     editor.approves(ProgramSlot::After))
                    .notices);
    // A program the user typed in is theirs: it needs no question when opened.
    if (editor.approves(ProgramSlot::Open) && m_service.quickOpen(name).kind == QuickOpenKind::Program)
        present(m_service.approveQuickOpen(name, definition.Apri).notices);
}

std::function<bool(const ConnectPlan&)> TMain::approveFromWindow() {
    // Hidden (the notification area, a hidden start), nobody would see the question: the connect stops
    // and says why instead.
    if (!isVisible())
        return {};
    return [this](const ConnectPlan& plan) {
        const MessageSource& texts = *m_windows.texts;
        std::string programs = "\n\n";
        for (const ConnectPlan::Program& program : plan.unapproved)
            programs +=
                texts.fieldName(program.slot == ProgramSlot::Before ? ConnectField::Prima : ConnectField::Dopo) + ": " +
                program.command + "\n";
        return dialogs().question(QString::fromStdString(
            fillText(texts.text("ApprovaProgrammi"), {decodeFileText(plan.tunnel), programs + "\n"})));
    };
}

void TMain::showCommandLine(const ConnectPlan& plan) {
    // The password is shown masked and reaches the client through a file only this user can read.
    if (m_settings.showCommandLine)
        dialogs().showMessage(QString::fromStdString(plan.maskedCommandLine));
}

void TMain::AttivaTunnell1Click() {
    if (const QListWidgetItem* item = selectedItem())
        connectTunnel(ListView1->tunnelOf(item));
}

bool TMain::connectTunnel(const std::string& name) {
    QListWidgetItem* item = ListView1->itemOf(name);
    if (!item)
        return false;
    ListView1->setCurrentItem(item);
    loadIntoEditor(name); // the editor shows the tunnel that was connected
    const CommandResult result = m_service.connect(
        name, [this](const ConnectPlan& plan) { showCommandLine(plan); }, approveFromWindow());
    present(result.notices);
    checkprocessiTimer();
    return true;
}

void TMain::DisattivaTunnell1Click() {
    if (const QListWidgetItem* item = selectedItem())
        disconnectTunnel(ListView1->tunnelOf(item));
}

bool TMain::disconnectTunnel(const std::string& name) {
    QListWidgetItem* item = ListView1->itemOf(name);
    if (!item)
        return false;
    ListView1->setCurrentItem(item);
    present(m_service.disconnect(name).notices);
    return true;
}

bool TMain::canOpen(const std::string& tunnel) const {
    return m_service.health(tunnel).status == TunnelStatus::Connected &&
           m_service.quickOpen(tunnel).kind != QuickOpenKind::Nothing;
}

void TMain::Apri1Click() {
    if (const QListWidgetItem* item = selectedItem())
        openTunnel(ListView1->tunnelOf(item));
}

bool TMain::openTunnel(const std::string& name) {
    if (!ListView1->itemOf(name) || !canOpen(name))
        return false;
    const QuickOpen open = m_service.quickOpen(name);
    if (open.kind == QuickOpenKind::Url) {
        openAddress(name, open.target);
        return true;
    }
    // A definition may come from someone else: its program runs once the user has seen it whole.
    bool approve = false;
    if (open.kind == QuickOpenKind::Program && !m_service.quickOpenApproved(name)) {
        if (!dialogs().question(QString::fromStdString(fillText(
                wordsOf(m_windows.texts).text("ApprovaApri"), {decodeFileText(name), "\n\n" + open.target + "\n\n"}))))
            return false;
        approve = true;
    }
    const CommandResult result = m_service.openProgram(name, approve);
    present(result.notices);
    return result.done;
}

void TMain::openAddress(const std::string& tunnel, const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    const MessageSource& texts = wordsOf(m_windows.texts);
    if (!address.isValid()) {
        dialogs().showError(errorBoxText(QString::fromStdString(
            quickOpenRefusal(decodeFileText(tunnel), url, QuickOpenProblem::BadAddress, texts))));
        return;
    }
    if (!dialogs().openUrl(address))
        dialogs().showError(errorBoxText(QString::fromStdString(fillText(texts.text("ApriNonRiuscito"), {url}))));
}

void TMain::Dettagli1Click(bool on) {
    if (m_settings.detailsView == on)
        return;
    m_settings.detailsView = on;
    ListView1->setDetails(on);
    if (!saveProgramSettings(m_service.folders().data, m_settings))
        dialogs().showError(errorBoxText(filled(messageText(m_windows.messages, QStringLiteral("OpzioniNonSalvate")),
                                                {QString::fromStdString(settingsFile(m_service.folders().data))})));
}

void TMain::RiconnettiOra1Click() {
    if (const QListWidgetItem* item = selectedItem()) {
        present(m_service.reconnectNow(ListView1->tunnelOf(item)).notices);
        checkprocessiTimer();
    }
}

void TMain::RiconnettiOra2Click() {
    for (const std::string& tunnel : waitingTunnels())
        present(m_service.reconnectNow(tunnel).notices);
    checkprocessiTimer();
}

void TMain::ConnettiTutti1Click() {
    presentTogether(messageText(m_windows.messages, QStringLiteral("EsitoConnettiTutti")),
                    m_service.connectAll(approveFromWindow()));
    checkprocessiTimer();
}

void TMain::DisconnettiTutti1Click() {
    presentTogether(messageText(m_windows.messages, QStringLiteral("EsitoDisconnettiTutti")),
                    m_service.disconnectAll());
    checkprocessiTimer();
}

std::vector<std::string> TMain::waitingTunnels() const {
    std::vector<std::string> waiting;
    for (const std::string& tunnel : m_service.tunnels()) {
        if (m_service.health(tunnel).retryIn)
            waiting.push_back(tunnel);
    }
    return waiting;
}

void TMain::RenameTunnel(QListWidgetItem* item, const QString& newName) {
    if (!item || newName == item->text())
        return;
    // The caption follows through the service's list, and only a rename that happened.
    present(m_service.rename(ListView1->tunnelOf(item), newName.toStdString()).notices);
}

void TMain::Elimina2Click() {
    const QListWidgetItem* item = selectedItem();
    if (!item)
        return;
    const std::string name = ListView1->tunnelOf(item);
    const TunnelService::RemovalCheck check = m_service.checkRemoval(name);
    if (!check.notices.empty()) {
        present(check.notices);
        return;
    }
    // The folder goes with its definition and keys: there is no way back, so the user says so first.
    if (check.needsConfirmation &&
        !dialogs().question(filled(m_windows.messages->ConfermaEliminazione(), {item->text()})))
        return;
    const CommandResult removed = m_service.remove(name);
    present(removed.notices);
    if (removed.done)
        clearTunnelSelection(); // the next row must not become the target of the next command
}

// ---- export and import ----

void TMain::EsportaTunnel1Click() {
    const QListWidgetItem* item = selectedItem();
    if (!item)
        return;
    const std::string name = ListView1->tunnelOf(item);
    const QString file = dialogs().saveFileName(messageText(m_windows.messages, QStringLiteral("TitoloEsporta")),
                                                item->text() + QStringLiteral(".tun"),
                                                messageText(m_windows.messages, QStringLiteral("FiltroDefinizioni")));
    if (file.isEmpty())
        return;
    // Whoever gets the file gets what it holds: the secrets go only when the user says so.
    const bool withSecrets =
        dialogs().question(filled(messageText(m_windows.messages, QStringLiteral("EsportaSegreti")), {item->text()}));
    present(m_service.exportTunnel(name, file.toStdString(), withSecrets).notices);
}

void TMain::ImportaTunnel1Click() {
    const QString file = dialogs().openFileName(messageText(m_windows.messages, QStringLiteral("TitoloImporta")),
                                                messageText(m_windows.messages, QStringLiteral("FiltroDefinizioni")));
    if (file.isEmpty())
        return;
    const TunnelService::ImportCheck check = m_service.checkImport(file.toStdString());
    present(check.notices);
    if (!check.definition)
        return;
    const std::optional<QString> name = dialogs().askText(
        messageText(m_windows.messages, QStringLiteral("TitoloImporta")),
        messageText(m_windows.messages, QStringLiteral("NomeDaAssegnare")), tunnelCaption(check.name), 255);
    if (!name)
        return;
    const std::string tunnel = name->toStdString();
    const CommandResult imported = m_service.importTunnel(tunnel, *check.definition);
    present(imported.notices);
    if (imported.done)
        ListView1->setCurrentItem(ListView1->itemOf(tunnel)); // the next command is about it, as after an add
}

void TMain::ImportaDaSSH1Click() {
    TImportList* list = m_windows.importList ? m_windows.importList() : nullptr;
    if (!list || !m_windows.editor)
        return;
    const std::vector<ImportCandidate> found = findImportCandidates(m_importHome);
    if (found.empty()) {
        dialogs().showMessage(filled(messageText(m_windows.messages, QStringLiteral("ImportaNienteTrovato")),
                                     {QString::fromStdString(m_importHome)}));
        return;
    }
    std::vector<ImportRow> rows;
    for (const ImportCandidate& candidate : found)
        rows.push_back(importRowOf(candidate, *editor(), *m_windows.messages));
    list->setColumnTitles(importColumnTitles(*m_windows.messages));
    std::vector<ImportCandidate> chosen;
    for (const std::size_t row : list->choose(rows))
        chosen.push_back(found[row]);
    if (chosen.empty())
        return;
    std::vector<std::string> made;
    const CommandResult imported = m_service.importCandidates(chosen, made);
    present(imported.notices);
    if (made.empty())
        return;
    ListView1->setCurrentItem(ListView1->itemOf(made.front()));
    QStringList names;
    for (const std::string& name : made)
        names << tunnelCaption(name);
    dialogs().showMessage(
        filled(messageText(m_windows.messages, QStringLiteral("ImportaFatto")), {names.join(QStringLiteral(", "))}));
}

// ---- options ----

void TMain::Opzioni1Click() {
    const ProgramFolders& folders = m_service.folders();
    TOptions* options = m_windows.options ? m_windows.options() : nullptr;
    if (!options)
        return;
    const ProgramSettings shown = settingsToShow(folders.data, m_settings);
    options->setSettings(shown, languageFiles(folders.program));
    if (options->exec() != QDialog::Accepted)
        return;
    ProgramSettings chosen = options->settings();
    if (chosen.language == shown.language)
        chosen.language = m_settings.language; // left as it was: nothing to copy
    applyOptions(chosen);
}

void TMain::applyOptions(const ProgramSettings& chosen) {
    const ProgramFolders& folders = m_service.folders();
    const KeptSettings kept = keepProgramSettings(folders.program, folders.data, m_settings, chosen);
    const TfMessage& messages = *m_windows.messages;
    if (!kept.languageNotCopied.empty())
        dialogs().showError(
            errorBoxText(filled(messages.LinguaNonApplicata(), {QString::fromStdString(chosen.language),
                                                                QString::fromStdString(kept.languageNotCopied)})));
    if (!kept.startAtLoginNotSet.empty())
        dialogs().showError(
            errorBoxText(filled(messageText(m_windows.messages, QStringLiteral("AvvioAccessoNonImpostato")),
                                {QString::fromStdString(kept.startAtLoginNotSet)})));
    if (!kept.saved)
        dialogs().showError(
            errorBoxText(filled(messages.OpzioniNonSalvate(), {QString::fromStdString(settingsFile(folders.data))})));
    const bool languageChanged = kept.settings.language != m_settings.language;
    m_settings = kept.settings;
    showTrayIconAsChosen();
    if (languageChanged)
        applyLanguage();
}

void TMain::readLanguageFile() {
    const std::string file = paths::LanguageFile(m_service.folders().data);
    if (!m_qtWords)
        m_qtWords = std::make_unique<QtTranslations>(QString::fromStdString(m_service.folders().program));
    m_qtWords->follow(file);
    language->ApplyLanguageFile(QString::fromStdString(file));
    // A bad entry is told, and costs nothing else.
    if (const QStringList problems = language->lastProblems(); !problems.isEmpty())
        dialogs().showError(errorBoxText(problems.join(QLatin1Char('\n'))));
}

void TMain::applyLanguage() {
    readLanguageFile();
    if (m_windows.messages) {
        showColumnTitles();
        ListView1->setEmptyHint(m_windows.messages->SuggerimentoVuoto());
        Filtro->setPlaceholderText(m_windows.messages->text(QStringLiteral("SuggerimentoFiltro")));
        if (!selectedItem())
            statusPanels[0]->setText(m_windows.messages->Pronto());
    }
    showHealth(); // texts made from messages follow the new language
}

void TMain::showColumnTitles() {
    ListView1->setColumnTitles({m_windows.messages->text(QStringLiteral("ColonnaNome")),
                                m_windows.messages->text(QStringLiteral("ColonnaStato")),
                                m_windows.messages->text(QStringLiteral("ColonnaConnessioni")),
                                m_windows.messages->text(QStringLiteral("ColonnaAttivoDa"))});
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
    if (TKeyGenerator* generator = m_windows.keyGenerator ? m_windows.keyGenerator() : nullptr) {
        generator->setDefaultFolder(QString::fromStdString(fs::resolve(m_service.folders().data)));
        generator->exec();
        return;
    }
    // Elsewhere the key generator has a window of its own.
    m_service.openKeyGenerator();
}

void TMain::LicenzaPutty1Click() {
    m_windows.licence()->load(QStringLiteral("Putty Licence"), paths::PuttyLicence(m_service.folders().program));
    m_windows.licence()->exec();
}

void TMain::LicenzaQuorvane1Click() {
    m_windows.licence()->load(QStringLiteral("Quorvane Licence"), paths::ProgramLicence(m_service.folders().program));
    m_windows.licence()->exec();
}

void TMain::Autore1Click() {
    m_windows.about()->exec();
}

void TMain::Visitasitoweb1Click() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(TAboutBox::kWebAddress)));
}

// ---- load sequence ----

void TMain::FormShow() {
    // However the sequence ends, the editor is usable afterwards.
    struct Lower {
        bool& suppress;
        bool& loading;
        ~Lower() { suppress = loading = false; }
    } lower{SuppressEditor, m_loading};
    m_loading = SuppressEditor = true;
    // A bad entry is told, and costs nothing else: the tunnels are listed and connected all the same.
    // The texts made from messages are set at the end of the sequence.
    readLanguageFile();

    // Let timer ticks and painting through while the folders are read, but no user input: a command
    // started in the middle of the rebuild would act on a half-filled list. A few times a frame is
    // enough for that; once per entry would cost more than the reading.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    LoadHooks hooks;
    hooks.letEventsThrough = [&sinceEvents] {
        if (sinceEvents.elapsed() < kListingEventsEveryMs)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceEvents.restart();
    };
    hooks.reading = [this](const std::string& tunnel) {
        statusPanels[0]->setText(
            filled(messageText(m_windows.messages, QStringLiteral("TitoloTunnell")), {tunnelCaption(tunnel)}));
    };
    hooks.approve = approveFromWindow();
    hooks.beforeStart = [this](const ConnectPlan& plan) {
        ListView1->setCurrentItem(ListView1->itemOf(plan.tunnel));
        showCommandLine(plan);
    };
    // The rows are drawn and laid out while the definitions are read.
    hooks.listed = [this] {
        ListBox1->clear(); // the hidden list of names, as the folders hold them
        for (const std::string& tunnel : m_service.tunnels())
            ListBox1->addItem(tunnelCaption(tunnel));
        // Pictures and tooltips before the selection: selecting lays the list out, and a change to every row
        // after that would have it laid out again at the first paint.
        showHealth();
        if (const int rows = ListView1->count(); rows > 0)
            ListView1->selectFirstTime(rows - 1);
    };
    LoadReport report;
    {
        // One pass over every picture and tooltip afterwards, not one per row.
        const QSignalBlocker quiet(ListView1);
        report = m_service.load(hooks);
        // The editor ends holding the last tunnel, as if each had been loaded in turn; an automatic connect
        // selected its own row meanwhile.
        if (const int rows = ListView1->count(); rows > 0) {
            if (ListView1->currentRow() != rows - 1)
                ListView1->setCurrentRow(rows - 1);
            loadIntoEditor(ListView1->tunnelOf(ListView1->item(rows - 1)));
        }
    }
    m_loading = false;
    // The last row was selected while the list was quiet: the commands that need a selection follow it now.
    Q_EMIT ListView1->itemSelectionChanged();
    showHealth(true);
    SuppressEditor = false;
    statusPanels[0]->setText(m_windows.messages ? m_windows.messages->Pronto() : QStringLiteral("Pronto"));
    if (m_windows.messages) {
        ListView1->setEmptyHint(m_windows.messages->SuggerimentoVuoto());
        Filtro->setPlaceholderText(m_windows.messages->text(QStringLiteral("SuggerimentoFiltro")));
        showColumnTitles();
    }
    present(report.notices);
    // A settings file that could not be read is told once; the defaults hold meanwhile.
    if (!m_settings.problem.empty())
        report.unusable.insert(report.unusable.begin(), std::exchange(m_settings.problem, {}));
    if (!report.unusable.empty()) {
        QStringList unusable;
        for (const std::string& message : report.unusable)
            unusable << QString::fromStdString(message);
        dialogs().showError(errorBoxText(unusable.join(QLatin1Char('\n'))));
    }
}

} // namespace quorvane
