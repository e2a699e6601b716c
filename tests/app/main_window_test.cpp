// The main window as built: its controls and menus by design name, hiding to the notification area.
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

#include "desktop/elided_label.h"
#include "desktop/tray_icon.h"
#include "i18n/language_engine.h"
#include "store/program_settings.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace quorvane::test {
namespace {

QAction* action(TMain& window, const char* name) {
    return window.findChild<QAction*>(QLatin1String(name));
}

TEST(MainWindow, ShowsEveryMenuButTheDialUpAndProcessEntriesAndRunsTheMonitor) {
    AppFixture f;
    TMain& window = f.main();
    // Every item's name is reached by the shipped language files; here only what is shown.
    QStringList hidden;
    for (QAction* item : window.findChildren<QAction*>()) {
        if (!item->isVisible())
            hidden << item->objectName() + ":" + item->text();
    }
    EXPECT_EQ(hidden.join(", ").toStdString(), "RASManager1:&RAS Manager, :&Processi");

    QStringList topLevel;
    for (QAction* entry : window.menuBar()->actions()) {
        if (entry->isVisible())
            topLevel << entry->text();
    }
    EXPECT_EQ(topLevel, (QStringList{"&File", "&Tunnells", "&Vista", "T&ools", "&?"}));

    EXPECT_TRUE(window.checkprocessi->isActive()) << "the monitor runs from the start";
    EXPECT_FALSE(window.ListBox1->isVisibleTo(&window));
    EXPECT_EQ(window.TrayBar->Hint(), QStringLiteral("Quorvane"));
}

TEST(MainWindow, TrayIconIsPresentExactlyWhileTheWindowIsHidden) {
    AppFixture f;
    EXPECT_TRUE(f.tray.shown) << "the icon is added when the window is created";
    f.app().start();
    EXPECT_FALSE(f.tray.shown);
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_EQ(f.main().statusPanels[0]->text(), QStringLiteral("Pronto"));

    // Close box, Alt+F4 and the system menu all arrive as a close request: it hides.
    EXPECT_FALSE(f.main().close());
    EXPECT_FALSE(f.main().isVisible());
    EXPECT_TRUE(f.tray.shown);
    EXPECT_EQ(f.tray.tip, QStringLiteral("Quorvane"));

    // The notification area's double click restores and runs the load sequence again.
    f.folder.makeFolder("tunnells/Office");
    f.main().TrayBar->handleMouseMessage(TrayMouseMessage::LButtonDblClk);
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_FALSE(f.tray.shown);
    EXPECT_EQ(f.main().ListView1->count(), 1);
    // A window minimised before it went to the notification area comes back as a normal window,
    // and whatever the load sequence met, the editor is not left suppressed.
    f.main().showMinimized();
    f.main().Nascondi1Click();
    f.main().Visualizza1Click();
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_FALSE(f.main().isMinimized());
    EXPECT_FALSE(f.main().SuppressEditor);
}

// A long state is cut with "…" where the panel ends, never mid-letter, and never widens the window.
TEST(MainWindow, TheStatePanelCutsALongReasonWithAnEllipsis) {
    AppFixture f;
    f.app().start();
    f.main().resize(500, 400);
    auto* panel = qobject_cast<ElidedLabel*>(f.main().statusPanels[0]);
    ASSERT_TRUE(panel);
    panel->setText(QStringLiteral("Magazzino: Errore: ") + QString(200, u'x'));
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel->shownText().startsWith(QStringLiteral("Magazzino: Errore: x")));
    EXPECT_TRUE(panel->shownText().endsWith(QChar(0x2026))) << panel->shownText().toStdString();
    EXPECT_LE(f.main().width(), 500);
}

TEST(MainWindow, WithoutANotificationAreaClosingMinimisesInsteadOfLosingTheWindow) {
    AppFixture f;
    f.app().start();
    f.tray.refuse = true;
    EXPECT_FALSE(f.main().close());
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_TRUE(f.main().isMinimized());
    EXPECT_FALSE(f.main().TrayBar->Active());
}

TEST(MainWindow, ExitEndsTheEventLoopAndLetsTheWindowClose) {
    AppFixture f;
    f.app().start();
    bool loopEnded = false;
    QTimer::singleShot(0, [&] { action(f.main(), "Esci2")->trigger(); });
    // Tied to the window, so a guard left over cannot end a loop of a later test.
    QTimer::singleShot(5000, &f.main(), [] { QCoreApplication::exit(1); });
    loopEnded = QCoreApplication::exec() == 0;
    // The quit request may still be queued; left there it would end a dialog of a later test.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    EXPECT_TRUE(loopEnded);
    EXPECT_TRUE(f.main().close()) << "after Esci a close request is no longer turned into a hide";
}

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt) {
    for (const auto& [text, shown] : {std::pair{"Unable to write to x", "Unable to write to x."},
                                      {"Already.", "Already."},
                                      {"Why!", "Why!"},
                                      {"port 22", "port 22."},
                                      {"(x)", "(x)"},
                                      {"", ""}})
        EXPECT_EQ(errorBoxText(QString::fromUtf8(text)), QString::fromUtf8(shown)) << text;
}

