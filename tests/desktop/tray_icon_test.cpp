// Tests of TTrayIcon: when the icon is added, what tip it carries, and the events its mouse messages raise.
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>
#include <stdexcept>

#include "desktop/qt_tray_backend.h"
#include "desktop/tray_icon.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"

namespace quorvane {
namespace {

// Records where the popup menu would open instead of running a menu loop.
class TestTray : public TTrayIcon {
public:
    explicit TestTray(test::FakeTrayBackend::Counts& log)
        : TTrayIcon(nullptr, std::make_unique<test::FakeTrayBackend>(log)) {}
    void openPopup(const QPoint& at) override { popups.push_back(at); }
    std::vector<QPoint> popups;
};

QIcon someIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

QString shiftText(ShiftState s) {
    static const char* const names[] = {"Shift", "Alt", "Ctrl", "Left", "Right", "Middle", "Double"};
    QStringList parts;
    for (int bit = 0; bit < 7; ++bit)
        if (s & (1u << bit))
            parts << names[bit];
    return parts.join('+');
}

class TrayIconTest : public ::testing::Test {
protected:
    TrayIconTest() { log.cursor = {120, 340}; }

    // Every event of the icon as one line of text, in the order raised; positions go to lastAt.
    void record(TTrayIcon& tray) {
        auto mouse = [this](const char* kind) {
            return [this, kind](QObject*, MouseButton b, ShiftState s, int x, int y) {
                events << QString("%1 %2 %3").arg(kind, QString("LRM")[int(b)], shiftText(s));
                lastAt = QPoint(x, y);
            };
        };
        tray.OnMouseDown = mouse("Down");
        tray.OnMouseUp = mouse("Up");
        tray.OnClick = mouse("Click");
        tray.OnDblClick = [this](QObject*) { events << "DblClick"; };
        tray.OnMouseMove = [this](QObject*, ShiftState s, int x, int y) {
            events << "Move " + shiftText(s);
            lastAt = QPoint(x, y);
        };
    }
    void feed(TTrayIcon& tray, std::initializer_list<TrayMouseMessage> messages) {
        for (TrayMouseMessage m : messages)
            tray.handleMouseMessage(m);
    }

