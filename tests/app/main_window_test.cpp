// The main window as built: its controls and menus by design name, hiding to the notification area.
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "desktop/tray_icon.h"
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
    EXPECT_EQ(hidden.join(", ").toStdString(), "RASManager1:RAS Manager, :Processi");

    QStringList topLevel;
    for (QAction* entry : window.menuBar()->actions()) {
        if (entry->isVisible())
            topLevel << entry->text();
    }
    EXPECT_EQ(topLevel, (QStringList{"&File", "Tunnells", "Tools", "?"}));

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
    QTimer::singleShot(5000, [&] { QCoreApplication::exit(1); });
    loopEnded = QCoreApplication::exec() == 0;
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
