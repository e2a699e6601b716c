// The load sequence on every change from hidden to visible: language, list rebuild, automatic connections.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/tunnel_editor.h"
#include "desktop/options_dialog.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace quorvane::test {
namespace {

void makeTunnel(AppFixture& f, const std::string& name, bool autoConnect, const std::string& user = "u") {
    f.folder.makeFolder("tunnells/" + name);
    SaveDefinition(f.workingDir(), name, {"127.0.0.1", "22", user, "pw", "9001", "127.0.0.1", "80", autoConnect});
}

TEST(LoadSequence, ListsTunnelsSortedAndConnectsTheMarkedOnesInListOrder) {
    AppFixture f;
    makeTunnel(f, "charlie", true, "third");
    makeTunnel(f, "Bravo", false, "second");
    makeTunnel(f, "alpha", true, "first");
    QStringList statusWhileConnecting;
    f.dialogs.onMessage = [&](const QString&) { statusWhileConnecting << f.main().statusPanels[0]->text(); };

    f.app().start();

    QStringList rows;
    for (int i = 0; i < f.main().ListView1->count(); ++i)
        rows << f.main().ListView1->item(i)->text();
    EXPECT_EQ(rows, (QStringList{"alpha", "Bravo", "charlie"}));
    EXPECT_EQ(f.dialogs.messages, (QStringList{"-ssh -batch -N -l first -pw ******** -L 9001:127.0.0.1:80 127.0.0.1",
                                               "-ssh -batch -N -l third -pw ******** -L 9001:127.0.0.1:80 127.0.0.1"}));
    EXPECT_EQ(statusWhileConnecting, (QStringList{"Tunnell: alpha", "Tunnell: charlie"}));
    ASSERT_EQ(f.launcher->requests.size(), 2u);
    EXPECT_NE(f.launcher->requests[0].executable.find("alphaSSH.exe"), std::string::npos);
    EXPECT_NE(f.launcher->requests[1].executable.find("charlieSSH.exe"), std::string::npos);
    EXPECT_EQ(f.main().ListView1->currentRow(), 2) << "the last tunnel stays selected";
    for (const char* command : {"Modifica1", "EsportaTunnel1"})
        EXPECT_TRUE(f.main().findChild<QAction*>(command)->isEnabled()) << command << " greyed with a tunnel selected";
    EXPECT_EQ(f.main().statusPanels[0]->text(), QStringLiteral("Pronto"));
    EXPECT_FALSE(f.main().SuppressEditor);
    EXPECT_EQ(f.app().editor().windowTitle(), QStringLiteral("Tunnell: charlie")) << "the editor holds the last one";

    // The same when the last tunnel is not one that connects.
    makeTunnel(f, "delta", false, "fourth");
    f.main().Nascondi1Click();
    f.main().Visualizza1Click();
    EXPECT_EQ(f.app().editor().windowTitle(), QStringLiteral("Tunnell: delta"));
    EXPECT_EQ(f.app().editor().mxflatedit1->text(), QStringLiteral("fourth"));
}

// Captions are measured once at start: the scroll bar many rows need is there before they are first laid out,
// so the narrower view does not have every caption measured again at the first paint.
TEST(LoadSequence, ManyRowsAreMeasuredOnceBeforeTheWindowIsShown) {
    struct CountingDelegate : QStyledItemDelegate {
        using QStyledItemDelegate::QStyledItemDelegate;
        mutable int measured = 0;
        QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
            ++measured;
            return QStyledItemDelegate::sizeHint(option, index);
        }
    };
    AppFixture f;
    constexpr int kRows = 120; // several screens of rows in the first window size
    for (int i = 0; i < kRows; ++i)
        f.folder.makeFolder("tunnells/t" + std::to_string(1000 + i));
    auto* delegate = new CountingDelegate(f.main().ListView1);
    f.main().ListView1->setItemDelegate(delegate);

    f.app().start();
    QApplication::processEvents();
    ASSERT_EQ(f.main().ListView1->count(), kRows);
    ASSERT_TRUE(f.main().ListView1->verticalScrollBar()->isVisible());
    EXPECT_LE(delegate->measured, kRows + kRows / 4);
}

TEST(LoadSequence, RestoreDoesNotStartASecondClientForARunningTunnel) {
    AppFixture f;
    makeTunnel(f, "Office", true);
    f.app().start();
    ASSERT_EQ(f.launcher->requests.size(), 1u);

    f.main().Nascondi1Click();
    f.main().Visualizza1Click();

    EXPECT_EQ(f.launcher->requests.size(), 1u) << "OfficeSSH.exe already runs";
    f.processes->running.clear();
    f.main().Nascondi1Click();
    f.main().Visualizza1Click();
    EXPECT_EQ(f.launcher->requests.size(), 2u) << "once the client has gone, the restore connects again";
}

