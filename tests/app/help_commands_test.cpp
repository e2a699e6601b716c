// The help and tools commands: licence viewer, key generator, about box.
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "desktop/about_box.h"
#include "desktop/key_generator_dialog.h"
#include "desktop/licence_viewer.h"
#include "support/app_fixture.h"

namespace quorvane::test {
namespace {

// Runs a command that opens the licence viewer and notes what it shows before closing it.
struct Shown {
    QString caption;
    QString text;
    bool opened = false;
};

Shown showLicence(AppFixture& f, void (TMain::*command)()) {
    Shown shown;
    Tlicence& viewer = f.app().licence();
    QTimer::singleShot(0, [&] {
        shown.opened = viewer.isVisible();
        shown.caption = viewer.windowTitle();
        shown.text = viewer.Memo1->toPlainText();
        viewer.Button1->click();
    });
    runCommand([&] { (f.main().*command)(); });
    QCoreApplication::processEvents(); // the pending close when the viewer never opened
    return shown;
}

TEST(HelpCommands, EachLicenceCommandShowsOnlyItsOwnFile) {
    AppFixture f;
    f.folder.write("puttylicense.txt", "PuTTY is copyright 1997-2022 Simon Tatham.\r\nPortions copyright...");
    f.folder.write("license.txt", "MIT License\n\nCopyright (c) 2026 \xE0");

    const Shown putty = showLicence(f, &TMain::LicenzaPutty1Click);
    EXPECT_TRUE(putty.opened);
    EXPECT_EQ(putty.caption, QStringLiteral("Putty Licence"));
    EXPECT_TRUE(putty.text.startsWith(QStringLiteral("PuTTY is copyright")));

    const Shown own = showLicence(f, &TMain::LicenzaQuorvane1Click);
    EXPECT_EQ(own.caption, QStringLiteral("Quorvane Licence"));
    EXPECT_EQ(own.text, QStringLiteral("MIT License\n\nCopyright (c) 2026 \u00e0")) << "Windows-1252 bytes decoded";
    EXPECT_FALSE(own.text.contains(QStringLiteral("PuTTY")));
}

TEST(HelpCommands, EmptyLicenceShowsNothingAndAMissingOneIsAnErrorWithoutTheViewer) {
    AppFixture f;
    f.folder.write("license.txt", "");
    EXPECT_EQ(showLicence(f, &TMain::LicenzaQuorvane1Click).text, QString()) << "not the design text Memo1";

    const Shown missing = showLicence(f, &TMain::LicenzaPutty1Click);
    EXPECT_FALSE(missing.opened);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].startsWith(QStringLiteral("Cannot open file \"")));
    EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("puttylicense.txt")));
    EXPECT_EQ(f.app().licence().windowTitle(), QStringLiteral("Putty Licence"));
}

TEST(HelpCommands, KeyGeneratorOpensItsDialogOnTheProgramFolder) {
    AppFixture f;
    TKeyGenerator* dialog = f.app().keyGenerator();
    ASSERT_NE(dialog, nullptr) << "keys are made by the program's own dialog here";
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = dialog->isVisible();
        dialog->reject();
    });
    f.main().GeneratoredichiaviPutty1Click();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(f.launcher->requests.empty()) << "no terminal window for the key generator";
    EXPECT_TRUE(f.dialogs.errors.isEmpty());
}

TEST(HelpCommands, AboutBoxOpensWithItsMailLinkAndClosesOnOk) {
    AppFixture f;
    TAboutBox& about = f.app().about();
    EXPECT_TRUE(about.LinkLabel1->url().startsWith(QStringLiteral("mailto:")));
    bool opened = false;
    QTimer::singleShot(0, [&] {
        opened = about.isVisible();
        about.OKButton->click();
    });
    f.main().Autore1Click();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(about.isVisible());
}

} // namespace
} // namespace quorvane::test