    test::FakeTrayBackend::Counts log;
    QStringList events;
    QPoint lastAt;
};

using M = TrayMouseMessage;

TEST_F(TrayIconTest, ShowAndHideAddAndRemoveOnlyOnChangeAndOnlyWithAPicture) {
    {
        TestTray tray(log);
        EXPECT_EQ(log.adds, 0) << "construction alone must not add";
        tray.SetIcon(someIcon()); // active by default: a picture is enough
        tray.Loaded();
        EXPECT_TRUE(tray.isIconShown());
        const int adds = log.adds;
        tray.ShowIcon(); // already active
        tray.ShowIcon();
        EXPECT_EQ(log.adds, adds);

        const int removes = log.removes;
        tray.HideIcon();
        tray.HideIcon();
        EXPECT_EQ(log.removes, removes + 1);
        EXPECT_FALSE(tray.isIconShown());
        tray.ShowIcon();
        EXPECT_EQ(log.adds, adds + 1);
        log.removes = 0;
    }
    EXPECT_EQ(log.removes, 1) << "destruction takes the icon away";

    // Without a picture the area stays empty until one arrives.
    log = {};
    TestTray tray(log);
    tray.Loaded();
    tray.HideIcon();
    tray.ShowIcon();
    EXPECT_TRUE(tray.Active());
    EXPECT_EQ(log.adds, 0);

    tray.SetIcon(someIcon());
    EXPECT_EQ(log.adds, 1);
    EXPECT_TRUE(tray.isIconShown());

    // Taking the picture away removes the shown icon instead of sending an empty one.
    tray.SetIcon(QIcon(QPixmap()));
    EXPECT_FALSE(tray.isIconShown());
    EXPECT_EQ(log.modifies, 0);
    EXPECT_EQ(log.adds, 1);
}

TEST_F(TrayIconTest, RefusedAddIsRetriedLater) {
    log.refuse = true;
    TestTray tray(log);
    tray.SetIcon(someIcon());
    EXPECT_FALSE(tray.isIconShown());
    tray.SetHint("again"); // refreshes: tried again, not modified
    EXPECT_EQ(log.adds, 2);
    EXPECT_EQ(log.modifies, 0);

    tray.HideIcon();
    log.refuse = false;
    tray.ShowIcon();
    EXPECT_EQ(log.adds, 3);
    EXPECT_TRUE(tray.isIconShown());
    tray.SetHint("shown");
    EXPECT_EQ(log.adds, 3);
    EXPECT_EQ(log.modifies, 1);
}

TEST_F(TrayIconTest, TipIsTheShortHintCutTo63Characters) {
    TestTray tray(log);
    tray.SetIcon(someIcon());
    tray.SetHint("Quorvane|the long help text");
    EXPECT_EQ(log.tip, "Quorvane");
    EXPECT_EQ(tray.Hint(), "Quorvane|the long help text");

    const QString eighty = QString("0123456789").repeated(8);
    tray.SetHint(eighty);
    EXPECT_EQ(log.tip, eighty.left(63));
    // The bar is looked for before cutting.
    tray.SetHint(QString(70, 'x') + "|tail");
    EXPECT_EQ(log.tip, QString(63, 'x'));
    tray.SetHint("|only long");
    EXPECT_EQ(log.tip, "");

    const int modifies = log.modifies;
    tray.SetHint("|only long");
    EXPECT_EQ(log.modifies, modifies) << "an unchanged hint must not refresh";
}

TEST_F(TrayIconTest, ClicksComeInOrderAndOnlyAfterTheirOwnDown) {
    TestTray tray(log);
    record(tray);
    feed(tray, {M::LButtonDown, M::LButtonUp, M::LButtonDblClk, M::LButtonUp});
    EXPECT_EQ(events,
              QStringList({"Down L Left", "Click L Left", "Up L Left", "DblClick", "Down L Double", "Up L Left"}));

    // The middle button never clicks.
    events.clear();
    feed(tray, {M::MButtonDown, M::MButtonUp, M::MButtonDblClk, M::MButtonUp});
    EXPECT_EQ(events, QStringList({"Down M Middle", "Up M Middle", "Down M Double", "Up M Middle"}));

    // A button up counts as a click only after its own down.
    events.clear();
    tray.SetIcon(someIcon());
    feed(tray, {M::LButtonUp, M::RButtonDown, M::LButtonUp});
    EXPECT_FALSE(events.join('\n').contains("Click"));

    // Re-adding the icon forgets a press made before.
    events.clear();
    tray.handleMouseMessage(M::LButtonDown);
    tray.HideIcon();
    tray.ShowIcon();
    tray.handleMouseMessage(M::LButtonUp);
    EXPECT_EQ(events, QStringList({"Down L Left", "Up L Left"}));
}

TEST_F(TrayIconTest, KeysAndCursorAreReadPerMessage) {
    TestTray tray(log);
    record(tray);
    tray.handleMouseMessage(M::MouseMove, ssShift);
    EXPECT_EQ(lastAt, QPoint(120, 340));
    log.cursor = QPoint(-5, 7); // a screen left of the primary one
    tray.handleMouseMessage(M::LButtonDown, ssCtrl | ssAlt);
    // Button bits from the caller are not trusted: only the modifier keys pass.
    tray.handleMouseMessage(M::LButtonUp, ssCtrl | ssRight | ssDouble);
    EXPECT_EQ(events, QStringList({"Move Shift", "Down L Alt+Ctrl+Left", "Click L Ctrl+Left", "Up L Ctrl+Left"}));
    EXPECT_EQ(lastAt, QPoint(-5, 7));
}

TEST_F(TrayIconTest, RightClickOpensThePopupOrElseClicks) {
    QMenu menu;
    menu.addAction("Visualizza Quorvane");
    TestTray tray(log);
    tray.SetPopupMenu(&menu);
    record(tray);
    feed(tray, {M::RButtonDown, M::RButtonUp, M::RButtonDblClk});
    EXPECT_EQ(tray.popups, std::vector<QPoint>{QPoint(120, 340)});
    EXPECT_EQ(events, QStringList({"Down R Right", "Up R Right", "Down R Double"}));
    EXPECT_EQ(menu.property("PopupComponent").value<QObject*>(), &tray);

    auto clicksInstead = [this](TestTray& other) {
        events.clear();
        record(other);
        feed(other, {M::RButtonDown, M::RButtonUp});
        return events.contains("Click R Right") && other.popups.empty();
    };
    TestTray noMenu(log);
    EXPECT_TRUE(clicksInstead(noMenu));
    TestTray noAutoPopup(log);
    noAutoPopup.SetPopupMenu(&menu);
    noAutoPopup.setAutoPopup(false);
    EXPECT_TRUE(clicksInstead(noAutoPopup));
    TestTray inactive(log);
    inactive.SetPopupMenu(&menu);
    inactive.HideIcon();
    EXPECT_TRUE(clicksInstead(inactive));

    auto* doomed = new QMenu;
    doomed->addAction("Esci da Quorvane");
    TestTray deleted(log);
    deleted.SetPopupMenu(doomed);
    delete doomed;
    EXPECT_EQ(deleted.PopupMenu(), nullptr);
    EXPECT_TRUE(clicksInstead(deleted));
}

TEST_F(TrayIconTest, EnabledDefaultMenuItemTakesTheDoubleClick) {
    QMenu menu;
    QAction* other = menu.addAction("Esci da Quorvane");
    QAction* show = menu.addAction("Visualizza Quorvane");
    int shows = 0, others = 0;
    QObject::connect(show, &QAction::triggered, [&] { ++shows; });
    QObject::connect(other, &QAction::triggered, [&] { ++others; });
    TestTray tray(log);
    tray.SetPopupMenu(&menu);
    record(tray);

    tray.handleMouseMessage(M::LButtonDblClk);
    EXPECT_EQ(events, QStringList({"DblClick", "Down L Double"})) << "no default item yet";

    menu.setDefaultAction(show);
    events.clear();
    tray.handleMouseMessage(M::LButtonDblClk);
    EXPECT_EQ(events, QStringList({"Down L Double"}));
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(others, 0);

    show->setEnabled(false);
    tray.handleMouseMessage(M::LButtonDblClk);
    show->setEnabled(true);
    tray.HideIcon(); // an inactive icon leaves the double click to its handler
    tray.handleMouseMessage(M::LButtonDblClk);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(events.count("DblClick"), 2);
}

TEST_F(TrayIconTest, HandlerErrorsGoToTheErrorBoxAndStopThatMessage) {
    test::ScriptedDialogs dialogs;
    TestTray tray(log);
    record(tray);
    tray.OnClick = [](QObject*, MouseButton, ShiftState, int, int) { throw std::runtime_error("Tunnel non trovato"); };
    tray.OnDblClick = [](QObject*) { throw 42; };

    tray.handleMouseMessage(M::LButtonDown);
    EXPECT_NO_THROW(tray.handleMouseMessage(M::LButtonUp));
    EXPECT_EQ(dialogs.errors, QStringList({"Tunnel non trovato."}));
    EXPECT_EQ(events, QStringList({"Down L Left"})) << "the failed click ends that message";
    EXPECT_NO_THROW(tray.handleMouseMessage(M::LButtonDblClk));
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST_F(TrayIconTest, QtActivationsBecomePressAndReleasePairs) {
    QMenu menu;
    menu.addAction("Visualizza Quorvane");
    TestTray tray(log);
    tray.SetPopupMenu(&menu);
    record(tray);
    QtTrayBackend backend(tray);
    auto* qtIcon = backend.findChild<QSystemTrayIcon*>();
    ASSERT_NE(qtIcon, nullptr);
    EXPECT_EQ(qtIcon->contextMenu(), nullptr) << "the component opens its own menu";

    // Qt reports the first click of a double click as a trigger, then the double click.
    // Reports arrive queued, after Qt's own handler has returned.
    emit qtIcon->activated(QSystemTrayIcon::Trigger);
    emit qtIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(events.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(events,
              QStringList({"Down L Left", "Click L Left", "Up L Left", "DblClick", "Down L Double", "Up L Left"}));
    events.clear();
    emit qtIcon->activated(QSystemTrayIcon::Context);
    emit qtIcon->activated(QSystemTrayIcon::MiddleClick);
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.popups.size(), 1u);
    EXPECT_EQ(events, QStringList({"Down R Right", "Up R Right", "Down M Middle", "Up M Middle"}));

    // Without a notification area (as here, offscreen) the default backend reports the add as refused.
    TTrayIcon real(nullptr);
    real.SetIcon(someIcon());
    EXPECT_EQ(real.isIconShown(), QSystemTrayIcon::isSystemTrayAvailable());
}

} // namespace
} // namespace quorvane