TEST(ErrorBox, CommandsThatFailShowTheErrorAndTheProgramGoesOn) {
    ScriptedDialogs dialogs;
    runCommand([] { throw std::runtime_error("'abc' is not a valid integer value"); });
    EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("'abc' is not a valid integer value.")});
}

} // namespace
} // namespace quorvane::test

namespace quorvane::test {
namespace {

// The options are kept in the data folder, a new language shows at once, Italian comes back, and a
// start after that reads them; the command line box stays away when switched off.
TEST(ProgramOptions, AreSavedAppliedAtOnceAndReadAtTheNextStart) {
    AppFixture f;
    f.folder.makeFolder("lang");
    f.folder.makeFolder("tunnells/Office");
    SaveDefinition(f.workingDir(), "Office", {"127.0.0.1", "22", "u", "pw", "9001", "h", "80", false});
    for (const char* file : {"english.lng", "italiano.lng"})
        std::filesystem::copy_file(std::string(QUORVANE_LANG_DIR) + "/" + file,
                                   f.folder.file(std::string("lang/") + file),
                                   std::filesystem::copy_options::overwrite_existing);
    f.app().start();
    ProgramSettings chosen = f.main().settings();
    chosen.showCommandLine = false;
    chosen.language = "english.lng";
    f.main().applyOptions(chosen);
    EXPECT_EQ(action(f.main(), "Aggiungi1")->text(), QStringLiteral("&Add"));
    EXPECT_EQ(f.folder.read("default.lng"), f.folder.read("lang/english.lng"));
    EXPECT_TRUE(f.dialogs.errors.isEmpty());

    f.buildApp();
    f.app().start();
    EXPECT_EQ(action(f.main(), "Aggiungi1")->text(), QStringLiteral("&Add")) << "default.lng is read at start";
    EXPECT_FALSE(f.main().settings().showCommandLine);
    f.dialogs.messages.clear();
    EXPECT_TRUE(f.main().connectTunnel("Office"));
    EXPECT_TRUE(f.dialogs.messages.isEmpty()) << "no command line box";
    EXPECT_EQ(f.launcher->requests.size(), 1u);

    chosen.language = "italiano.lng";
    f.main().applyOptions(chosen);
    EXPECT_EQ(action(f.main(), "Aggiungi1")->text(), QStringLiteral("&Aggiungi"));

    // The icon stays in the notification area with the window open only when asked, at once and at the next start.
    EXPECT_FALSE(f.tray.shown);
    chosen.trayIconAlways = true;
    f.main().applyOptions(chosen);
    EXPECT_TRUE(f.tray.shown);
    f.main().Nascondi1Click();
    f.main().Visualizza1Click();
    EXPECT_TRUE(f.tray.shown) << "kept when the window comes back";
    f.buildApp();
    f.app().start();
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_TRUE(f.tray.shown);
    chosen.trayIconAlways = false;
    f.main().applyOptions(chosen);
    EXPECT_FALSE(f.tray.shown);

    // A language file that went missing is told, and the one in use stays chosen.
    chosen.language = "klingon.lng";
    f.main().applyOptions(chosen);
    EXPECT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_EQ(loadProgramSettings(f.workingDir()).language, "italiano.lng");
}

// The tray menu lists the tunnels with their states above its own commands; choosing one connects
// or disconnects it; the tooltip counts the connected ones. With the option set, the program starts
// there and the tunnels are listed all the same.
TEST(TrayMenu, ListsTunnelsToConnectAndDisconnectAndStartsThereWhenAsked) {
    AppFixture f;
    for (const auto& [name, port] : {std::pair{"Casa", "9001"}, std::pair{"Office", "9002"}}) {
        f.folder.makeFolder(std::string("tunnells/") + name);
        SaveDefinition(f.workingDir(), name, {"127.0.0.1", "22", "u", "pw", port, "h", "80", false});
    }
    ProgramSettings settings;
    settings.startHidden = true;
    ASSERT_TRUE(saveProgramSettings(f.workingDir(), settings));
    f.buildApp();
    f.app().start();
    EXPECT_FALSE(f.main().isVisible());
    EXPECT_TRUE(f.tray.shown);
    ASSERT_EQ(f.main().ListView1->count(), 2) << "the load sequence ran";

    f.startClient("Office");
    f.main().checkprocessiTimer();
    EXPECT_EQ(f.tray.tip, QStringLiteral("Quorvane: 1 di 2 tunnell connessi"));
    f.main().language->ApplyEntry(QStringLiteral("Main.TrayBar.Hint"), QStringLiteral("Ufficio|help"));
    f.main().checkprocessiTimer();
    EXPECT_EQ(f.tray.tip, QStringLiteral("Ufficio: 1 di 2 tunnell connessi")) << "a language file's hint is the base";
    QMenu* menu = f.main().PopupMenu2;
    emit menu->aboutToShow();
    emit menu->aboutToShow(); // filled afresh, not twice
    QStringList entries;
    for (const QAction* entry : menu->actions())
        entries << (entry->isSeparator() ? "-" : entry->text() + (entry->isChecked() ? " [x]" : ""));
    EXPECT_EQ(entries, (QStringList{"Casa\tNon connesso", "Office\tConnesso [x]", "-", "&Connetti tutti",
                                    "&Disconnetti tutti", "-", "&Visualizza Quorvane", "&Esci da Quorvane"}));

    menu->actions()[0]->trigger();
    EXPECT_EQ(f.launcher->requests.size(), 1u) << "Casa connected";
    menu->actions()[1]->trigger();
    EXPECT_EQ(f.processes->running.size(), 1u) << "Office stopped, Casa still up";
}

// A connected tunnel's connections and time up in its tooltip, the status bar and the details' columns; the
// details are kept for the next start; "Apri" opens the address with the port filled in, and refuses a file.
TEST(MainWindow, ShowsConnectionsInDetailsAndOpensWhatATunnelNames) {
    AppFixture f;
    f.folder.makeFolder("tunnells/Office");
    TunnelDefinition definition{"127.0.0.1", "22", "u", "pw", "9002", "h", "80", false};
    definition.Apri = "http://127.0.0.1:{porta}/";
    SaveDefinition(f.workingDir(), "Office", definition);
    f.app().start();
    f.startClient("Office");
    f.sockets->connections[9002] = 2;
    f.main().checkprocessiTimer();
    ASSERT_TRUE(f.select("Office"));
    const QListWidgetItem* row = f.main().ListView1->item(0);
    EXPECT_EQ(row->toolTip(), QStringLiteral("Connesso\n2 connessioni · attivo da meno di 1 min"));
    EXPECT_EQ(f.main().statusPanels[0]->text(),
              QStringLiteral("Office: Connesso · 2 connessioni · attivo da meno di 1 min"));

    action(f.main(), "Dettagli1")->trigger();
    EXPECT_TRUE(f.main().ListView1->details());
    EXPECT_EQ(f.main().ListView1->columnHeader()->model()->headerData(1, Qt::Horizontal), QStringLiteral("Stato"))
        << "titles set before the header was made";
    EXPECT_EQ(TunnelListView::columnText(row, 2), QStringLiteral("2"));
    EXPECT_EQ(TunnelListView::columnText(row, 3), QStringLiteral("meno di 1 min"));
    // Hidden in the notification area nothing shows the counts, and passes take no look for them.
    f.main().Nascondi1Click();
    const int looks = f.sockets->connectionLooks;
    f.main().checkprocessiTimer();
    EXPECT_EQ(f.sockets->connectionLooks, looks);
    f.buildApp();
    f.app().start();
    EXPECT_TRUE(f.main().ListView1->details()) << "kept in the settings";
    EXPECT_TRUE(action(f.main(), "Dettagli1")->isChecked());
    f.startClient("Office");
    f.main().checkprocessiTimer();

    QMenu* tray = f.main().PopupMenu2;
    emit tray->aboutToShow();
    const QList<QAction*> entries = tray->actions();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[1]->text(), QStringLiteral("    Apri Office"));
    entries[1]->trigger();
    EXPECT_EQ(f.dialogs.openedUrls, QStringList{"http://127.0.0.1:9002/"});

    definition.Apri = "file:///etc/passwd";
    SaveDefinition(f.workingDir(), "Office", definition);
    ASSERT_TRUE(f.select("Office"));
    f.main().Apri1Click();
    EXPECT_EQ(f.dialogs.openedUrls.size(), 1);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("si aprono solo indirizzi http://")))
        << f.dialogs.errors[0].toStdString();
}

} // namespace
} // namespace quorvane::test
