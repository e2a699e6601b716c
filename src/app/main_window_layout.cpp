// The main window's widgets and menus, built once with their design names, and the details view's column titles.
#include "app/main_window.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/hidden_file_list.h"
#include "app/tray_tunnel_menu.h"
#include "app/tunnel_filter.h"
#include "app/tunnel_list_view.h"
#include "app/tunnel_name_delegate.h"
#include "desktop/artwork.h"
#include "desktop/dialog_service.h"
#include "desktop/elided_label.h"
#include "i18n/message_texts.h"

namespace quorvane {

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
    details->setChecked(m_options.settings().detailsView);
    ListView1->setDetails(m_options.settings().detailsView);
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

void TMain::showColumnTitles() {
    ListView1->setColumnTitles({m_windows.messages->text(QStringLiteral("ColonnaNome")),
                                m_windows.messages->text(QStringLiteral("ColonnaStato")),
                                m_windows.messages->text(QStringLiteral("ColonnaConnessioni")),
                                m_windows.messages->text(QStringLiteral("ColonnaAttivoDa"))});
}

} // namespace quorvane
