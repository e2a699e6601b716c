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

} // namespace

TMain::TMain(AppWindows& windows, TunnelService& service, ServiceEvents& events,
             std::unique_ptr<TrayBackend> trayBackend)
    : m_options(service.folders()), m_windows(windows), m_service(service) {
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
    if (!m_options.settings().trayIconAlways)
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
    if (m_options.settings().trayIconAlways)
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

void TMain::presentFound(const Notice& notice) {
    runCommand([&] { present(notice); });
}

void TMain::notify(const QString& text, bool warning) {
    if (m_options.settings().notifications)
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
    if (m_options.settings().editAfterAdd)
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

void TMain::selectRow(const std::string& tunnel) {
    if (QListWidgetItem* item = ListView1->itemOf(tunnel); item && ListView1->currentItem() != item)
        ListView1->setCurrentItem(item);
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
    const CommandResult result = m_service.connect(name, m_prompts);
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
        if (!dialogs().question(QString::fromStdString(fillText(wordsOf(m_windows.texts).text("ApprovaApri"),
                                                                {tunnelText(name), "\n\n" + open.target + "\n\n"}))))
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
        dialogs().showError(errorBoxText(
            QString::fromStdString(quickOpenRefusal(tunnelText(tunnel), url, QuickOpenProblem::BadAddress, texts))));
        return;
    }
    if (!dialogs().openUrl(address))
        dialogs().showError(errorBoxText(QString::fromStdString(fillText(texts.text("ApriNonRiuscito"), {url}))));
}

void TMain::Dettagli1Click(bool on) {
    if (m_options.settings().detailsView == on)
        return;
    m_options.settings().detailsView = on;
    ListView1->setDetails(on);
    if (!m_options.save())
        dialogs().showError(errorBoxText(
            filled(messageText(m_windows.messages, QStringLiteral("OpzioniNonSalvate")), {m_options.settingsFile()})));
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
    PromptsWithoutCommandLine allPrompts(m_prompts);
    presentTogether(messageText(m_windows.messages, QStringLiteral("EsitoConnettiTutti")),
                    m_service.connectAll(allPrompts));
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
    if (const QListWidgetItem* item = selectedItem())
        transfers().exportTunnel(ListView1->tunnelOf(item), item->text());
}

void TMain::ImportaTunnel1Click() {
    // The next command is about it, as after an add.
    if (const std::string made = transfers().importFile(); !made.empty())
        ListView1->setCurrentItem(ListView1->itemOf(made));
}

void TMain::ImportaDaSSH1Click() {
    TImportList* list = m_windows.importList ? m_windows.importList() : nullptr;
    if (!list || !m_windows.editor)
        return;
    if (const std::vector<std::string> made = transfers().importFromSsh(m_importHome, *list, *editor()); !made.empty())
        ListView1->setCurrentItem(ListView1->itemOf(made.front()));
}

TransferCommands TMain::transfers() {
    return TransferCommands(m_service, m_windows.messages,
                            [this](const std::vector<Notice>& notices) { present(notices); });
}

// ---- options ----

void TMain::Opzioni1Click() {
    TOptions* options = m_windows.options ? m_windows.options() : nullptr;
    if (!options || !m_windows.messages)
        return;
    const bool languageChanged = m_options.edit(*options, *m_windows.messages);
    showTrayIconAsChosen();
    if (languageChanged)
        applyLanguage();
}

void TMain::applyOptions(const ProgramSettings& chosen) {
    if (!m_windows.messages)
        return;
    const bool languageChanged = m_options.apply(chosen, *m_windows.messages);
    showTrayIconAsChosen();
    if (languageChanged)
        applyLanguage();
}

void TMain::readLanguageFile() {
    m_options.readLanguage(*language);
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
        generator->setDefaultFolder(m_options.dataFolder());
        generator->exec();
        return;
    }
    // Elsewhere the key generator has a window of its own.
    m_service.openKeyGenerator();
}

void TMain::LicenzaPutty1Click() {
    m_windows.licence()->load(QStringLiteral("Putty Licence"), m_options.puttyLicence());
    m_windows.licence()->exec();
}

void TMain::LicenzaQuorvane1Click() {
    m_windows.licence()->load(QStringLiteral("Quorvane Licence"), m_options.programLicence());
    m_windows.licence()->exec();
}

void TMain::Autore1Click() {
    m_windows.about()->exec();
}

void TMain::Visitasitoweb1Click() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(TAboutBox::kWebAddress)));
}

} // namespace quorvane