TEST(LoadSequence, EmptyOrMissingTunnelsFolderEndsReady) {
    AppFixture f;
    f.folder.write("tunnells/stray-file.txt", "not a tunnel");
    f.app().start();
    EXPECT_EQ(f.main().ListView1->count(), 0);
    EXPECT_EQ(f.main().statusPanels[0]->text(), QStringLiteral("Pronto"));
    EXPECT_EQ(f.main().statusPanels[1]->text(), QStringLiteral("Connessi"));
    EXPECT_EQ(f.main().statusPanels[2]->text(), QStringLiteral("Disconnessi"));
}

TEST(LoadSequence, FindsATunnelFolderCopiedFromWindows) {
    AppFixture f;
    std::filesystem::remove_all(f.folder.file("tunnells"));
    f.folder.write("Tunnells/Office/Tunnell.tun",
                   "[SSH Server]\r\nIpServer=10.1.1.1\r\nUsername=w\r\nPassword=p\r\n"
                   "[Tunnell]\r\nPortaLocale=9\r\nIpServizio=s\r\nPortaServizio=1\r\nAutoConnessione=1\r\n");
    f.app().start();
    ASSERT_EQ(f.main().ListView1->count(), 1);
    EXPECT_EQ(f.dialogs.messages, QStringList{"-ssh -batch -N -l w -pw ******** -L 9:s:1 10.1.1.1"});
}

TEST(LoadSequence, AFolderNameThatIsNotUtf8ShowsDecodedAndStillReachesItsFiles) {
    AppFixture f;
    const std::string windowsName = "Citt\xE0"; // "Città" written by a Windows machine
    makeTunnel(f, windowsName, true);

    f.app().start();

    ASSERT_EQ(f.main().ListView1->count(), 1);
    EXPECT_EQ(f.main().ListView1->item(0)->text(), QStringLiteral("Citt\u00e0"));
    ASSERT_EQ(f.launcher->requests.size(), 1u);
    EXPECT_EQ(f.launcher->requests[0].executable,
              f.workingDir() + "tunnells/" + windowsName + "/" + windowsName + "SSH.exe");
    f.main().checkprocessiTimer();
    EXPECT_EQ(f.main().pictureOf(0), 1) << "the running client is recognised by its decoded name too";
}

TEST(LoadSequence, AFolderInsideATunnelIsNoRowOfItsOwn) {
    AppFixture f;
    makeTunnel(f, "A", true);
    f.folder.makeFolder("tunnells/B/A"); // a row of it would act on the tunnel A
    f.app().start();
    EXPECT_EQ(f.main().ListView1->count(), 2);
    EXPECT_EQ(f.launcher->requests.size(), 1u);
}

// The options, import and key windows are made when first used, or when the language file names them, which
// gives them its texts before they are ever shown.
TEST(LoadSequence, WindowsBeyondTheSevenAreMadeWhenUsedOrNamed) {
    const auto windowNamed = [](const char* name) {
        const auto windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [name](QWidget* w) { return w->objectName() == name; });
    };
    {
        AppFixture f;
        f.app().start();
        for (const char* name : {"Options", "ImportList", "KeyGenerator"})
            EXPECT_FALSE(windowNamed(name)) << name;
        EXPECT_EQ(f.app().options().objectName(), QStringLiteral("Options"));
    }
    AppFixture f;
    f.folder.write("default.lng", "[Translations]\r\noptions.Caption=Settings\r\n");
    f.app().start();
    EXPECT_TRUE(windowNamed("Options"));
    EXPECT_FALSE(windowNamed("ImportList"));
    EXPECT_EQ(f.app().options().windowTitle(), QStringLiteral("Settings"));
}

TEST(LoadSequence, AppliesTheLanguageFileEveryTimeTheWindowIsShown) {
    AppFixture f;
    f.folder.write("default.lng", "[Translations]\r\nMain.Aggiungi1.Caption=Add\r\nfMessage.Pronto.Text=Ready\r\n"
                                  "ShowTunn.OpenDialog1.Caption=Key file\r\n");
    f.app().start();
    EXPECT_EQ(f.main().findChild<QAction*>(QStringLiteral("Aggiungi1"))->text(), QStringLiteral("Add"));
    EXPECT_EQ(f.main().statusPanels[0]->text(), QStringLiteral("Ready"));
    // The key file dialog is made at the first pick, and gets the file's entries then.
    QString pickTitle;
    QTimer::singleShot(0, &f.app().editor(), [&] {
        pickTitle = f.app().editor().OpenDialog1->windowTitle();
        f.app().editor().OpenDialog1->reject();
    });
    f.app().editor().SpeedButton1Click();
    EXPECT_EQ(pickTitle, QStringLiteral("Key file"));

    f.folder.write("default.lng", "[Translations]\r\nfMessage.Pronto.Text=Bereit\r\n");
    f.main().Nascondi1Click();
    f.main().Visualizza1Click();
    EXPECT_EQ(f.main().statusPanels[0]->text(), QStringLiteral("Bereit"));
}

