// The main window and the editor with the keyboard alone: add, edit, connect, disconnect, rename, delete.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/tunnel_editor.h"
#include "store/tunnel_definition.h"
#include "support/app_fixture.h"

namespace quorvane::test {
namespace {

// Where a key goes: an open menu, else the focused widget.
QWidget* keyboard() {
    QWidget* popup = QApplication::activePopupWidget();
    return popup ? popup : QApplication::focusWidget();
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = keyboard();
    ASSERT_NE(target, nullptr) << "no widget takes the keyboard";
    QTest::keyClick(target, key, modifiers);
}

// As the window manager does: a window comes back active after a dialog or a menu of its own.
void activate(QWidget& window) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; }));
}

// Tab on until the focus reaches target; false when it never does.
bool tabTo(const QWidget* target) {
    for (int i = 0; i < 60 && QApplication::focusWidget() != target && QApplication::focusWidget(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

TEST(KeyboardWalk, AddEditConnectDisconnectRenameAndDeleteATunnel) {
    AppFixture f;
    f.app().start();
    TMain& window = f.main();
    TShowTunn& editor = f.app().editor();
    activate(window);
    ASSERT_EQ(QApplication::focusWidget(), window.ListView1);

    // Tunnells › Aggiungi, and the name.
    f.dialogs.answerInput(QStringLiteral("Office"));
    press(Qt::Key_T, Qt::AltModifier);
    press(Qt::Key_A);
    ASSERT_EQ(window.ListView1->count(), 1);

    // Tunnells › Modifica: each field reached by Tab and typed over; Tab to OK and Enter.
    QTimer::singleShot(0, &editor, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
        const std::pair<QLineEdit*, const char*> typed[] = {
            {editor.mxflatmaskedit1, "10.0.0.1"}, {editor.mxflatedit1, "mario"},
            {editor.mxflatedit2, "secret"},       {editor.mxflatmaskedit5, "9001"},
            {editor.mxflatmaskedit3, "10.0.0.7"}, {editor.mxflatmaskedit4, "3389"}};
        for (const auto& [field, text] : typed) {
            EXPECT_TRUE(tabTo(field)) << field->objectName().toStdString();
            press(Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(keyboard(), QString::fromLatin1(text));
        }
        EXPECT_TRUE(tabTo(editor.Button1));
        press(Qt::Key_Return);
        if (editor.isVisible()) // a step failed: the test goes on without hanging
            editor.reject();
    });
    press(Qt::Key_T, Qt::AltModifier);
    press(Qt::Key_M);
    const TunnelDefinition saved = LoadDefinition(f.workingDir(), "Office");
    EXPECT_EQ(saved, (TunnelDefinition{"10.0.0.1", "22", "mario", "secret", "9001", "10.0.0.7", "3389", false}));

    // Enter connects the selected tunnel.
    activate(window);
    press(Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(f.launcher->requests.size(), 1u);
    EXPECT_EQ(f.processes->running.size(), 1u);

    // Shift+F10 opens the tunnel's menu: Disconnetti.
    QTimer::singleShot(0, window.PopupMenu1, [&] {
        press(Qt::Key_D);
        window.PopupMenu1->close(); // closed by its choice already, unless the letter missed
    });
    press(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(f.processes->running.empty());
    activate(window);

    // F2 renames in place.
    press(Qt::Key_F2);
    QTest::keyClicks(keyboard(), QStringLiteral("Casa"));
    press(Qt::Key_Return);
    // The edit is committed, then the rename run, each on a later turn of the event loop.
    EXPECT_TRUE(QTest::qWaitFor([&f] { return std::filesystem::is_directory(f.folder.file("tunnells/Casa")); }));
    ASSERT_EQ(window.ListView1->count(), 1);
    EXPECT_EQ(window.ListView1->item(0)->text(), QStringLiteral("Casa"));

    // Del deletes, once the question is answered.
    f.dialogs.answerQuestion(true);
    press(Qt::Key_Delete);
    EXPECT_EQ(f.dialogs.questions.size(), 1);
    EXPECT_EQ(window.ListView1->count(), 0);
    EXPECT_FALSE(std::filesystem::exists(f.folder.file("tunnells/Casa")));
}

} // namespace
} // namespace quorvane::test
