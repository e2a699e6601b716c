// The RAS manager window: its log of a watched connection, the missing library, and picking an entry.
#include "desktop/ras_manager_window.h"
#include "ras/fake_ras_api.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::FakeRasApi;

QStringList logLines(const TFormRAS& form) {
    return form.ConnLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(FormRAS, WithoutTheLibraryShowsOneLineAndNoEntries) {
    TFormRAS form(systemRasApi());
    EXPECT_EQ(form.objectName(), "FormRAS");
    EXPECT_EQ(logLines(form), QStringList{"Accesso remoto non è installato!"});
    EXPECT_EQ(form.ConnList->count(), 0);
    EXPECT_EQ(form.LabelConn->text(), "");
    EXPECT_EQ(form.LabelStat->text(), "");
    EXPECT_EQ(form.LabelOnline->text(), "Offline");
    EXPECT_TRUE(form.TimerStatus->isActive());
    form.TimerStatusTimer();
    EXPECT_EQ(logLines(form).size(), 1);
}

TEST(FormRAS, LogsAConnectionComingUpStayingEndingAndComingBack) {
    FakeRasApi fake;
    fake.entries = {{"Ufficio", 0, ""}, {"casa", 0, ""}};
    fake.connections = {{0x10, "Ufficio"}};
    fake.statuses[0x10] = {0, 8192, 0};
    TFormRAS form(fake);
    EXPECT_EQ(form.ConnList->count(), 2);
    EXPECT_EQ(form.ConnList->item(0)->text(), "casa");
    QStringList expected{"Trovata nuova connessione: Ufficio", "Status: Connected/Online (8192)"};
    EXPECT_EQ(logLines(form), expected) << "the first tick runs at creation";
    EXPECT_EQ(form.LabelOnline->text(), "Online");
    EXPECT_EQ(form.LabelStat->text(), "Connected/Online");

    form.TimerStatusTimer();
    EXPECT_EQ(logLines(form), expected) << "a connection that stays up adds nothing";

    fake.connections.clear();
    form.TimerStatusTimer();
    form.TimerStatusTimer();
    expected << "Connessione Offline";
    EXPECT_EQ(logLines(form), expected);
    EXPECT_EQ(form.LabelStat->text(), "");
    EXPECT_EQ(form.LabelOnline->text(), "Offline");
    EXPECT_EQ(form.LabelConn->text(), "Ufficio") << "the last name stays";

    // Back in the very state it left in: shown again, not swallowed as "no change".
    fake.connections = {{0x20, "Ufficio"}};
    fake.statuses[0x20] = {0, 8192, 0};
    form.TimerStatusTimer();
    expected << "Trovata nuova connessione: Ufficio"
             << "Status: Connected/Online (8192)";
    EXPECT_EQ(logLines(form), expected);
    EXPECT_EQ(form.LabelOnline->text(), "Online");

    fake.statuses[0x20] = {0, 8193, 0};
    form.TimerStatusTimer();
    EXPECT_EQ(form.LabelOnline->text(), "Hang-Up");
    fake.statuses[0x20] = {6, 0, 0};
    form.TimerStatusTimer();
    EXPECT_EQ(logLines(form).last(), "Status: Disconnected (601)");
    EXPECT_EQ(form.LabelOnline->text(), "Dialling") << "a failed poll's code is below connected";
}

TEST(FormRAS, WatchesOnlyTheFirstConnection) {
    FakeRasApi fake;
    fake.connections = {{0x30, "Primo"}, {0x40, "Secondo"}};
    fake.statuses[0x30] = {0, 2, 0};
    fake.statuses[0x40] = {0, 8192, 0};
    TFormRAS form(fake);
    form.TimerStatusTimer();
    EXPECT_EQ(fake.polled, (std::vector<RasHandle>{0x30, 0x30}));
    EXPECT_EQ(form.LabelConn->text(), "Primo");
    EXPECT_EQ(form.LabelOnline->text(), "Dialling");
    EXPECT_EQ(logLines(form).size(), 2);
}

TEST(FormRAS, PickEntryAnswersOnlyForOkWithASelection) {
    FakeRasApi fake;
    fake.entries = {{"Ufficio", 0, ""}, {"Casa", 0, ""}};
    TFormRAS form(fake);
    const auto pick = [&form](int row, QPushButton* button) {
        QTimer::singleShot(0, &form, [&form, row, button] {
            form.ConnList->clearSelection();
            if (row >= 0)
                form.ConnList->item(row)->setSelected(true);
            button->click();
        });
        return form.pickEntry();
    };
    EXPECT_EQ(pick(1, form.Button1), "Ufficio");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(pick(-1, form.Button1), std::nullopt) << "Ok without a selection";
    EXPECT_EQ(pick(0, form.doExit), std::nullopt) << "Annulla";
    EXPECT_TRUE(form.TimerStatus->isActive()) << "closing only hides the window";
}

} // namespace
} // namespace quorvane