TEST(LoadSequence, LanguageFileRulesOnTheProgramsOwnWindows) {
    AppFixture f;
    f.folder.write("lingua.lng", "[translations]\r\n"
                                 " main . aggiungi1 . CAPTION = Nu~ovo\r\n"
                                 "MAIN . AGGIUNGI1 . caption=second entry of the same key\r\n"
                                 "ShowTunn.autoconnect.Caption=\"Connect at start\"\r\n"
                                 "fMessage.NomeNonValido.Text=Bad name\r\n"
                                 "Main.ListBox1.Items=a|b\r\n"
                                 "Main.NoSuchThing.Caption=ignored\r\n"
                                 "Main.Nascondi1.Caption=\r\n"
                                 "Main.checkprocessi.Interval=$BB8\r\n"
                                 "Main.Width=wide\r\n"
                                 "Main.Esci1.Caption=never applied\r\n");
    TMain& window = f.main();
    window.language->ApplyLanguageFile(QString::fromStdString(f.folder.file("lingua.lng")));
    EXPECT_EQ(window.language->lastProblems(),
              QStringList{QStringLiteral("line 10, Main.Width: 'wide' is not a valid integer value")});

    EXPECT_EQ(window.findChild<QAction*>(QStringLiteral("Aggiungi1"))->text(), QStringLiteral("Nu\tovo"));
    EXPECT_EQ(f.app().editor().autoconnect->text(), QStringLiteral("Connect at start"));
    EXPECT_EQ(f.app().messages().NomeNonValido(), QStringLiteral("Bad name"));
    ASSERT_EQ(window.ListBox1->count(), 1);
    EXPECT_EQ(window.ListBox1->item(0)->text(), QStringLiteral("a|b"));
    EXPECT_EQ(window.findChild<QAction*>(QStringLiteral("Nascondi1"))->text(), QStringLiteral("&Nascondi"));
    EXPECT_EQ(window.checkprocessi->interval(), 3000);
    EXPECT_EQ(window.findChild<QAction*>(QStringLiteral("Esci1"))->text(), QStringLiteral("never applied"));
}

TEST(LoadSequence, ABadLanguageEntryIsReportedAndTheSequenceGoesOn) {
    AppFixture f;
    makeTunnel(f, "Office", true);
    f.folder.write("default.lng", "[Translations]\r\nMain.Width=wide\r\n");
    f.app().start();
    EXPECT_EQ(f.dialogs.errors,
              QStringList{QStringLiteral("line 2, Main.Width: 'wide' is not a valid integer value.")});
    EXPECT_TRUE(f.main().isVisible());
    EXPECT_EQ(f.main().ListView1->count(), 1) << "one bad entry must not hide the tunnels";
    EXPECT_EQ(f.launcher->requests.size(), 1u);
}

TEST(LoadSequence, DefinitionsThatCannotServeAreNamedNeverConnectedNorWrittenThrough) {
    AppFixture f;
    makeTunnel(f, "Good", false);
    const std::string autoOn = "[SSH Server]\r\nIpServer=127.0.0.1\r\nUsername=u\r\n[Tunnell]\r\nPortaLocale=9001\r\n"
                               "IpServizio=127.0.0.1\r\nPortaServizio=80\r\nAutoConnessione=1\r\n";
    f.folder.write("tunnells/Big/tunnell.tun", autoOn + std::string(100 * 1024, ';'));
    f.folder.makeFolder("tunnells/Dir/tunnell.tun");
    f.folder.write("outside.tun", autoOn);
    f.folder.makeFolder("tunnells/Link");
    std::filesystem::create_symlink(f.folder.file("outside.tun"), f.folder.file("tunnells/Link/tunnell.tun"));
    // What a save killed half-way leaves: the program's own temporary file, and nothing it may touch.
    f.folder.write("tunnells/Good/.tunnell.tun.quorvane-999999-1.tmp", "half");
    f.folder.write("tunnells/Good/.notes.tmp", "the user's");

    f.app().start();
    EXPECT_TRUE(f.launcher->requests.empty());
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    for (const char* tunnel : {"Big", "Dir", "Link"})
        EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("tunnells/%1/tunnell.tun").arg(QLatin1String(tunnel))))
            << tunnel << " is not named in " << f.dialogs.errors[0].toStdString();
    f.main().checkprocessiTimer(); // the first pass cleans, after the list is shown
    EXPECT_FALSE(std::filesystem::exists(f.folder.file("tunnells/Good/.tunnell.tun.quorvane-999999-1.tmp")));
    EXPECT_TRUE(std::filesystem::exists(f.folder.file("tunnells/Good/.notes.tmp")));

    ASSERT_TRUE(f.select(QStringLiteral("Dir")));
    runCommand([&] { f.main().AttivaTunnell1Click(); });
    EXPECT_TRUE(f.launcher->requests.empty());
    EXPECT_EQ(f.dialogs.errors.size(), 2);
    EXPECT_THROW(SaveDefinition(f.workingDir(), "Link", {"h", "22", "u", "p", "1", "h", "2", false}), StoreError);
    EXPECT_EQ(f.folder.read("outside.tun"), autoOn) << "a save went through the link";
}

} // namespace
} // namespace quorvane::test
