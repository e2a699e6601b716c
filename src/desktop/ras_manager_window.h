// TFormRAS ("FormRAS"): lists the dial-up entries, logs the watched connection's state, picks an entry.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "ras/ras_api.h"
#include "ras/ras_connection.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace quorvane {

class TFormRAS : public QDialog {
    Q_OBJECT

public:
    // api is not owned and must outlive the window. Reads the entries once and starts watching at once.
    explicit TFormRAS(RasApi& api = systemRasApi(), QWidget* parent = nullptr);

    // Shows the window modally; the selected entry's name when it ended with "Ok", otherwise nothing.
    std::optional<QString> pickEntry();

    void FormCreate();
    void TimerStatusTimer();
    void RasConStateChanged();
    void doExitClick();

    QLabel* Label1 = nullptr;
    QLabel* LabelConn = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* LabelStat = nullptr;
    QLabel* LabelOnline = nullptr;
    QPlainTextEdit* ConnLog = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* ConnList = nullptr;
    QPushButton* doDial = nullptr;
    QPushButton* doHangup = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* doExit = nullptr;
    QTimer* TimerStatus = nullptr;
    TRasConnection RasCon;

    int LastStateCode = 0;
    RasHandle CurrentHandle = 0;
    QString CurrentConnName;
};

} // namespace quorvane
