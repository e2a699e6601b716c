// The tunnel editor dialog: port typing limit, password mask, keys that must not close it, lasting state.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/tunnel_editor.h"
#include "process/command_line.h"

namespace quorvane::test {
namespace {

TEST(TunnelEditor, PortFieldsStopTypingAtFiveButShowALongerLoadedValueWhole) {
    TShowTunn editor;
    editor.show();
    QLineEdit* port = editor.mxflatmaskedit5;
    port->setFocus();
    QTest::keyClicks(port, QStringLiteral("1234567"));
    EXPECT_EQ(port->text(), QStringLiteral("12345"));

    TunnelDefinition definition;
    definition.PortaLocale = "Porta locale 8080";
    editor.setDefinition(definition);
    EXPECT_EQ(port->text(), QStringLiteral("Porta locale 8080"));
    port->setCursorPosition(port->text().size());
    QTest::keyClicks(port, QStringLiteral("x"));
    EXPECT_EQ(port->text(), QStringLiteral("Porta locale 8080")) << "cannot lengthen";
    QTest::keyClick(port, Qt::Key_Backspace);
    QTest::keyClicks(port, QStringLiteral("9"));
    EXPECT_EQ(port->text(), QStringLiteral("Porta locale 808")) << "shortened, and still no room to type";
    EXPECT_EQ(editor.definition().PortaLocale, "Porta locale 808");

    port->selectAll();
    QTest::keyClicks(port, QStringLiteral("8080123"));
    EXPECT_EQ(port->text(), QStringLiteral("80801"));
}

TEST(TunnelEditor, ShowsThePasswordAsAsterisksAndHasNoCloseBoxOrDefaultButton) {
    TShowTunn editor;
    editor.mxflatedit2->setText(QStringLiteral("secret"));
    EXPECT_EQ(editor.mxflatedit2->displayText(), QStringLiteral("******"));
    EXPECT_FALSE(editor.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(editor.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(editor.Button1->isDefault() || editor.Button1->autoDefault());
    EXPECT_FALSE(editor.Button2->isDefault() || editor.Button2->autoDefault());
}

// Every field is drawn light green, the table's cells while typed in as well; the window stays white.
TEST(TunnelEditor, FieldsAreDrawnLightGreenOnAWhiteWindow) {
    TShowTunn editor;
    editor.show();
    const QColor green(192, 220, 192);
    const auto centreOf = [](QWidget* widget) {
        return widget->grab().toImage().pixelColor(widget->width() / 2, widget->height() / 2);
    };
    for (QWidget* field : {static_cast<QWidget*>(editor.mxflatmaskedit1), static_cast<QWidget*>(editor.mxflatedit2),
                           static_cast<QWidget*>(editor.sonda)})
        EXPECT_EQ(centreOf(field), green) << field->objectName().toStdString();
    EXPECT_EQ(editor.grab().toImage().pixelColor(2, 2), QColor(Qt::white));
    editor.inoltri->setRowCount(1);
    editor.inoltri->setItem(0, 1, new QTableWidgetItem);
    editor.inoltri->editItem(editor.inoltri->item(0, 1));
    auto* cell = editor.inoltri->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(centreOf(cell), green);
}

TEST(TunnelEditor, EscapeAndEnterInAFieldCloseNothingEnterOnAButtonPressesIt) {
    TShowTunn editor;
    editor.show();
    bool finished = false;
    QObject::connect(&editor, &QDialog::finished, [&] { finished = true; });

    editor.mxflatmaskedit1->setFocus();
    QTest::keyClick(&editor, Qt::Key_Escape);
    QTest::keyClick(editor.mxflatmaskedit1, Qt::Key_Return);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(editor.isVisible());

    editor.Button2->setFocus();
    QTest::keyClick(editor.Button2, Qt::Key_Return);
    EXPECT_TRUE(finished);
    EXPECT_EQ(editor.result(), QDialog::Rejected);
}

TEST(TunnelEditor, AnAddedForwardRowTakesWhatIsTypedNext) {
    TShowTunn editor;
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.mxflatmaskedit1->setText(QStringLiteral("server"));
    QTest::mouseClick(editor.aggiungiinoltro, Qt::LeftButton);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("8080"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // on to the address, as a user goes on
    ASSERT_EQ(editor.inoltri->rowCount(), 1);
    EXPECT_EQ(editor.inoltri->item(0, 1)->text(), QStringLiteral("8080"));
    EXPECT_EQ(editor.mxflatmaskedit1->text(), QStringLiteral("server"));
}

// Tab goes down the form: each group's fields, then its buttons; OK and Annulla last. A forward in the
// table does not keep the focus.
TEST(TunnelEditor, TabFollowsTheGroupsThenTheButtonsThenTheRunGroupAndReachesEveryButton) {
    TShowTunn editor;
    TunnelDefinition definition;
    definition.Inoltri = {{kForwardLocal, "9002", "db.lan", "5432"}};
    editor.setDefinition(definition);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.mxflatmaskedit1->setFocus();
    QStringList visited;
    for (QWidget* at = editor.mxflatmaskedit1; at && visited.size() < 60;) {
        visited << at->objectName();
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (at == editor.mxflatmaskedit1)
            break;
    }
    EXPECT_EQ(
        visited.join(QLatin1Char(' ')).toStdString(),
        "mxflatmaskedit1 mxflatmaskedit2 hostkey forgethostkey passaper mxflatedit1 mxflatedit2 Edit1 SpeedButton1 "
        "generachiave mxflatmaskedit5 mxflatmaskedit3 mxflatmaskedit4 RadioButton1 debug autoconnect reconnect "
        "sonda Edit4 SpeedButton4 CheckBox1 inoltri aggiungiinoltro rimuoviinoltro Button1 Button2 Edit2 "
        "SpeedButton2 Edit3 SpeedButton3 Edit5 apriallaconnessione");
}

TEST(TunnelEditor, LoadSetsTheSavedControlsOtherControlsKeepTheirState) {
    TShowTunn editor;
    editor.Edit4->setText(QStringLiteral("Dial-up"));
    TunnelDefinition definition{"h", "22", "u", "p", "1", "s", "2", true};
    definition.Prima = "\"before it.sh\" -x";
    definition.Dopo = "after.sh";
    definition.FileChiave = "id.ppk";
    definition.Direzione = kForwardRemote;
    definition.Debug = true;
    editor.setDefinition(definition);
    EXPECT_EQ(editor.definition(), definition);
    EXPECT_TRUE(editor.RadioButton2->isChecked());
    EXPECT_EQ(editor.Edit4->text(), QStringLiteral("Dial-up"));

    // Debug and direction belong to each tunnel now: the next one does not inherit them.
    editor.setDefinition({"h", "22", "u", "p", "1", "s", "2", false});
    EXPECT_FALSE(editor.debug->isChecked());
    EXPECT_TRUE(editor.RadioButton1->isChecked());
    EXPECT_EQ(editor.Edit1->text(), QString());
    editor.RadioButton3->setChecked(true);
    EXPECT_FALSE(editor.mxflatmaskedit3->isEnabled()) << "a SOCKS proxy has no service address";
    // A key made from the editor lands in the tunnel's folder and is named from there.
    editor.tunnelFolder = QStringLiteral("/portable/tunnells/Office");
    QString askedFor;
    editor.generateKeyIn = [&](const QString& folder) {
        askedFor = folder;
        return folder + QStringLiteral("/keys/new.ppk");
    };
    editor.generachiave->click();
    EXPECT_EQ(askedFor, editor.tunnelFolder);
    EXPECT_EQ(editor.Edit1->text(), QStringLiteral("keys/new.ppk"));
}

bool showsWhole(QLineEdit* edit) {
    edit->end(false);
    edit->grab(); // the edit scrolls to its cursor when painted
    return edit->cursorPositionAt(QPoint(1, edit->height() / 2)) == 0;
}

// A new tunnel's descriptive texts: grey hints in empty fields, written back unless typed over, and
// every field as wide as its hint (the host key as a fingerprint).
TEST(TunnelEditor, ShowsANewTunnelsTextsAsHintsAndSavesThemBackUnlessTypedIn) {
    using D = TunnelDefinition;
    TShowTunn editor;
    TunnelDefinition created{"0.0.0.0", "22", "", "", "", "", "", false};
    struct Field {
        QLineEdit* edit;
        std::string D::*value;
    };
    const Field hinted[] = {{editor.mxflatedit1, &D::Username},
                            {editor.mxflatedit2, &D::Password},
                            {editor.mxflatmaskedit5, &D::PortaLocale},
                            {editor.mxflatmaskedit3, &D::IpServizio},
                            {editor.mxflatmaskedit4, &D::PortaServizio}};
    for (const Field& field : hinted)
        created.*field.value = std::string(placeholderOf(field.value));
    created.HostKey = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";
    editor.setDefinition(created);
    editor.show();
    for (const Field& field : hinted) {
        const std::string name = field.edit->objectName().toStdString();
        EXPECT_EQ(field.edit->text(), QString()) << name;
        EXPECT_EQ(field.edit->placeholderText().toStdString(), created.*field.value) << name;
        // Shown as text with the cursor at its end, a hint that fits has scrolled nothing out at the left.
        field.edit->setMaxLength(100); // a port field takes five characters from the keyboard
        field.edit->setText(field.edit->placeholderText());
        EXPECT_TRUE(showsWhole(field.edit)) << name << " is too narrow";
        field.edit->clear();
    }
    EXPECT_TRUE(showsWhole(editor.hostkey));
    EXPECT_EQ(editor.mxflatmaskedit1->text(), QStringLiteral("0.0.0.0")) << "a real value is text";
    EXPECT_EQ(editor.definition(), created) << "left alone, the file keeps its texts";

    editor.mxflatedit1->setFocus();
    QTest::keyClicks(editor.mxflatedit1, QStringLiteral("mario"));
    QTest::keyClicks(editor.mxflatedit2, QStringLiteral("x"));
    QTest::keyClick(editor.mxflatedit2, Qt::Key_Backspace);
    TunnelDefinition expected = created;
    expected.Username = "mario";
    expected.Password.clear(); // typed in and emptied: no password, and no hint claiming one
    EXPECT_EQ(editor.definition(), expected);
}

// An entry of Altri inoltri that is no forward comes as a row to mend, and OK refuses it until it is: saved as it
// was, it would be dropped from the client's forwards without a word.
TEST(TunnelEditor, AnEntryThatIsNoForwardIsShownAndRefusedUntilMended) {
    const struct {
        const char* entry;
        const char* kindCell;
        const char* portCell;
    } rows[] = {
        {"L,18991,127.0.0.1", "L", ""},     // three parts: no port
        {"X,18991,db,5432", "X", "5432"},   // no such kind
        {"L,18991,db,5432,9", "L", "5432,9"}, // a fifth part
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry);
        TShowTunn editor;
        TunnelDefinition definition{"server", "22", "user", "pw", "9001", "127.0.0.1", "80", false};
        definition.Inoltri = {{kForwardLocal, "9002", "db.lan", "5432"}};
        definition.InoltriIllegibili = {row.entry};
        editor.setDefinition(definition);
        ASSERT_EQ(editor.inoltri->rowCount(), 2);
        EXPECT_EQ(editor.inoltri->item(1, 0)->text(), QString::fromUtf8(row.kindCell));
        EXPECT_EQ(editor.inoltri->item(1, 3)->text(), QString::fromUtf8(row.portCell));
        const std::optional<FieldProblem> problem = checkConnectFields(editor.definition());
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->field, ConnectField::Inoltri);
        EXPECT_EQ(problem->entry.rfind(row.entry, 0), 0u) << "the refusal names the entry: " << problem->entry;
        editor.show();
        editor.Button1Click();
        EXPECT_EQ(editor.result(), QDialog::Rejected) << "closed with a broken forward";
        editor.inoltri->removeRow(1);
        EXPECT_EQ(checkConnectFields(editor.definition()), std::nullopt) << "mended by removing it";
    }
}

TEST(TunnelEditor, TheLocalPortSaysWhatItIsForEachKind) {
    TShowTunn editor;
    editor.setForwardHeaders({"K", "LP", "A", "P"}, {"on this computer", "on the server", "SOCKS here"});
    EXPECT_EQ(editor.inoltri->horizontalHeaderItem(1)->toolTip(),
              QStringLiteral("on this computer\non the server\nSOCKS here"));
    editor.aggiungiinoltro->click();
    EXPECT_EQ(editor.inoltri->item(0, 1)->toolTip(), QStringLiteral("on this computer"));
    editor.inoltri->item(0, 0)->setText(QStringLiteral("r"));
    EXPECT_EQ(editor.inoltri->item(0, 1)->toolTip(), QStringLiteral("on the server"));
    TunnelDefinition socks;
    socks.Inoltri = {{kForwardDynamic, "1080", "", ""}};
    editor.setDefinition(socks);
    EXPECT_EQ(editor.inoltri->item(0, 1)->toolTip(), QStringLiteral("SOCKS here"));
}

TEST(TunnelEditor, TheDialUpButtonPutsThePickedEntryIntoItsField) {
    TShowTunn editor;
    editor.Edit4->setText(QStringLiteral("before"));
    editor.SpeedButton4->click(); // no picker: nothing happens
    std::optional<QString> answer;
    editor.pickDialUpEntry = [&answer] { return answer; };
    editor.SpeedButton4->click(); // cancelled
    EXPECT_EQ(editor.Edit4->text(), QStringLiteral("before"));
    answer = QStringLiteral("Ufficio ISDN");
    editor.SpeedButton4->click();
    EXPECT_EQ(editor.Edit4->text(), QStringLiteral("Ufficio ISDN"));
}

} // namespace
} // namespace quorvane::test
